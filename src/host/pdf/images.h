#pragma once

#include "pictures/measuredfile.h"
#include "slides/picture.h"

#include <QByteArray>
#include <QSize>
#include <cstddef>
#include <memory>

namespace slidemill::pdf {

// Compressed as PDF's FlateDecode reads it.
QByteArray zlibCompress(const char* data, std::size_t size);
QByteArray zlibCompress(const QByteArray& bytes);

// One picture as the PDF stores it.
struct StoredImage {
    // Neither: nothing the PDF can show (WMF, EMF): the picture's line alone is drawn.
    QByteArray data;
    // A JPEG kept as it is, copied from its file as the PDF is written.
    std::shared_ptr<const pictures::MeasuredFile> file;
    bool dct = false;
    int components = 3;
    bool invertCmyk = false;
    int width = 0, height = 0;
    // Compressed 8-bit alpha, when some pixel is not opaque.
    QByteArray alpha;
    // The EXIF orientation its placement applies; 1 for a copy made upright.
    int orientation = 1;
    // A PNG's own compressed rows: the colour space and how to undo its filters.
    QByteArray colourSpace;
    QByteArray decodeParms;
    int bits = 8;
};

// The picture as the .pptx stores it at `shown` pixels (the same copy where one is made), in
// greys when asked: a JPEG in greys is made one anew, as the deck's greys effect cannot be had.
StoredImage storedImage(const Picture& picture, QSize shown, bool grey);

} // namespace slidemill::pdf
