#include "fixtures.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QtEndian>
#include <libheif/heif.h>
#include <memory>
#include <tuple>
#include <unistd.h>

namespace slidemill::test {

namespace {

QImage pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(255, 240, 150)); // pale: neither the white page nor a dark border
    QPainter painter(&image);
    painter.fillRect(0, 0, qMax(1, w / 4), qMax(1, h / 4), Qt::red); // marks the top left
    return image;
}

void putU16(QByteArray& out, int v, bool bigEndian = false) {
    char b[2];
    if (bigEndian)
        qToBigEndian<quint16>(quint16(v), b);
    else
        qToLittleEndian<quint16>(quint16(v), b);
    out.append(b, 2);
}

void putU32(QByteArray& out, quint32 v, bool bigEndian = false) {
    char b[4];
    if (bigEndian)
        qToBigEndian<quint32>(v, b);
    else
        qToLittleEndian<quint32>(v, b);
    out.append(b, 4);
}

// One 12-byte IFD entry whose value fits in place.
void putEntry(QByteArray& out, int tag, int type, quint32 count, const QByteArray& value,
              bool bigEndian) {
    putU16(out, tag, bigEndian);
    putU16(out, type, bigEndian);
    putU32(out, count, bigEndian);
    out.append(value.left(4).leftJustified(4, '\0'));
}

QByteArray u16Value(int v, bool bigEndian) {
    QByteArray b;
    putU16(b, v, bigEndian);
    return b;
}

QByteArray u32Value(quint32 v, bool bigEndian) {
    QByteArray b;
    putU32(b, v, bigEndian);
    return b;
}

