#include "fixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QtEndian>

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

} // namespace slidemill::test
