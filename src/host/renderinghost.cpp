#include "host/renderinghost.h"

#include "host/music.h"
#include "host/pdfwriter.h"
#include "host/videowriter.h"

namespace slidemill {

DeckKind deckKindOf(const QString& path) {
    if (path.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive))
        return DeckKind::Video;
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return DeckKind::Pdf;
    return DeckKind::Presentation;
}

RenderingHost::RenderingHost(RenderingHostOptions options)
    : options_(std::move(options)), recorder_([](const QStringList& files) {
          std::int64_t total = 0;
          for (const QString& file : files)
              total += measureMusic(file).durationMs;
          return total;
      }) {
    recorder_.deck.pixelsPerInch = options_.pixelsPerInch;
}

void RenderingHost::addPicture(const Picture& picture, std::int32_t linkToFile,
                               std::int32_t saveWithDocument, float left, float top, float width,
                               float height) {
    if (picture.format == PictureFormat::Wmf || picture.format == PictureFormat::Emf)
        throw RuntimeError(errInvalidPicture,
                           RuntimeError::standardText(errInvalidPicture) +
                               QStringLiteral(": a WMF or EMF drawing is shown only in a "
                                              "presentation"),
                           picture.path);
    recorder_.addPicture(picture, linkToFile, saveWithDocument, left, top, width, height);
}

std::optional<RuntimeError> RenderingHost::endBuild(Outcome outcome) {
    saved_.clear();
    opened_ = false;
    if (outcome != Outcome::Completed || !options_.write)
        return std::nullopt;
    const auto progress = [this](double done) {
        return !options_.progress || options_.progress(done);
    };
    if (!options_.write(recorder_.deck, options_.outputPath, progress)) {
        stopped_ = true;
        return std::nullopt;
    }
    saved_ = options_.outputPath;
    if (visible_ && options_.opener)
        opened_ = options_.opener->open(saved_);
    return std::nullopt;
}

std::unique_ptr<SavingHost> hostFor(const PptxHostOptions& options) {
    const DeckKind kind = deckKindOf(options.outputPath);
    if (kind == DeckKind::Presentation || options.outputDescriptor >= 0)
        return std::make_unique<PptxHost>(options);
    RenderingHostOptions rendering;
    rendering.outputPath = options.outputPath;
    rendering.opener = options.opener;
    rendering.pixelsPerInch = options.pixelsPerInch;
    if (kind == DeckKind::Video) {
        const QSize size = options.videoSize;
        rendering.write = [size](const RecordedDeck& deck, const QString& path,
                                 const std::function<bool(double)>& progress) {
            VideoOptions video;
            video.size = size;
            video.progress = progress;
            return writeVideo(deck, path, video);
        };
    } else {
        const int ppi = options.pixelsPerInch;
        rendering.write = [ppi](const RecordedDeck& deck, const QString& path,
                                const std::function<bool(double)>& progress) {
            PdfOptions pdf;
            pdf.pixelsPerInch = ppi;
            pdf.progress = progress;
            return writePdf(deck, path, pdf);
        };
    }
    return std::make_unique<RenderingHost>(std::move(rendering));
}

} // namespace slidemill