QByteArray jpegOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

} // namespace

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeBytes(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

bool runConvert(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString identify(const QString& format, const QString& file) {
    QProcess p;
    p.start(QStringLiteral("identify"), {QStringLiteral("-format"), format, file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString makePicture(const QString& dir, const QString& name, const char* format, int w, int h) {
    const QString path = QDir(dir).filePath(name);
    const QByteArray f(format);
    if (f == "wmf")
        return writeBytes(dir, name, placeableWmf(0, 0, w * 15, h * 15, 1440));
    if (f == "emf")
        return writeBytes(dir, name, emf(QRect(0, 0, w * 2646 / 100, h * 2646 / 100)));
    if (f == "png" || f == "jpeg" || f == "jpg" || f == "bmp" || f == "tiff")
        return QImageWriter(path, f).write(pattern(w, h)) ? path : QString();
    const QString png = path + QStringLiteral(".src.png");
    const bool ok = pattern(w, h).save(png, "PNG") &&
                    runConvert({png, QString::fromLatin1(f) + QLatin1Char(':') + path});
    QFile::remove(png);
    return ok ? path : QString();
}

QByteArray placeableWmf(int left, int top, int right, int bottom, int unitsPerInch) {
    QByteArray records;
    auto record = [&records](int function, std::initializer_list<int> params) {
        putU32(records, quint32(3 + params.size()));
        putU16(records, function);
        for (int p : params)
            putU16(records, p);
    };
    record(0x020B, {top, left});                                // META_SETWINDOWORG
    record(0x020C, {bottom - top, right - left});               // META_SETWINDOWEXT
    record(0x02FC, {0, 0x00C0, 0x0020, 0});                     // META_CREATEBRUSHINDIRECT green
    record(0x012D, {0});                                        // META_SELECTOBJECT
    record(0x041B, {bottom - 1, right - 1, top + 1, left + 1}); // META_RECTANGLE
    record(0x0000, {});                                         // META_EOF
    const int headerWords = 9;
    const quint32 totalWords = quint32(headerWords + records.size() / 2);

    QByteArray out;
    putU32(out, 0x9AC6CDD7);
    putU16(out, 0); // HWmf
    putU16(out, left);
    putU16(out, top);
    putU16(out, right);
    putU16(out, bottom);
    putU16(out, unitsPerInch);
    putU32(out, 0); // reserved
    quint16 checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= qFromLittleEndian<quint16>(out.constData() + i);
    putU16(out, checksum);
    putU16(out, 1); // memory metafile
    putU16(out, headerWords);
    putU16(out, 0x0300);
    putU32(out, totalWords);
    putU16(out, 0); // objects
    putU32(out, 7); // largest record, in words
    putU16(out, 0); // members
    return out + records;
}

QByteArray emf(const QRect& frame) {
    // The reference device: 1024 x 768 pixels on 320 x 240 mm.
    auto px = [](int hundredthsMm) { return hundredthsMm * 1024 / 32000; };
    const int l = frame.left(), t = frame.top(), r = l + frame.width(), b = t + frame.height();
    QByteArray rect; // EMR_SELECTOBJECT of the light grey stock brush, then EMR_RECTANGLE
    putU32(rect, 37);
    putU32(rect, 12);
    putU32(rect, 0x80000001);
    putU32(rect, 43);
    putU32(rect, 24);
    for (int v : {px(l) + 1, px(t) + 1, px(r) - 1, px(b) - 1})
        putU32(rect, quint32(v));
    QByteArray eof; // EMR_EOF
    putU32(eof, 14);
    putU32(eof, 20);
    putU32(eof, 0);
    putU32(eof, 16);
    putU32(eof, 20);

    QByteArray out;
    putU32(out, 1);                            // EMR_HEADER
    putU32(out, 88);                           // its size
    for (int v : {px(l), px(t), px(r), px(b)}) // bounds, device units
        putU32(out, quint32(v));
    for (int v : {l, t, r, b}) // frame, 0.01 mm
        putU32(out, quint32(v));
    putU32(out, 0x464D4520);
    putU32(out, 0x10000);
    putU32(out, quint32(88 + rect.size() + eof.size()));
    putU32(out, 4); // records
    putU16(out, 1); // handles
    putU16(out, 0);
    putU32(out, 0); // description
    putU32(out, 0);
    putU32(out, 0); // palette entries
    putU32(out, 1024);
    putU32(out, 768);
    putU32(out, 320);
    putU32(out, 240);
    return out + rect + eof;
}

QByteArray jpegBytes(int w, int h) {
    return jpegOf(pattern(w, h));
}

QByteArray exifSegment(int orientation, bool bigEndian, const QByteArray& thumbnail) {
    // TIFF header, IFD0 (Make, Orientation), then IFD1 and the thumbnail if any.
    QByteArray tiff = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    putU32(tiff, 8, bigEndian);
    putU16(tiff, 2, bigEndian);
    putEntry(tiff, 0x010F, 2, 4, QByteArray("Cam", 4), bigEndian);
    putEntry(tiff, 0x0112, 3, 1, u16Value(orientation, bigEndian), bigEndian);
    const quint32 ifd1 = thumbnail.isEmpty() ? 0 : quint32(tiff.size() + 4);
    putU32(tiff, ifd1, bigEndian);
    if (!thumbnail.isEmpty()) {
        const quint32 thumbAt = ifd1 + 2 + 2 * 12 + 4;
        putU16(tiff, 2, bigEndian);
        putEntry(tiff, 0x0201, 4, 1, u32Value(thumbAt, bigEndian), bigEndian);
        putEntry(tiff, 0x0202, 4, 1, u32Value(quint32(thumbnail.size()), bigEndian), bigEndian);
        putU32(tiff, 0, bigEndian);
        tiff += thumbnail;
    }
    QByteArray segment("\xFF\xE1", 2);
    putU16(segment, int(2 + 6 + tiff.size()), true);
    return segment + QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray withSegment(const QByteArray& jpeg, const QByteArray& segment) {
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray withSegmentAfterApps(const QByteArray& jpeg, const QByteArray& segment) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF &&
           (quint8(jpeg[at + 1]) & 0xF0) == 0xE0)
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    return jpeg.left(at) + segment + jpeg.mid(at);
}

QString makeOrientedJpeg(const QString& dir, const QString& name, int w, int h, int orientation,
                         bool bigEndian) {
    return writeBytes(dir, name, withSegment(jpegBytes(w, h), exifSegment(orientation, bigEndian)));
}

QImage storedForOrientation(const QImage& upright, int orientation) {
    const bool quarter = orientation >= 5 && orientation <= 8;
    const int sw = quarter ? upright.height() : upright.width();
    const int sh = quarter ? upright.width() : upright.height();
    QImage stored(sw, sh, upright.format());
    // Where each stored pixel lands on the upright picture, by the tag's meaning.
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            QPoint u(x, y);
            switch (orientation) {
            case 2:
                u = {sw - 1 - x, y};
                break;
            case 3:
                u = {sw - 1 - x, sh - 1 - y};
                break;
            case 4:
                u = {x, sh - 1 - y};
                break;
            case 5:
                u = {y, x};
                break;
            case 6:
                u = {sh - 1 - y, x};
                break;
            case 7:
                u = {sh - 1 - y, sw - 1 - x};
                break;
            case 8:
                u = {y, sw - 1 - x};
                break;
            default:
                break;
            }
            stored.setPixel(x, y, upright.pixel(u));
        }
    }
    return stored;
}

QString makeUprightJpeg(const QString& dir, const QString& name, int w, int h, int orientation,
                        bool bigEndian) {
    const QByteArray jpeg = jpegOf(storedForOrientation(pattern(w, h), orientation));
    return writeBytes(dir, name, withSegment(jpeg, exifSegment(orientation, bigEndian)));
}

namespace {

template <auto release> struct Releaser {
    template <typename T> void operator()(T* p) const { release(p); }
};

// The boxes directly inside [from, to) of a HEIF file: type, payload start, end.
struct HeifBox {
    QByteArray type;
    qsizetype start = 0;
    qsizetype end = 0;
};

QList<HeifBox> heifBoxes(const QByteArray& file, qsizetype from, qsizetype to) {
    QList<HeifBox> boxes;
    while (from + 8 <= to) {
        const qsizetype size = qFromBigEndian<quint32>(file.constData() + from);
        if (size < 8 || from + size > to)
            break;
        boxes.append({file.mid(from + 4, 4), from + 8, from + size});
        from += size;
    }
    return boxes;
}

HeifBox heifChild(const QByteArray& file, const HeifBox& parent, const char* type, int skip = 0) {
    for (const HeifBox& b : heifBoxes(file, parent.start + skip, parent.end)) {
        if (b.type == type)
            return b;
    }
    return {};
}

quint32 u32At(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}

void setU32At(QByteArray& b, qsizetype at, quint32 v) {
    qToBigEndian<quint32>(v, b.data() + at);
}

// A field of 0, 4 or 8 bytes of an iloc box, moved by delta in place.
void shiftField(QByteArray& b, qsizetype at, int size, qint64 delta) {
    if (size == 4)
        setU32At(b, at, quint32(qint64(u32At(b, at)) + delta));
    else if (size == 8)
        qToBigEndian<quint64>(quint64(qint64(qFromBigEndian<quint64>(b.constData() + at)) + delta),
                              b.data() + at);
}

// After `delta` bytes were put into the meta box, the locations of data in the file past it
// move as well: each item's base offset, or else its extents' offsets.
void shiftLocations(QByteArray& file, const HeifBox& iloc, qint64 delta) {
    const int version = quint8(file[iloc.start]);
    const int offsetSize = quint8(file[iloc.start + 4]) >> 4;
    const int lengthSize = quint8(file[iloc.start + 4]) & 15;
    const int baseSize = quint8(file[iloc.start + 5]) >> 4;
    const int indexSize = version >= 1 ? quint8(file[iloc.start + 5]) & 15 : 0;
    const bool wide = version == 2;
    qsizetype at = iloc.start + 6;
    const quint32 count = wide ? u32At(file, at) : qFromBigEndian<quint16>(file.constData() + at);
    at += wide ? 4 : 2;
    for (quint32 i = 0; i < count; ++i) {
        at += wide ? 4 : 2;
        int method = 0;
        if (version >= 1) {
            method = qFromBigEndian<quint16>(file.constData() + at) & 15;
            at += 2;
        }
        at += 2; // data reference
        const bool inFile = method == 0;
        if (inFile && baseSize > 0)
            shiftField(file, at, baseSize, delta);
        at += baseSize;
        const int extents = qFromBigEndian<quint16>(file.constData() + at);
        at += 2;
        for (int e = 0; e < extents; ++e) {
            at += indexSize;
            if (inFile && baseSize == 0)
                shiftField(file, at, offsetSize, delta);
            at += offsetSize + lengthSize;
        }
    }
}

} // namespace

namespace {

// The picture's pixels as one interleaved 8-bit plane of `image`, created to its size.
void fillHeifImage(heif_image* image, const QImage& picture, bool alpha) {
    const int w = picture.width(), h = picture.height();
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const QImage rgb =
        picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        memcpy(plane + y * stride, rgb.constScanLine(y), size_t(w) * (alpha ? 4 : 3));
}

// The HEIF file libheif writes, with an Exif item when exif is not empty and a thumbnail item
// of `thumbnailSide` pixels made from `thumbnail` when that is not null. With `preset`, x265's.
QByteArray encodeHeif(const QImage& stored, int orientation, HeifCodec codec, bool alpha,
                      const QByteArray& exif, const QImage& thumbnail = {}, int thumbnailSide = 0,
                      const char* preset = nullptr) {
    const std::unique_ptr<heif_context, Releaser<heif_context_free>> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    const heif_compression_format format =
        codec == HeifCodec::Hevc ? heif_compression_HEVC : heif_compression_AV1;
    if (heif_context_get_encoder_for_format(context.get(), format, &rawEncoder).code)
        return {};
    const std::unique_ptr<heif_encoder, Releaser<heif_encoder_release>> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), 90);
    if (preset && heif_encoder_set_parameter(encoder.get(), "preset", preset).code)
        return {};
    heif_image* rawImage = nullptr;
    const int w = stored.width(), h = stored.height();
    if (heif_image_create(w, h, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          &rawImage)
            .code)
        return {};
    const std::unique_ptr<heif_image, Releaser<heif_image_release>> image(rawImage);
    fillHeifImage(image.get(), stored, alpha);
    const QByteArray icc = stored.colorSpace().iccProfile();
    if (!icc.isEmpty())
        heif_image_set_raw_color_profile(image.get(), "prof", icc.constData(), size_t(icc.size()));
    const std::unique_ptr<heif_encoding_options, Releaser<heif_encoding_options_free>> options(
        heif_encoding_options_alloc());
    options->image_orientation = heif_orientation(orientation);
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(),
                                  &rawHandle)
            .code)
        return {};
    const std::unique_ptr<heif_image_handle, Releaser<heif_image_handle_release>> handle(rawHandle);
    if (!exif.isEmpty() && heif_context_add_exif_metadata(context.get(), handle.get(),
                                                          exif.constData(), int(exif.size()))
                               .code)
        return {};
    if (!thumbnail.isNull()) {
        heif_image* rawSmall = nullptr;
        if (heif_image_create(thumbnail.width(), thumbnail.height(), heif_colorspace_RGB,
                              heif_chroma_interleaved_RGB, &rawSmall)
                .code)
            return {};
        const std::unique_ptr<heif_image, Releaser<heif_image_release>> small(rawSmall);
        fillHeifImage(small.get(), thumbnail, false);
        heif_image_handle* rawThumbnail = nullptr;
        if (heif_context_encode_thumbnail(context.get(), small.get(), handle.get(), encoder.get(),
                                          nullptr, thumbnailSide, &rawThumbnail)
                .code)
            return {};
        heif_image_handle_release(rawThumbnail);
    }
    QByteArray out;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* userdata) {
        static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    if (heif_context_write(context.get(), &writer, &out).code)
        return {};
    return out;
}

} // namespace

