#pragma once

#include "pictures/sizes.h"
#include "slides/picture.h"

#include <QByteArray>
#include <QSize>

namespace slidemill::pictures {

// The quality of the JPEG copies: the lowest whose pictures stay within 1 dB PSNR of a lossless
// Lanczos resize of the same photo (bench/bench_resize.py measures it).
inline constexpr int kMadeJpegQuality = 85;

// The picture as it is to be stored.
struct MadePicture {
    // Empty: the file itself, byte for byte, shown by its shape as its orientation says (a
    // turned JPEG or TIFF with its orientation set to 1, as before). Otherwise a copy that
    // stands upright and carries no orientation: its shape is not turned.
    QByteArray bytes;
    // What is stored: the copy's format (JPEG or PNG), or the file's own when it is kept.
    PictureFormat format = PictureFormat::Jpeg;
    // The upright size in pixels of what is stored.
    QSize pixels;
};

// True when the picture cannot be stored as its file (HEIC, HEIF, AVIF, WebP), or has more
// pixels than `shown` (the upright size it is shown at; an empty size keeps every pixel). WMF
// and EMF: false. From the measured header only; no file is read. An animated GIF cannot be
// told from its header: makePicture keeps it.
bool mustMake(const Picture& picture, QSize shown);

// Decodes the picture once, turns it upright (EXIF orientation; HEIF irot and imir), resizes it
// with Lanczos3 (shrinking a JPEG or WebP while it is decoded where that leaves at least a factor
// of 2) to fit `shown` keeping its proportions, never enlarging it, and encodes it: JPEG for
// photographic sources (JPEG, HEIC, HEIF, AVIF, lossy WebP), PNG for transparency and for
// lossless ones (PNG, lossless WebP, GIF, BMP, TIFF), with the ICC profile and no other
// metadata. Returns empty bytes (keep the file) when nothing must be made, for an animated GIF,
// and when the copy comes out no smaller than a file that can be stored as it is.
//
// The file is opened through MeasuredFile and must stay as measured until the copy is made.
// JPEG, PNG and TIFF are decoded a few lines at a time; what must be decoded whole (HEIF, WebP
// at its decoded size, GIF, BMP, progressive JPEG, interlaced PNG) may take at most 512 MiB,
// and all such pictures made at once share that much. Safe to call from any thread.
//
// Throws RuntimeError 481 naming the file when it cannot be decoded, is too large to decode
// whole, or decodes to other proportions than its header gave; 75 when it is no longer the file
// measured or changed while it was read.
MadePicture makePicture(const Picture& picture, QSize shown);

} // namespace slidemill::pictures
