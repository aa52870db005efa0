#pragma once

// Picture files for the host tests, written into a test's folder.

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QString>

namespace slidemill::test {

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A filled picture with a dark mark in the top left corner.
inline QImage markedImage(int w, int h, QColor fill) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    QPainter p(&img);
    p.fillRect(0, 0, w / 4, h / 4, Qt::darkBlue);
    return img;
}

// A placeable WMF of `w` x `h` units at 1440 per inch: a filled rectangle.
inline QByteArray placeableWmf(qint16 w, qint16 h) {
    QByteArray body;
    QDataStream s(&body, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    auto record = [&s](quint32 words, quint16 function, std::initializer_list<qint16> params) {
        s << words << function;
        for (qint16 p : params)
            s << p;
    };
    record(5, 0x020B, {0, 0});                 // SETWINDOWORG y, x
    record(5, 0x020C, {h, w});                 // SETWINDOWEXT y, x
    record(7, 0x02FC, {0, 0x00C0, 0x0020, 0}); // CREATEBRUSHINDIRECT solid, colour 0x0020C000
    record(4, 0x012D, {0});                    // SELECTOBJECT 0
    record(7, 0x041B, {h, w, 0, 0});           // RECTANGLE bottom, right, top, left
    record(3, 0x0000, {});                     // EOF

    QByteArray out;
    QDataStream o(&out, QIODevice::WriteOnly);
    o.setByteOrder(QDataStream::LittleEndian);
    const quint16 head[10] = {0xCDD7, 0x9AC6, 0, 0, 0, quint16(w), quint16(h), 1440, 0, 0};
    quint16 checksum = 0;
    for (quint16 v : head)
        checksum ^= v;
    for (quint16 v : head)
        o << v;
    o << checksum;
    const quint32 sizeWords = quint32(18 + body.size()) / 2;
    o << quint16(1) << quint16(9) << quint16(0x0300) << sizeWords << quint16(1) << quint32(7)
      << quint16(0);
    out += body;
    return out;
}

// An EMF whose frame is `w` x `h` hundredths of a millimetre: a light grey rectangle.
inline QByteArray simpleEmf(qint32 w, qint32 h) {
    const qint32 px = w * 96 / 2540, py = h * 96 / 2540;
    QByteArray out;
    QDataStream o(&out, QIODevice::WriteOnly);
    o.setByteOrder(QDataStream::LittleEndian);
    const quint32 total = 88 + 12 + 24 + 20;
    o << quint32(1) << quint32(88);                        // EMR_HEADER
    o << qint32(0) << qint32(0) << px << py;               // bounds
    o << qint32(0) << qint32(0) << w << h;                 // frame, 0.01 mm
    o << quint32(0x464D4520) << quint32(0x10000) << total; // " EMF", version, bytes
    o << quint32(4) << quint16(1) << quint16(0);           // records, handles, reserved
    o << quint32(0) << quint32(0) << quint32(0);           // description, palette
    o << qint32(96 * 10) << qint32(96 * 10) << qint32(254) << qint32(254); // device px, mm
    o << quint32(37) << quint32(12) << quint32(0x80000001); // SELECTOBJECT light grey brush
    o << quint32(43) << quint32(24) << qint32(0) << qint32(0) << px << py;       // RECTANGLE
    o << quint32(14) << quint32(20) << quint32(0) << quint32(16) << quint32(20); // EOF
    return out;
}

// Writes a picture of the format named by its extension: png, jpeg, bmp, tiff through Qt,
// gif through ImageMagick, wmf and emf by hand. False when it cannot.
inline bool writePicture(const QString& path, const QString& format, QColor fill = Qt::red) {
    const QImage img = markedImage(160, 120, fill);
    if (format == QLatin1String("wmf"))
        return writeBytes(path, placeableWmf(2400, 1800));
    if (format == QLatin1String("emf"))
        return writeBytes(path, simpleEmf(4233, 3175));
    if (format == QLatin1String("gif")) {
        const QString png = path + QStringLiteral(".src.png");
        if (!img.save(png, "PNG"))
            return false;
        const int rc =
            QProcess::execute(QStringLiteral("convert"), {png, QStringLiteral("gif:") + path});
        QFile::remove(png);
        return rc == 0;
    }
    return img.save(path, format.toLatin1().constData(), 95);
}

} // namespace slidemill::test