QByteArray heifBytes(const QImage& stored, int orientation, HeifCodec codec, bool alpha) {
    return encodeHeif(stored, orientation, codec, alpha, {});
}

QByteArray heifWithExif(const QImage& stored, const QByteArray& tiff, HeifCodec codec) {
    return encodeHeif(stored, 1, codec, false, tiff);
}

QByteArray heifWithThumbnail(const QImage& stored, const QImage& thumbnail, int side) {
    return encodeHeif(stored, 1, HeifCodec::Hevc, false, {}, thumbnail, side);
}

QByteArray flatHeic(const QSize& size) {
    QImage flat(size, QImage::Format_RGB888);
    flat.fill(qRgb(90, 140, 200));
    return encodeHeif(flat, 1, HeifCodec::Hevc, false, {}, {}, 0, "ultrafast");
}

QByteArray withSizeFirst(const QByteArray& heif) {
    QByteArray out = heif;
    const HeifBox meta = heifChild(out, {{}, 0, out.size()}, "meta");
    const HeifBox iprp = heifChild(out, meta, "iprp", 4);
    const HeifBox ipco = heifChild(out, iprp, "ipco");
    const HeifBox ipma = heifChild(out, iprp, "ipma");
    const QList<HeifBox> properties = heifBoxes(out, ipco.start, ipco.end);
    int ispe = 0, turns = 0;
    bool quarter = false;
    for (int i = 0; i < properties.size(); ++i) {
        const QByteArray& type = properties[i].type;
        if (type == "ispe")
            ispe = i + 1;
        if ((type == "irot" || type == "imir") && turns == 0)
            turns = i + 1;
        if (type == "irot" && (quint8(out[properties[i].start]) & 1))
            quarter = true;
    }
    if (ispe == 0)
        return {};
    // The size of the coded picture, before it is turned.
    if (quarter) {
        const qsizetype at = properties[ispe - 1].start + 4;
        out.replace(at, 8, out.mid(at + 4, 4) + out.mid(at, 4));
    }
    // Each item's associations (one-byte indexes): the size moves before the first turn.
    qsizetype at = ipma.start + 8;
    const quint32 items = qFromBigEndian<quint32>(out.constData() + ipma.start + 4);
    for (quint32 i = 0; i < items && at < ipma.end; ++i) {
        const int n = quint8(out[at + 2]);
        QByteArray list = out.mid(at + 3, n);
        const qsizetype from = list.indexOf(char(ispe)), to = list.indexOf(char(turns));
        if (from >= 0 && to >= 0 && to < from) {
            list.remove(from, 1);
            list.insert(to, char(ispe));
        }
        out.replace(at + 3, n, list);
        at += 3 + n;
    }
    return out;
}

