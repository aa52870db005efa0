#include "app/slidesketch.h"

#include "core/previews.h"
#include "core/runtimeerror.h"
#include "pictures/slidepainter.h"

#include <QPainter>
#include <QPainterPath>

namespace slidemill {

namespace {

// The pictures of one slide, measured as the build would; one that cannot be is left out, as
// its error would stop the build before the slide.
class KnownPictures : public PictureLoader {
public:
    explicit KnownPictures(PictureLoader& inner) : inner_(inner) {}
    // Whether `path` could be measured.
    bool measure(const QString& path) {
        try {
            measured_.insert(path, inner_.load(path));
            return true;
        } catch (const RuntimeError&) {
            return false;
        }
    }
    Picture load(const QString& path) override { return measured_.value(path); }

private:
    PictureLoader& inner_;
    QHash<QString, Picture> measured_;
};

} // namespace

Sketch sketchSlide(const QStringList& photos, qsizetype index, const BuildOptions& options,
                   PictureLoader& loader) {
    BuildOptions one = options;
    one.photos.clear();
    KnownPictures known(loader);
    QStringList paths;
    if (!photos.isEmpty()) {
        const qsizetype per = photosPerSlide(options.layout);
        const qsizetype first = std::clamp<qsizetype>(index, 0, photos.size() - 1) / per * per;
        // Each measured photo keeps its own settings; one that cannot be measured is left out.
        for (qsizetype i = first; i < std::min(first + per, photos.size()); ++i) {
            if (known.measure(photos[i])) {
                paths << photos[i];
                one.photos.push_back(i < qsizetype(options.photos.size())
                                         ? options.photos[std::size_t(i)]
                                         : PhotoSettings());
            }
        }
        // The title slide is drawn only when there are no photos; its subtitle needs them all.
        one.title.clear();
    }
    SketchHost host;
    Sketch sketch;
    try {
        buildSlides(paths, one, known, host);
    } catch (const RuntimeError&) {
        // What was placed before the error is drawn.
    }
    sketch.slideSize = host.deck.slideSize;
    sketch.background = host.deck.background;
    if (!host.deck.slides.empty())
        sketch.slide = host.deck.slides.back();
    return sketch;
}

qsizetype DeckSketch::slideOf(qsizetype index) const {
    qsizetype found = -1;
    for (std::size_t k = 0; k < firstPhoto.size(); ++k)
        if (firstPhoto[k] >= 0 && firstPhoto[k] <= index)
            found = qsizetype(k);
    return found;
}

DeckSketch sketchDeck(const QStringList& photos, const BuildOptions& options,
                      PictureLoader& loader) {
    BuildOptions all = options;
    all.photos.clear();
    KnownPictures known(loader);
    QStringList paths;
    std::vector<qsizetype> kept;
    for (qsizetype i = 0; i < photos.size(); ++i) {
        if (!known.measure(photos[i]))
            continue;
        paths << photos[i];
        kept.push_back(i);
        all.photos.push_back(i < qsizetype(options.photos.size()) ? options.photos[std::size_t(i)]
                                                                  : PhotoSettings());
    }
    SketchHost host;
    try {
        buildSlides(paths, all, known, host);
    } catch (const RuntimeError&) {
        // What was placed before the error is drawn.
    }
    DeckSketch deck;
    deck.slideSize = host.deck.slideSize;
    deck.background = host.deck.background;
    deck.slides = std::move(host.deck.slides);
    const qsizetype per = photosPerSlide(options.layout);
    qsizetype next = 0;
    for (const SketchSlide& slide : deck.slides) {
        if (slide.title || next >= qsizetype(kept.size())) {
            deck.firstPhoto.push_back(-1);
            continue;
        }
        deck.firstPhoto.push_back(kept[std::size_t(next)]);
        next += per;
    }
    return deck;
}

SlideSketchView::SlideSketchView(PreviewSource& previews, QWidget* parent)
    : QWidget(parent), previews_(previews) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&previews_, &PreviewSource::made, this, [this](const QString& path) {
        images_.remove(path);
        images_.remove(path + QLatin1Char('\0'));
        for (const SketchShape& s : sketch_.slide.shapes)
            if (s.path == path) {
                update();
                break;
            }
    });
}

SlideSketchView::~SlideSketchView() {
    for (int slot = 0; slot < kSlots; ++slot)
        previews_.want(client(slot), {});
}

// The preview maker makes one picture for each client; each place on the slide is one.
const void* SlideSketchView::client(int slot) const {
    return reinterpret_cast<const char*>(this) + slot;
}

void SlideSketchView::setSketch(Sketch sketch) {
    sketch_ = std::move(sketch);
    int slot = 0;
    for (const SketchShape& s : sketch_.slide.shapes)
        if (s.kind == SketchShape::Kind::Picture && slot < kSlots) {
            const std::optional<Preview> kept = previews_.find(s.path);
            previews_.want(client(slot++), kept && !kept->pending ? QString() : s.path);
        }
    for (; slot < kSlots; ++slot)
        previews_.want(client(slot), {});
    update();
}

QRectF SlideSketchView::slideRect() const {
    const QSizeF slide = sketch_.slideSize.scaled(QSizeF(size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - slide.width()) / 2, (height() - slide.height()) / 2), slide);
}

QImage SlideSketchView::picture(const QString& path, bool grey) {
    const QString key = grey ? path + QLatin1Char('\0') : path;
    if (const auto it = images_.constFind(key); it != images_.constEnd())
        return *it;
    const std::optional<Preview> preview = previews_.find(path);
    if (!preview || preview->thumbnail.isEmpty())
        return {};
    QImage image = QImage::fromData(preview->thumbnail);
    if (grey)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    images_.insert(key, image);
    return image;
}

void SlideSketchView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    paintSketch(
        p, slideRect(), sketch_,
        [this](const QString& path, bool grey) { return picture(path, grey); }, font(),
        logicalDpiY());
}

void paintSketch(QPainter& p, const QRectF& slide, const Sketch& sketch, const SketchImages& image,
                 const QFont& font, int dpiY) {
    RecordedDeck deck;
    deck.slideSize = sketch.slideSize;
    deck.background = sketch.background;
    p.save();
    p.setFont(font);
    SlidePaint paint;
    paint.preview = true;
    paint.dpiY = dpiY;
    paintSlide(
        p, slide, deck, sketch.slide,
        [&image](const RecordedShape& shape, QSize) {
            return image ? image(shape.path, shape.grey) : QImage();
        },
        paint);
    p.restore();
}

} // namespace slidemill
