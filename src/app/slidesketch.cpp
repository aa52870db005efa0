#include "app/slidesketch.h"

#include "core/previews.h"
#include "core/runtimeerror.h"

#include <QPainter>
#include <QPainterPath>

namespace slidemill {

namespace {

// What is painted while it lives, turned `degrees` clockwise about `centre`.
class TurnedAbout {
public:
    TurnedAbout(QPainter& painter, QPointF centre, double degrees) : painter_(painter) {
        painter_.save();
        if (degrees != 0) {
            painter_.translate(centre);
            painter_.rotate(degrees);
            painter_.translate(-centre);
        }
    }
    ~TurnedAbout() { painter_.restore(); }
    TurnedAbout(const TurnedAbout&) = delete;
    TurnedAbout& operator=(const TurnedAbout&) = delete;

private:
    QPainter& painter_;
};

QColor rgb(std::uint32_t value) {
    return QColor::fromRgb(QRgb(0xFF000000u | value));
}

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

void SketchHost::addSlide(std::int32_t index, std::int32_t layout) {
    const auto at =
        std::size_t(std::clamp<std::int32_t>(index - 1, 0, std::int32_t(slides.size())));
    slides.insert(slides.begin() + std::ptrdiff_t(at), SketchSlide{layout == kLayoutTitle, {}});
    current_ = at;
}

void SketchHost::addPicture(const Picture& picture, std::int32_t, std::int32_t, float left,
                            float top, float width, float height) {
    SketchShape s;
    s.kind = SketchShape::Kind::Picture;
    s.frame = QRectF(left, top, width, height);
    s.path = picture.path;
    slides[current_].shapes.push_back(s);
}

void SketchHost::setPictureCrop(float left, float top, float right, float bottom) {
    shape().crop = QMarginsF(left, top, right, bottom);
}

void SketchHost::setPictureColorType(std::int32_t type) {
    shape().grey = type == kPictureColorGrayscale;
}

void SketchHost::addTextbox(std::int32_t, float left, float top, float width, float height) {
    SketchShape s;
    s.kind = SketchShape::Kind::Textbox;
    s.frame = QRectF(left, top, width, height);
    slides[current_].shapes.push_back(s);
}

void SketchHost::setTextboxFill(std::uint32_t rgb, float transparency) {
    shape().fill = rgb;
    shape().transparency = transparency;
}

void SketchHost::placeholderTextRange(std::int32_t index) {
    SketchShape s;
    const bool title = index == kPlaceholderTitle;
    s.kind = title ? SketchShape::Kind::Title : SketchShape::Kind::Subtitle;
    const TitlePlaceholder box = (title ? kTitlePlaceholder : kSubtitlePlaceholder)
                                     .on(slideSize.width(), slideSize.height());
    s.frame = QRectF(box.left, box.top, box.width, box.height);
    s.fontSize = float(box.fontSize);
    s.alignment = kAlignCenter;
    slides[current_].shapes.push_back(s);
    text_ = &slides[current_].shapes.back();
}

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
    sketch.slideSize = host.slideSize;
    sketch.background = host.background;
    if (!host.slides.empty())
        sketch.slide = host.slides.back();
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
    deck.slideSize = host.slideSize;
    deck.background = host.background;
    deck.slides = std::move(host.slides);
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
                 const QFont& baseFont, int dpiY) {
    p.save();
    const double scale = slide.width() / sketch.slideSize.width();
    p.fillRect(slide, rgb(sketch.background));
    p.setPen(QPen(QColor(0, 0, 0, 96), 1));
    p.drawRect(slide.adjusted(-0.5, -0.5, 0.5, 0.5));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(slide);
    const auto onScreen = [&](const QRectF& points) {
        return QRectF(slide.left() + points.left() * scale, slide.top() + points.top() * scale,
                      points.width() * scale, points.height() * scale);
    };
    // Text without a colour of its own takes the master's.
    const QColor text = Qt::black;
    for (const SketchShape& s : sketch.slide.shapes) {
        const QRectF at = onScreen(s.visible());
        if (s.kind == SketchShape::Kind::Picture) {
            const TurnedAbout turned(p, at.center(), s.rotation);
            const QImage shown = image ? image(s.path, s.grey) : QImage();
            if (shown.isNull()) {
                p.fillRect(at, QColor(128, 128, 128, 96));
            } else {
                const double sx = shown.width() / s.frame.width();
                const double sy = shown.height() / s.frame.height();
                const QRectF source(s.crop.left() * sx, s.crop.top() * sy, s.visible().width() * sx,
                                    s.visible().height() * sy);
                p.drawImage(at, shown, source);
            }
            p.setPen(QPen(QColor(0, 0, 0, 160), 0));
            p.setBrush(Qt::NoBrush);
            p.drawRect(at);
            continue;
        }
        if (s.fill >= 0) {
            QColor band = rgb(std::uint32_t(s.fill));
            band.setAlphaF(1.0 - s.transparency);
            p.fillRect(at, band);
        }
        if (s.text.isEmpty())
            continue;
        QFont font = baseFont;
        font.setPointSizeF(std::max(1.0, s.fontSize * scale * 72.0 / dpiY));
        if (s.kind == SketchShape::Kind::Title)
            font.setBold(true);
        p.setFont(font);
        p.setPen(s.colour >= 0 ? rgb(std::uint32_t(s.colour)) : text);
        const int across = s.alignment == kAlignCenter  ? Qt::AlignHCenter
                           : s.alignment == kAlignRight ? Qt::AlignRight
                                                        : Qt::AlignLeft;
        const int down = s.kind != SketchShape::Kind::Textbox ? Qt::AlignVCenter
                         : s.anchor == kAnchorBottom          ? Qt::AlignBottom
                                                              : Qt::AlignTop;
        // The box's inset, 7.2 points left and right, 3.6 on the edge the text keeps.
        const bool foot = down == Qt::AlignBottom;
        p.drawText(
            at.adjusted(7.2 * scale, foot ? 0 : 3.6 * scale, -7.2 * scale, foot ? -3.6 * scale : 0),
            across | down | Qt::TextWordWrap, s.text);
    }
    p.restore();
}

} // namespace slidemill