QByteArray withMajorBrand(const QByteArray& heif, const char* brand) {
    QByteArray out = heif;
    out.replace(8, 4, QByteArray(brand, 4));
    return out;
}

QByteArray webpBytes(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "webp");
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray withWebpExif(const QByteArray& webp, const QSize& size, int orientation) {
    // The TIFF structure of an EXIF segment, without its marker, length and "Exif\0\0".
    return withWebpExifBlock(webp, size, exifSegment(orientation, false).mid(10));
}

QByteArray withWebpExifBlock(const QByteArray& webp, const QSize& size, const QByteArray& tiff) {
    if (!webp.startsWith("RIFF"))
        return {};
    auto chunk = [](const char* type, QByteArray data) {
        QByteArray c(type, 4);
        putU32(c, quint32(data.size()));
        if (data.size() % 2)
            data.append('\0');
        return c + data;
    };
    const QByteArray exif = chunk("EXIF", tiff);
    QByteArray body = webp.mid(12);
    if (body.startsWith("VP8X")) {
        body[8] = char(quint8(body[8]) | 0x08);
    } else {
        // A lossless stream says whether it uses alpha in its header's bit 28.
        const bool alpha =
            body.startsWith("VP8L") && (qFromLittleEndian<quint32>(body.constData() + 9) >> 28 & 1);
        QByteArray vp8x(1, char(0x08 | (alpha ? 0x10 : 0)));
        vp8x.append(3, '\0');
        QByteArray sizes;
        putU32(sizes, quint32(size.width() - 1));
        vp8x += sizes.left(3);
        sizes.clear();
        putU32(sizes, quint32(size.height() - 1));
        vp8x += sizes.left(3);
        body = chunk("VP8X", vp8x) + body;
    }
    body += exif;
    QByteArray out("RIFF");
    putU32(out, quint32(4 + body.size()));
    return out + "WEBP" + body;
}

