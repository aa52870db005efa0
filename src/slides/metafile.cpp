#include "slides/metafile.h"

#include <limits>

namespace slidemill {

namespace {

constexpr std::uint32_t wmfPlaceableKey = 0x9AC6CDD7;
constexpr qint64 wmfPlaceableSize = 22;
constexpr qint64 wmfStandardHeaderSize = 18;

constexpr std::uint32_t emrHeader = 1;
constexpr std::uint32_t emfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t emfHeaderMinSize = 88;

constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

std::optional<HimetricSize> checkedSize(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0 || width > int32Max || height > int32Max)
        return std::nullopt;
    return HimetricSize{std::int32_t(width), std::int32_t(height)};
}

} // namespace

std::int64_t roundedQuotient(std::int64_t numerator, std::int64_t denominator) {
    // (2n + d) / 2d is n / d rounded to nearest, halves up; mirrored for negative n.
    if (numerator >= 0)
        return (2 * numerator + denominator) / (2 * denominator);
    return -((-2 * numerator + denominator) / (2 * denominator));
}

bool looksLikePlaceableWmf(const ByteSource& bytes) {
    return bytes.readU32Le(0) == wmfPlaceableKey;
}

std::optional<HimetricSize> readPlaceableWmfSize(const ByteSource& bytes) {
    if (!looksLikePlaceableWmf(bytes))
        return std::nullopt;
    const auto left = bytes.readI16Le(6);
    const auto top = bytes.readI16Le(8);
    const auto right = bytes.readI16Le(10);
    const auto bottom = bytes.readI16Le(12);
    const auto inch = bytes.readU16Le(14);
    // The standard header that follows: type 1 (memory) or 2 (disk), 9 words long, then the
    // whole metafile's size in 16-bit words.
    const auto type = bytes.readU16Le(wmfPlaceableSize);
    const auto headerWords = bytes.readU16Le(wmfPlaceableSize + 2);
    const auto sizeWords = bytes.readU32Le(wmfPlaceableSize + 6);
    if (!left || !top || !right || !bottom || !inch || !type || !headerWords || !sizeWords)
        return std::nullopt;
    if ((*type != 1 && *type != 2) || *headerWords != 9 || *inch == 0)
        return std::nullopt;
    const qint64 metafileBytes = qint64(*sizeWords) * 2;
    if (metafileBytes < wmfStandardHeaderSize || !bytes.has(wmfPlaceableSize, metafileBytes))
        return std::nullopt;
    // 16-bit extents times 2540 stay far inside 64 bits and, at one unit per inch, inside 32.
    const std::int64_t width = std::int64_t(*right) - *left;
    const std::int64_t height = std::int64_t(*bottom) - *top;
    if (width <= 0 || height <= 0)
        return std::nullopt;
    return checkedSize(roundedQuotient(width * 2540, *inch), roundedQuotient(height * 2540, *inch));
}

bool looksLikeEmf(const ByteSource& bytes) {
    return bytes.readU32Le(0) == emrHeader && bytes.readU32Le(40) == emfSignature;
}

std::optional<HimetricSize> readEmfSize(const ByteSource& bytes) {
    if (!looksLikeEmf(bytes))
        return std::nullopt;
    const auto recordSize = bytes.readU32Le(4);
    const auto left = bytes.readI32Le(24);
    const auto top = bytes.readI32Le(28);
    const auto right = bytes.readI32Le(32);
    const auto bottom = bytes.readI32Le(36);
    const auto totalBytes = bytes.readU32Le(48);
    if (!recordSize || !left || !top || !right || !bottom || !totalBytes)
        return std::nullopt;
    if (*recordSize < emfHeaderMinSize || *recordSize % 4 != 0 || *totalBytes < *recordSize ||
        *totalBytes > bytes.size())
        return std::nullopt;
    return checkedSize(std::int64_t(*right) - *left, std::int64_t(*bottom) - *top);
}

} // namespace slidemill
