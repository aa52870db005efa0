#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace slidemill::test {

// Something like a photo: a gradient with fine noise, so that a smaller copy is also a lighter
// file.
QImage noisyPhoto(int w, int h, quint32 seed = 1);
// The image as Qt's writer for `format` writes it; empty when it cannot.
QByteArray encodedImage(const QImage& image, const char* format, int quality = -1);
// A progressive JPEG as Qt writes it.
QByteArray encodedProgressive(const QImage& image);

// A PNG chunk of `type` (four letters) holding `data`, with its length and CRC.
QByteArray pngChunk(const char* type, const QByteArray& data);
// A text chunk: "tEXt" as GNOME's programs write their keys, "zTXt" compressed as Qt writes a
// value of 40 characters or more.
QByteArray textChunk(const char* type, const QByteArray& key, const QByteArray& value);
// A thumbnail as the desktop's programs write it: the image as a PNG with `keys` in tEXt chunks
// after its header, then the chunks in `more`.
QByteArray thumbnailPng(const QImage& image, const QList<QPair<QByteArray, QByteArray>>& keys,
                        const QByteArray& more = {});

// A little-endian TIFF of one strip whose tags are `tags` (each a LONG), with `data` as its
// strip: enough for the header readers, whatever the data.
QByteArray craftedTiff(QList<QPair<quint16, quint32>> tags, const QByteArray& data);
// Pictures crafted to take all the memory or time a decoder gives them: what the picture maker
// must refuse, or make, within 2 s and inside its decode budget. Shared by the picture maker's
// tests and bench_hostile.
struct HostileFile {
    const char* row;
    QString name;
    QByteArray bytes;
    // What the refusal says; empty when the picture is made.
    QString refusal;
};
QList<HostileFile> hostileFiles();

} // namespace slidemill::test