QString writeTurned(const QString& dir, const QString& name, const QImage& upright,
                    const char* format, int orientation) {
    const QImage stored = storedForOrientation(upright, orientation);
    const QByteArray f(format);
    QByteArray bytes;
    if (f == "jpeg")
        bytes = withSegment(jpegOf(stored), exifSegment(orientation, orientation % 2 == 0));
    else if (f == "heic")
        bytes = withSizeFirst(heifBytes(stored, orientation));
    else if (f == "heif")
        bytes = withMajorBrand(heifBytes(stored, orientation), "mif1");
    else if (f == "avif")
        bytes = heifBytes(stored, orientation, HeifCodec::Av1);
    else if (f == "webp")
        bytes = withWebpExif(webpBytes(stored), stored.size(), orientation);
    else if (f == "tiff" && orientation == 1)
        return QImageWriter(QDir(dir).filePath(name), "tiff").write(stored)
                   ? QDir(dir).filePath(name)
                   : QString();
    return bytes.isEmpty() ? QString() : writeBytes(dir, name, bytes);
}

QByteArray withAuxiliaryFlood(const QByteArray& heif, int n, int auxiliaryProperties) {
    QByteArray out = heif;
    const HeifBox meta = heifChild(out, {{}, 0, out.size()}, "meta");
    const HeifBox pitm = heifChild(out, meta, "pitm", 4);
    const HeifBox iprp = heifChild(out, meta, "iprp", 4);
    const HeifBox ipma = heifChild(out, iprp, "ipma");
    const HeifBox iref = heifChild(out, meta, "iref", 4);
    const HeifBox iloc = heifChild(out, meta, "iloc", 4);
    if (meta.end == 0 || iloc.end == 0 || pitm.end == 0 || ipma.end == 0 ||
        quint8(out[pitm.start]) != 0 || quint8(out[ipma.start]) != 0 ||
        (iref.end != 0 && quint8(out[iref.start]) != 0))
        return {};
    const quint16 primary = qFromBigEndian<quint16>(out.constData() + pitm.start + 4);
    // The references, 65,535 to a box, from an item of their own.
    const quint16 auxiliary = primary == 0xFFFF ? 1 : 0xFFFF;
    QByteArray references;
    for (int left = n; left > 0;) {
        const int count = qMin(left, 0xFFFF);
        putU32(references, quint32(12 + 2 * count), true);
        references += "auxl";
        putU16(references, auxiliary, true);
        putU16(references, count, true);
        for (int k = 0; k < count; ++k)
            putU16(references, primary, true);
        left -= count;
    }
    if (iref.end == 0) {
        QByteArray box;
        putU32(box, quint32(12 + references.size()), true);
        box += QByteArray("iref\0\0\0\0", 8);
        references = box + references;
    }
    // The associations again with 32-bit item IDs, then one entry without a property for each
    // of n items past every ID the file uses.
    const bool wideIndexes = (quint8(out[ipma.start + 3]) & 1) != 0;
    const quint32 entries = u32At(out, ipma.start + 4);
    QByteArray table;
    qsizetype at = ipma.start + 8;
    for (quint32 i = 0; i < entries; ++i) {
        putU32(table, qFromBigEndian<quint16>(out.constData() + at), true);
        const int count = quint8(out[at + 2]);
        const qsizetype listSize = count * (wideIndexes ? 2 : 1);
        table += out.mid(at + 2, 1 + listSize);
        at += 3 + listSize;
    }
    for (int k = 0; k < n; ++k) {
        putU32(table, quint32(0x10000 + k), true);
        table += char(0);
    }
    // The referring item, with its first property listed that many times.
    if (auxiliaryProperties > 0) {
        putU32(table, auxiliary, true);
        table += char(auxiliaryProperties);
        table += QByteArray(auxiliaryProperties, char(1));
    }
    QByteArray associations;
    putU32(associations, quint32(16 + table.size()), true);
    associations += "ipma";
    associations += char(1);
    associations += out.mid(ipma.start + 1, 3);
    putU32(associations, entries + quint32(n) + (auxiliaryProperties > 0 ? 1 : 0), true);
    associations += table;

    const qint64 grownIpma = associations.size() - (ipma.end - ipma.start + 8);
    const qint64 delta = grownIpma + references.size();
    // Sizes first, while the boxes are where they were.
    setU32At(out, iprp.start - 8, quint32(u32At(out, iprp.start - 8) + grownIpma));
    setU32At(out, meta.start - 8, quint32(u32At(out, meta.start - 8) + delta));
    if (iref.end != 0)
        setU32At(out, iref.start - 8, quint32(u32At(out, iref.start - 8) + references.size()));
    shiftLocations(out, iloc, delta);
    const qsizetype referencesAt = iref.end != 0 ? iref.end : meta.end;
    // Back to front, so that each place is still where it was.
    if (referencesAt >= ipma.end) {
        out.insert(referencesAt, references);
        out.replace(ipma.start - 8, ipma.end - ipma.start + 8, associations);
    } else {
        out.replace(ipma.start - 8, ipma.end - ipma.start + 8, associations);
        out.insert(referencesAt, references);
    }
    return out;
}

