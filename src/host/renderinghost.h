#pragma once

#include "host/desktopopener.h"
#include "host/pptxhost.h"
#include "host/savinghost.h"
#include "slides/recordeddeck.h"

#include <QSize>
#include <functional>
#include <memory>

namespace slidemill {

// What a show can be made as besides a presentation.
enum class DeckKind { Presentation, Video, Pdf };

// The kind a file's name asks for: ".mp4" a video, ".pdf" a PDF, anything else a presentation.
DeckKind deckKindOf(const QString& path);

// Writes a recorded deck to a file, replacing it only when whole; told how far along it is
// (0 to 1) and answering false to stop. Returns false when stopped (nothing written); throws
// RuntimeError naming the file at fault.
using DeckWriter = std::function<bool(const RecordedDeck& deck, const QString& path,
                                      const std::function<bool(double)>& progress)>;

struct RenderingHostOptions {
    QString outputPath;
    DeckWriter write;
    // Told as the file is written; false stops it. Null: never stopped.
    std::function<bool(double)> progress;
    // Shown here when Visible was set; null opens nothing.
    DesktopOpener* opener = nullptr;
    // Pictures are stored at this many pixels per inch of their placed size (0: as their files
    // hold them): what the writer reads from the deck.
    int pixelsPerInch = 0;
};

// A presentation application that writes the deck a build makes as another kind of file: it
// records the build and, when the build completed, hands the recording to its writer. A build
// that failed or was stopped writes nothing.
class RenderingHost : public SavingHost {
public:
    explicit RenderingHost(RenderingHostOptions options);

    // What was recorded so far.
    const RecordedDeck& deck() const { return recorder_.deck; }

    void createApplication() override {}
    void setVisible(std::int32_t value) override { visible_ = value != kMsoFalse; }
    void addPresentation(std::int32_t) override {}
    // Each file is measured as a deck measures it (host/music.h), and refused the same way.
    std::int64_t addMusic(const QStringList& files) override { return recorder_.addMusic(files); }
    void setSlideSize(float width, float height) override { recorder_.setSlideSize(width, height); }
    std::int32_t slideCount() override { return recorder_.slideCount(); }
    void addSlide(std::int32_t index, std::int32_t layout) override {
        recorder_.addSlide(index, layout);
    }
    // A WMF or EMF drawing is refused (481, naming it): only a presentation shows one.
    void addPicture(const Picture& picture, std::int32_t linkToFile, std::int32_t saveWithDocument,
                    float left, float top, float width, float height) override;
    void setLineVisible(std::int32_t value) override { recorder_.setLineVisible(value); }
    void setLineWeight(float points) override { recorder_.setLineWeight(points); }
    void releasePicture() override {}
    void setPictureCrop(float left, float top, float right, float bottom) override {
        recorder_.setPictureCrop(left, top, right, bottom);
    }
    void setPictureColorType(std::int32_t type) override { recorder_.setPictureColorType(type); }
    void setPictureRotation(float degrees) override { recorder_.setPictureRotation(degrees); }
    void addTextbox(std::int32_t orientation, float left, float top, float width,
                    float height) override {
        recorder_.addTextbox(orientation, left, top, width, height);
    }
    void setTextboxFill(std::uint32_t rgb, float transparency) override {
        recorder_.setTextboxFill(rgb, transparency);
    }
    void setVerticalAnchor(std::int32_t anchor) override { recorder_.setVerticalAnchor(anchor); }
    void textRange() override { recorder_.textRange(); }
    void placeholderTextRange(std::int32_t index) override {
        recorder_.placeholderTextRange(index);
    }
    void setText(const QString& text) override { recorder_.setText(text); }
    void setFontSize(float points) override { recorder_.setFontSize(points); }
    void setFontColor(std::uint32_t rgb) override { recorder_.setFontColor(rgb); }
    void setParagraphAlignment(std::int32_t alignment) override {
        recorder_.setParagraphAlignment(alignment);
    }
    void releaseTextRange() override { recorder_.releaseTextRange(); }
    void setBackgroundColor(std::uint32_t rgb) override { recorder_.setBackgroundColor(rgb); }
    void setSlideShowTransition(std::int32_t effect, double advanceSeconds) override {
        recorder_.setSlideShowTransition(effect, advanceSeconds);
    }
    void setLoopUntilStopped(std::int32_t value) override { recorder_.setLoopUntilStopped(value); }
    std::optional<RuntimeError> endBuild(Outcome outcome) override;

    QString savedPath() const override { return saved_; }
    bool openedOnDesktop() const override { return opened_; }
    // The writer was stopped by the user.
    bool stopped() const { return stopped_; }
    // Told as the file is written, on the build's thread; false stops it.
    void setProgress(std::function<bool(double)> progress) {
        options_.progress = std::move(progress);
    }

private:
    RenderingHostOptions options_;
    DeckRecorder recorder_;
    bool visible_ = false;
    QString saved_;
    bool opened_ = false;
    bool stopped_ = false;
};

// The host that writes what options.outputPath names: a video (".mp4"), a PDF (".pdf") or a
// presentation (PptxHost). Only a presentation streams into a descriptor.
std::unique_ptr<SavingHost> hostFor(const PptxHostOptions& options);

} // namespace slidemill
