#include "slides/pngchunks.h"

#include <QtEndian>
#include <zlib.h>

namespace slidemill {

namespace {

quint32 crcOf(QByteArrayView bytes) {
    return quint32(::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

} // namespace

std::optional<QList<PngChunk>> pngChunks(QByteArrayView png) {
    const QByteArrayView signature(kPngSignature, 8);
    if (!png.startsWith(signature))
        return std::nullopt;
    QList<PngChunk> chunks;
    for (qsizetype at = signature.size();;) {
        if (png.size() - at < 12)
            return std::nullopt;
        const quint32 length = qFromBigEndian<quint32>(png.data() + at);
        // At most 2^31 - 1 by the format; anything past the file is a lie.
        if (length > quint32(png.size() - at - 12))
            return std::nullopt;
        const QByteArrayView typed = png.sliced(at + 4, 4 + qsizetype(length));
        if (crcOf(typed) != qFromBigEndian<quint32>(typed.data() + typed.size()))
            return std::nullopt;
        const PngChunk chunk{typed.first(4), typed.sliced(4), png.sliced(at, 12 + length)};
        if (chunks.isEmpty() != (chunk.type == "IHDR"))
            return std::nullopt;
        chunks.append(chunk);
        at += chunk.whole.size();
        if (chunk.type == "IEND")
            return chunks;
    }
}

QByteArray pngChunkBytes(const char* type, QByteArrayView data) {
    QByteArray chunk(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk.append(type, 4);
    chunk.append(data);
    QByteArray crc(4, Qt::Uninitialized);
    qToBigEndian<quint32>(crcOf(QByteArrayView(chunk).sliced(4)), crc.data());
    return chunk + crc;
}

std::optional<QByteArrayView> pngText(const PngChunk& chunk, QByteArrayView key) {
    if (chunk.type != "tEXt" || !chunk.data.startsWith(key) || chunk.data.size() <= key.size() ||
        chunk.data[key.size()] != '\0')
        return std::nullopt;
    return chunk.data.sliced(key.size() + 1);
}

bool isPngText(const PngChunk& chunk) {
    return chunk.type == "tEXt" || chunk.type == "zTXt" || chunk.type == "iTXt";
}

} // namespace slidemill