QByteArray jpegOfManyScans(int n) {
    const QByteArray jpeg = jpegBytes(64, 48);
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    // A scan header of one component and a byte of data.
    const QByteArray tiny("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x12", 11);
    return jpeg.left(scan) + tiny.repeated(n) + QByteArray(1, '\0');
}

QByteArray tiffWithTablesApart(int strips, int gap) {
    const int width = 64;
    const quint32 ifd = 8, entries = 9;
    const quint32 data = ifd + 2 + entries * 12 + 4;
    const quint32 offsets = data + width;
    const quint32 counts = offsets + 4 * quint32(strips) + quint32(gap);
    QByteArray out("II*\0", 4);
    putU32(out, ifd);
    putU16(out, int(entries));
    putEntry(out, 256, 3, 1, u16Value(width, false), false);           // width
    putEntry(out, 257, 4, 1, u32Value(quint32(strips), false), false); // length, a row a strip
    putEntry(out, 258, 3, 1, u16Value(8, false), false);               // 8 bits
    putEntry(out, 259, 3, 1, u16Value(1, false), false);               // not compressed
    putEntry(out, 262, 3, 1, u16Value(1, false), false);               // grey, black is 0
    putEntry(out, 273, 4, quint32(strips), u32Value(offsets, false), false);
    putEntry(out, 277, 3, 1, u16Value(1, false), false);
    putEntry(out, 278, 4, 1, u32Value(1, false), false);
    putEntry(out, 279, 4, quint32(strips), u32Value(counts, false), false);
    putU32(out, 0);
    out.append(width, char(0x80));
    // Every strip is the same row.
    for (int i = 0; i < strips; ++i)
        putU32(out, data);
    out.append(gap, '\0');
    for (int i = 0; i < strips; ++i)
        putU32(out, quint32(width));
    return out;
}

QByteArray tiledTiff(int side, int tile) {
    const quint32 across = quint32((side + tile - 1) / tile), tiles = across * across;
    const quint32 ifd = 8, entries = 10;
    const quint32 offsets = ifd + 2 + entries * 12 + 4;
    const quint32 counts = offsets + 4 * tiles;
    const quint32 data = counts + 4 * tiles;
    const QByteArray zeros = qCompress(QByteArray(tile * tile, '\0'), 9).mid(4);
    QByteArray out("II*\0", 4);
    putU32(out, ifd);
    putU16(out, int(entries));
    putEntry(out, 256, 4, 1, u32Value(quint32(side), false), false);
    putEntry(out, 257, 4, 1, u32Value(quint32(side), false), false);
    putEntry(out, 258, 3, 1, u16Value(8, false), false);
    putEntry(out, 259, 3, 1, u16Value(8, false), false); // deflate
    putEntry(out, 262, 3, 1, u16Value(1, false), false);
    putEntry(out, 277, 3, 1, u16Value(1, false), false);
    putEntry(out, 322, 3, 1, u16Value(quint16(tile), false), false);
    putEntry(out, 323, 3, 1, u16Value(quint16(tile), false), false);
    putEntry(out, 324, 4, tiles, u32Value(offsets, false), false);
    putEntry(out, 325, 4, tiles, u32Value(counts, false), false);
    putU32(out, 0);
    // Every tile is the same.
    for (quint32 i = 0; i < tiles; ++i)
        putU32(out, data);
    for (quint32 i = 0; i < tiles; ++i)
        putU32(out, quint32(zeros.size()));
    return out + zeros;
}

QByteArray withIspe(const QByteArray& heif, const QSize& size) {
    QByteArray out = heif;
    const HeifBox meta = heifChild(out, {{}, 0, out.size()}, "meta");
    const HeifBox iprp = heifChild(out, meta, "iprp", 4);
    const HeifBox ispe = heifChild(out, heifChild(out, iprp, "ipco"), "ispe");
    if (ispe.end == 0)
        return {};
    setU32At(out, ispe.start + 4, quint32(size.width()));
    setU32At(out, ispe.start + 8, quint32(size.height()));
    return out;
}

