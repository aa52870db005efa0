#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

namespace slidemill {

// A PNG held in memory that came from elsewhere (the desktop's shared thumbnails), walked chunk
// by chunk without inflating anything: libpng inflates every compressed text chunk before the
// pixels, whatever its size, so the text is read here and the decoder never sees it.

inline constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

struct PngChunk {
    // Its four letters, and what it holds.
    QByteArrayView type;
    QByteArrayView data;
    // As stored: length, type, data and CRC.
    QByteArrayView whole;
};

// The chunks of png from IHDR to IEND; none unless it is a PNG whose chunks all lie inside it
// with their CRCs right, IHDR first and IEND last. Views into png.
std::optional<QList<PngChunk>> pngChunks(QByteArrayView png);

// A chunk as stored: its length, type, data and CRC.
QByteArray pngChunkBytes(const char* type, QByteArrayView data);

// The value of a tEXt chunk whose keyword is key; none for another chunk or keyword.
std::optional<QByteArrayView> pngText(const PngChunk& chunk, QByteArrayView key);

// Whether a chunk holds text (tEXt, zTXt or iTXt).
bool isPngText(const PngChunk& chunk);

} // namespace slidemill
