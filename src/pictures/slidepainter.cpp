#include "pictures/slidepainter.h"

#include "core/messagehandler.h"
#include "core/runtimeerror.h"
#include "pictures/picturemaker.h"
#include "slides/pictureformats.h"

#include <QFontInfo>
#include <QImageReader>
#include <QPaintDevice>
#include <QPainter>
#include <cmath>

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

// A presentation application's own greys: the picture's luminance.
QImage greyed(const QImage& image) {
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// The family the deck names, or the metric twin that stands in for it here.
QString installed(const char* family) {
    const QFontInfo found{QFont(QString::fromLatin1(family))};
    return found.family();
}

// Text as a show sets it: the deck's font at `points` on a slide drawn `scale` pixels a point.
QFont showFont(const QString& family, double points, double scale, int dpiY) {
    QFont font(family);
    font.setPointSizeF(std::max(0.5, points * scale * 72.0 / dpiY));
    // Unhinted, so that lines break where they do at any size.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

QString bodyFontFamily() {
    static const QString family = installed(kBodyFont);
    return family;
}

QString headingFontFamily() {
    static const QString family = installed(kHeadingFont);
    return family;
}

QSize picturePixels(const RecordedDeck& deck, const RecordedShape& shape, int slideWidthPixels) {
    const double scale = slideWidthPixels / deck.slideSize.width();
    return QSize(std::max(1, int(std::ceil(shape.frame.width() * scale))),
                 std::max(1, int(std::ceil(shape.frame.height() * scale))));
}

void paintSlide(QPainter& p, const QRectF& slide, const RecordedDeck& deck,
                const RecordedSlide& recorded, const SlideImages& image, const SlidePaint& paint) {
    p.save();
    const double scale = slide.width() / deck.slideSize.width();
    p.fillRect(slide, rgb(deck.background));
    if (paint.preview) {
        p.setPen(QPen(QColor(0, 0, 0, 96), 1));
        p.drawRect(slide.adjusted(-0.5, -0.5, 0.5, 0.5));
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(slide);
    const auto onDevice = [&](const QRectF& points) {
        return QRectF(slide.left() + points.left() * scale, slide.top() + points.top() * scale,
                      points.width() * scale, points.height() * scale);
    };
    const int dpiY = p.device() ? p.device()->logicalDpiY() : paint.dpiY;
    // Text without a colour of its own takes the master's.
    const QColor text = Qt::black;
    for (const RecordedShape& s : recorded.shapes) {
        const QRectF at = onDevice(s.visible());
        if (s.kind == RecordedShape::Kind::Picture) {
            const TurnedAbout turned(p, at.center(), s.rotation);
            const QSize pixels = picturePixels(deck, s, int(std::lround(slide.width())));
            QImage shown = image ? image(s, pixels) : QImage();
            if (shown.isNull()) {
                if (paint.preview)
                    p.fillRect(at, QColor(128, 128, 128, 96));
            } else {
                if (s.grey && !shown.isGrayscale())
                    shown = greyed(shown);
                const double sx = shown.width() / s.frame.width();
                const double sy = shown.height() / s.frame.height();
                const QRectF source(s.crop.left() * sx, s.crop.top() * sy, s.visible().width() * sx,
                                    s.visible().height() * sy);
                p.drawImage(at, shown, source);
            }
            if (paint.preview) {
                p.setPen(QPen(QColor(0, 0, 0, 160), 0));
                p.setBrush(Qt::NoBrush);
                p.drawRect(at);
            } else if (s.lineWeight > 0) {
                // The line is centred on the frame's edge, as presentation applications draw it.
                p.setPen(QPen(Qt::black, std::max(1.0, s.lineWeight * scale), Qt::SolidLine,
                              Qt::SquareCap, Qt::MiterJoin));
                p.setBrush(Qt::NoBrush);
                p.drawRect(at);
            }
            continue;
        }
        if (s.fill >= 0) {
            QColor band = rgb(std::uint32_t(s.fill));
            band.setAlphaF(1.0 - s.transparency);
            p.fillRect(at, band);
        }
        if (s.text.isEmpty())
            continue;
        const bool heading = s.kind == RecordedShape::Kind::Title;
        if (paint.preview) {
            QFont font = p.font();
            font.setPointSizeF(std::max(1.0, s.fontSize * scale * 72.0 / dpiY));
            font.setBold(heading);
            p.setFont(font);
        } else {
            p.setFont(showFont(heading ? headingFontFamily() : bodyFontFamily(), s.fontSize, scale,
                               dpiY));
        }
        p.setPen(s.colour >= 0 ? rgb(std::uint32_t(s.colour)) : text);
        const int across = s.alignment == kAlignCenter  ? Qt::AlignHCenter
                           : s.alignment == kAlignRight ? Qt::AlignRight
                                                        : Qt::AlignLeft;
        const int down = heading                     ? Qt::AlignVCenter
                         : s.anchor == kAnchorBottom ? Qt::AlignBottom
                                                     : Qt::AlignTop;
        // The box's inset: 7.2 points left and right, 3.6 above and below.
        p.drawText(at.adjusted(7.2 * scale, 3.6 * scale, -7.2 * scale, -3.6 * scale),
                   across | down | Qt::TextWordWrap, s.text);
    }
    p.restore();
}

QImage paintedSlide(const RecordedDeck& deck, const RecordedSlide& slide, QSize size,
                    const SlideImages& images) {
    QImage frame(size, QImage::Format_RGB32);
    QPainter p(&frame);
    paintSlide(p, QRectF(QPointF(0, 0), QSizeF(size)), deck, slide, images);
    p.end();
    return frame;
}

QImage decodeUpright(const Picture& picture, QSize pixels) {
    pixels = pixels.expandedTo(QSize(1, 1));
    const auto refuse = [&picture](const char* why) {
        return RuntimeError(errInvalidPicture,
                            RuntimeError::standardText(errInvalidPicture) + QLatin1String(why),
                            picture.path);
    };
    if (picture.format == PictureFormat::Wmf || picture.format == PictureFormat::Emf)
        throw refuse(": a WMF or EMF drawing is shown only in a presentation");
    QImage image;
    if (formatRow(picture.format).storage == Storage::AsIs) {
        // Qt's readers shrink a JPEG while it is decoded and turn it by its orientation.
        QImageReader reader(picture.path, formatRow(picture.format).qtName);
        reader.setAutoTransform(true);
        const QSize stored = reader.size();
        const bool across = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize upright = across ? stored.transposed() : stored;
        if (upright.isValid() &&
            (upright.width() > pixels.width() || upright.height() > pixels.height())) {
            const QSize fitted =
                upright.scaled(pixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
            reader.setScaledSize(across ? fitted.transposed() : fitted);
        }
        // libpng reports a damaged file on standard error itself, beside our message.
        runWithOwnStandardErrorMuted([&] { image = reader.read(); });
    } else {
        const pictures::MadePicture made = pictures::makePicture(picture, pixels);
        image.loadFromData(made.bytes);
    }
    if (image.isNull())
        throw refuse(": its pixels cannot be decoded");
    return image;
}

} // namespace slidemill