QByteArray ispeBox(const QSize& size) {
    QByteArray box;
    putU32(box, 20, true);
    box += QByteArray("ispe\0\0\0\0", 8);
    putU32(box, quint32(size.width()), true);
    putU32(box, quint32(size.height()), true);
    return box;
}

QByteArray clapBox(const QSize& aperture, const QPoint& offset) {
    QByteArray box;
    putU32(box, 40, true);
    box += "clap";
    for (int v : {aperture.width(), 1, aperture.height(), 1, offset.x(), 1, offset.y(), 1})
        putU32(box, quint32(v), true);
    return box;
}

QByteArray withProperty(const QByteArray& heif, const QByteArray& box, int position) {
    QByteArray out = heif;
    const HeifBox meta = heifChild(out, {{}, 0, out.size()}, "meta");
    const HeifBox pitm = heifChild(out, meta, "pitm", 4);
    const HeifBox iloc = heifChild(out, meta, "iloc", 4);
    const HeifBox iprp = heifChild(out, meta, "iprp", 4);
    const HeifBox ipco = heifChild(out, iprp, "ipco");
    const HeifBox ipma = heifChild(out, iprp, "ipma");
    if (pitm.end == 0 || iloc.end == 0 || ipco.end == 0 || ipma.end == 0 ||
        quint8(out[pitm.start]) != 0 || quint8(out[ipma.start]) != 0 ||
        (quint8(out[ipma.start + 3]) & 1) != 0 || ipma.start < ipco.end || iloc.end > ipco.start)
        return {};
    const quint16 primary = qFromBigEndian<quint16>(out.constData() + pitm.start + 4);
    const int index = int(heifBoxes(out, ipco.start, ipco.end).size()) + 1;
    // The primary item's entry: its ID, a count, one byte an index.
    qsizetype at = ipma.start + 8;
    const quint32 entries = u32At(out, ipma.start + 4);
    for (quint32 i = 0; i < entries; ++i) {
        const int count = quint8(out[at + 2]);
        if (qFromBigEndian<quint16>(out.constData() + at) == primary) {
            const int place = position < 0 ? count : qMin(position, count);
            out.insert(at + 3 + place, char(index));
            out[at + 2] = char(count + 1);
            break;
        }
        at += 3 + count;
    }
    if (at >= ipma.end)
        return {};
    const qint64 delta = box.size() + 1;
    setU32At(out, ipma.start - 8, u32At(out, ipma.start - 8) + 1);
    out.insert(ipco.end, box);
    setU32At(out, ipco.start - 8, quint32(u32At(out, ipco.start - 8) + box.size()));
    setU32At(out, iprp.start - 8, quint32(u32At(out, iprp.start - 8) + delta));
    setU32At(out, meta.start - 8, quint32(u32At(out, meta.start - 8) + delta));
    shiftLocations(out, iloc, delta);
    return out;
}

namespace {

// Pixels coded as LZW with a clear code before each: the codes never grow past 3 bits.
QByteArray lzwOfClearCodes(const QByteArray& pixels) {
    QByteArray out;
    quint32 bits = 0;
    int count = 0;
    auto put = [&](quint32 code) {
        bits |= code << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8)
            out += char(bits & 0xFF);
    };
    for (char p : pixels) {
        put(4);
        put(quint32(p) & 3);
    }
    put(5);
    if (count > 0)
        out += char(bits & 0xFF);
    return out;
}

} // namespace

GifParts gifOfThreeFrames() {
    GifParts gif;
    QByteArray& out = gif.bytes;
    const int w = 4, h = 3;
    out = "GIF89a";
    putU16(out, w);
    putU16(out, h);
    out += QByteArray("\x80\0\0", 3); // two colours
    out += QByteArray("\xFF\xFF\xFF\0\0\0", 6);
    out += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19);
    for (int frame = 0; frame < 3; ++frame) {
        if (frame == 1) {
            gif.comment = out.size();
            out += QByteArray("\x21\xFE\x05hello\0", 9);
        }
        if (frame >= 1)
            (frame == 1 ? gif.secondControl : gif.thirdControl) = out.size();
        out += QByteArray("\x21\xF9\x04\x04\x0A\0\0\0", 8);
        if (frame >= 1)
            (frame == 1 ? gif.secondImage : gif.thirdImage) = out.size();
        out += char(0x2C);
        putU16(out, 0);
        putU16(out, 0);
        putU16(out, w);
        putU16(out, h);
        out += char(0x81); // a colour table of four
        for (int c = 0; c < 4; ++c)
            out += QByteArray(3, char(c * 60 + frame * 20));
        if (frame >= 1)
            (frame == 1 ? gif.secondData : gif.thirdData) = out.size();
        out += char(2);
        QByteArray pixels;
        for (int i = 0; i < w * h; ++i)
            pixels += char((i + frame) % 4);
        const QByteArray data = lzwOfClearCodes(pixels);
        out += char(data.size());
        out += data;
        out += char(0);
    }
    gif.trailer = out.size();
    out += char(0x3B);
    return gif;
}

namespace {

// An IFD at `at` of (tag, type, value) entries, the values that do not fit in place after it.
QByteArray tiffIfd(quint32 at, const QList<std::tuple<int, int, QByteArray>>& entries,
                   bool bigEndian) {
    QByteArray table, data;
    const quint32 dataAt = at + 2 + 12 * quint32(entries.size()) + 4;
    putU16(table, int(entries.size()), bigEndian);
    for (const auto& [tag, type, value] : entries) {
        const int unit = type == 3 ? 2 : type == 4 ? 4 : 1;
        putU16(table, tag, bigEndian);
        putU16(table, type, bigEndian);
        putU32(table, quint32(value.size() / unit), bigEndian);
        if (value.size() <= 4) {
            table += value.leftJustified(4, '\0');
        } else {
            putU32(table, dataAt + quint32(data.size()), bigEndian);
            data += value;
        }
    }
    putU32(table, 0, bigEndian);
    return table + data;
}

} // namespace

QByteArray exifBlockWithDate(const QByteArray& taken, const QByteArray& offset, bool bigEndian,
                             bool withPicture) {
    QList<std::tuple<int, int, QByteArray>> exif = {{0x9000, 7, "0232"}, {0x9003, 2, taken}};
    if (!offset.isEmpty())
        exif.append({0x9011, 2, offset});
    // An 8 x 6 grey picture, a strip of it, after the Exif IFD.
    const int w = 8, h = 6;
    QList<std::tuple<int, int, QByteArray>> ifd0 = {{0x010F, 2, QByteArray("Cam", 4)},
                                                    {0x0112, 3, u16Value(1, bigEndian)}};
    if (withPicture) {
        ifd0 = {{256, 3, u16Value(w, bigEndian)},    {257, 3, u16Value(h, bigEndian)},
                {258, 3, u16Value(8, bigEndian)},    {259, 3, u16Value(1, bigEndian)},
                {262, 3, u16Value(1, bigEndian)},    {273, 4, u32Value(0, bigEndian)},
                {0x0112, 3, u16Value(1, bigEndian)}, {277, 3, u16Value(1, bigEndian)},
                {278, 3, u16Value(h, bigEndian)},    {279, 4, u32Value(w * h, bigEndian)}};
    }
    ifd0.append({0x8769, 4, u32Value(0, bigEndian)});
    const quint32 exifAt = 8 + quint32(tiffIfd(8, ifd0, bigEndian).size());
    const quint32 pictureAt = exifAt + quint32(tiffIfd(exifAt, exif, bigEndian).size());
    std::get<2>(ifd0.back()) = u32Value(exifAt, bigEndian);
    if (withPicture)
        std::get<2>(ifd0[5]) = u32Value(pictureAt, bigEndian);
    QByteArray out = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    putU32(out, 8, bigEndian);
    out += tiffIfd(8, ifd0, bigEndian) + tiffIfd(exifAt, exif, bigEndian);
    if (withPicture)
        out.append(w * h, char(0x80));
    return out;
}

QByteArray exifApp1(const QByteArray& tiff) {
    QByteArray segment("\xFF\xE1", 2);
    putU16(segment, int(2 + 6 + tiff.size()), true);
    return segment + QByteArray("Exif\0\0", 6) + tiff;
}

AsNobody::AsNobody(const QString& folder) : root_(::geteuid() == 0) {
    // Group too: nobody keeps root's groups.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                      QFileDevice::ExeOther);
    if (root_ && ::seteuid(65534) != 0)
        qFatal("cannot drop privileges");
}

AsNobody::~AsNobody() {
    if (root_ && ::seteuid(0) != 0)
        qFatal("cannot regain privileges");
}

} // namespace slidemill::test

namespace slidemill::test {

QString makeMusic(const QString& dir, const QString& name, double seconds) {
    const QString path = QDir(dir).filePath(name);
    const QString tone = QStringLiteral("sine=frequency=440:duration=%1").arg(seconds);
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")};
    if (name.endsWith(QLatin1String(".mp4")))
        args << QStringList{"-f", "lavfi", "-i",
                            QStringLiteral("testsrc=size=64x48:duration=%1").arg(seconds)};
    args << QStringList{"-f", "lavfi", "-i", tone};
    if (name.endsWith(QLatin1String(".mp3")))
        args << QStringList{"-c:a", "libmp3lame", "-b:a", "64k"};
    else if (name.endsWith(QLatin1String(".m4a")))
        args << QStringList{"-c:a", "aac"};
    else if (name.endsWith(QLatin1String(".wav")))
        args << QStringList{"-c:a", "pcm_s16le"};
    args << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0)
        return {};
    return path;
}

} // namespace slidemill::test
