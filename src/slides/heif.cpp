#include "slides/heif.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <algorithm>
#include <array>
#include <vector>

namespace slidemill {

namespace {

constexpr quint32 fourcc(const char (&s)[5]) {
    return quint32(quint8(s[0])) << 24 | quint32(quint8(s[1])) << 16 | quint32(quint8(s[2])) << 8 |
           quint32(quint8(s[3]));
}

// Beyond these a file is not worth reading further, and a crafted one cannot keep us busy.
constexpr std::size_t kMaxChildren = 1 << 16;
constexpr qint64 kMaxExtents = 1 << 16;
constexpr qsizetype kMaxAssociations = 1024;

struct Box {
    quint32 type = 0;
    // The payload: after the header, up to the end of the box.
    qint64 start = 0;
    qint64 end = 0;
};

// The box whose header is at `at`; it must end by `limit`. Size 0 runs to the limit.
std::optional<Box> boxAt(const ByteSource& bytes, qint64 at, qint64 limit) {
    const auto size32 = bytes.readU32Be(at);
    const auto type = bytes.readU32Be(at + 4);
    if (!size32 || !type || at >= limit)
        return std::nullopt;
    qint64 header = 8;
    quint64 size = *size32;
    if (*size32 == 1) {
        const auto large = bytes.readU64Be(at + 8);
        if (!large)
            return std::nullopt;
        size = *large;
        header = 16;
    } else if (*size32 == 0) {
        size = quint64(limit - at);
    }
    if (size < quint64(header) || size > quint64(limit - at))
        return std::nullopt;
    return Box{*type, at + header, at + qint64(size)};
}

// The boxes that fill [from, to); empty when one of them is damaged or there are too many.
std::optional<std::vector<Box>> children(const ByteSource& bytes, qint64 from, qint64 to) {
    std::vector<Box> boxes;
    for (qint64 at = from; at < to;) {
        const auto box = boxAt(bytes, at, to);
        if (!box || boxes.size() == kMaxChildren)
            return std::nullopt;
        boxes.push_back(*box);
        at = box->end;
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, quint32 type) {
    const auto it =
        std::find_if(boxes.begin(), boxes.end(), [type](const Box& b) { return b.type == type; });
    return it == boxes.end() ? nullptr : &*it;
}

// A field of 0, 1, 2, 4 or 8 bytes, big-endian, as iloc and ipma size their fields.
std::optional<quint64> readField(const ByteSource& bytes, qint64 at, int size) {
    switch (size) {
    case 0:
        return 0;
    case 1:
        if (const auto v = bytes.readU8(at))
            return *v;
        return std::nullopt;
    case 2:
        if (const auto v = bytes.readU16Be(at))
            return *v;
        return std::nullopt;
    case 4:
        if (const auto v = bytes.readU32Be(at))
            return *v;
        return std::nullopt;
    case 8:
        return bytes.readU64Be(at);
    default:
        return std::nullopt;
    }
}

// An item ID of 2 or 4 bytes, as the box's version says.
std::optional<quint32> readId(const ByteSource& bytes, qint64 at, bool wide) {
    if (wide)
        return bytes.readU32Be(at);
    if (const auto v = bytes.readU16Be(at))
        return *v;
    return std::nullopt;
}

// The orientation as a mirror (left-right) followed by r clockwise quarter turns, composed
// with the operations a file lists in order.
struct Turn {
    bool mirrored = false;
    int quarters = 0;

    void rotateClockwise(int q) { quarters = (quarters + q) % 4; }
    // A left-right mirror after R^r is R^-r after the mirror; top-bottom is that turned twice.
    void mirror(bool topBottom) {
        mirrored = !mirrored;
        quarters = ((topBottom ? 2 : 0) - quarters + 4) % 4;
    }
    int exifOrientation() const {
        static constexpr std::array<int, 4> plain = {1, 6, 3, 8};
        static constexpr std::array<int, 4> mirror = {2, 7, 4, 5};
        return (mirrored ? mirror : plain)[std::size_t(quarters)];
    }
};

// What the meta box says about the items a measurement needs.
struct Items {
    quint32 primary = 0;
    QHash<quint32, quint32> types;
    // Pictures the primary one is derived from, and auxiliary pictures attached to it. A set:
    // each association is looked up in it.
    QList<quint32> derivedFrom;
    QSet<quint32> auxiliaries;
    // The EXIF block that describes the primary picture; 0 when none does.
    quint32 exif = 0;
    // The property indexes (from 1) associated with the items `wanted`: the primary item, the
    // auxiliaries and the source of an identity.
    QSet<quint32> wanted;
    QHash<quint32, QList<int>> properties;
};

bool isCoded(quint32 type) {
    return type == fourcc("hvc1") || type == fourcc("av01");
}

bool isDerived(quint32 type) {
    return type == fourcc("grid") || type == fourcc("iden") || type == fourcc("iovl");
}

bool readItemTypes(const ByteSource& bytes, const Box& iinf, Items& items) {
    const auto version = bytes.readU8(iinf.start);
    if (!version)
        return false;
    const auto entries = children(bytes, iinf.start + 4 + (*version == 0 ? 2 : 4), iinf.end);
    if (!entries)
        return false;
    for (const Box& infe : *entries) {
        const auto v = bytes.readU8(infe.start);
        if (infe.type != fourcc("infe") || !v)
            return false;
        if (*v < 2)
            continue; // the old form names no item type
        const bool wide = *v >= 3;
        const auto id = readId(bytes, infe.start + 4, wide);
        const auto type = bytes.readU32Be(infe.start + 4 + (wide ? 4 : 2) + 2);
        if (!id || !type || infe.start + 4 + (wide ? 4 : 2) + 6 > infe.end)
            return false;
        items.types.insert(*id, *type);
    }
    return true;
}

bool readReferences(const ByteSource& bytes, const Box& iref, Items& items) {
    const auto version = bytes.readU8(iref.start);
    const auto refs = children(bytes, iref.start + 4, iref.end);
    if (!version || !refs)
        return false;
    const bool wide = *version != 0;
    const qint64 idSize = wide ? 4 : 2;
    for (const Box& ref : *refs) {
        const auto from = readId(bytes, ref.start, wide);
        const auto count = bytes.readU16Be(ref.start + idSize);
        if (!from || !count || ref.start + idSize + 2 + *count * idSize > ref.end)
            return false;
        for (qint64 i = 0; i < *count; ++i) {
            const auto to = readId(bytes, ref.start + idSize + 2 + i * idSize, wide);
            if (!to)
                return false;
            if (ref.type == fourcc("dimg") && *from == items.primary)
                items.derivedFrom << *to;
            else if (ref.type == fourcc("auxl") && *to == items.primary)
                items.auxiliaries.insert(*from);
            else if (ref.type == fourcc("cdsc") && *to == items.primary && items.exif == 0 &&
                     items.types.value(*from) == fourcc("Exif"))
                items.exif = *from;
        }
    }
    return true;
}

bool readAssociations(const ByteSource& bytes, const Box& ipma, Items& items) {
    const auto version = bytes.readU8(ipma.start);
    const auto flags = bytes.readU8(ipma.start + 3);
    const auto count = bytes.readU32Be(ipma.start + 4);
    if (!version || !flags || !count)
        return false;
    const bool wideIds = *version >= 1;
    const bool wideIndexes = (*flags & 1) != 0;
    qint64 at = ipma.start + 8;
    for (quint32 i = 0; i < *count; ++i) {
        const auto id = readId(bytes, at, wideIds);
        at += wideIds ? 4 : 2;
        const auto n = bytes.readU8(at++);
        if (!id || !n || at + *n * (wideIndexes ? 2 : 1) > ipma.end)
            return false;
        const bool wanted = items.wanted.contains(*id);
        for (int k = 0; k < *n; ++k) {
            const auto index = readField(bytes, at, wideIndexes ? 2 : 1);
            at += wideIndexes ? 2 : 1;
            if (!index)
                return false;
            if (!wanted)
                continue;
            QList<int>& list = items.properties[*id];
            if (list.size() == kMaxAssociations)
                return false;
            list << int(*index & (wideIndexes ? 0x7FFF : 0x7F));
        }
    }
    return true;
}

// A run of the file's bytes, [from, to).
struct Span {
    quint64 from = 0;
    quint64 to = 0;
};

// Where an item's data starts in the file, and how much of it the first extent holds.
struct Extent {
    qint64 at = 0;
    qint64 length = 0;
};

// Whether the coded data of every item in `wanted` lies inside the file (or the idat box), and
// every one of them has a location. Coded data in the file never lies in the boxes that
// describe it (`described`: the ftyp and meta boxes). The first extent of each item in `noted`
// that lies inside goes into `first`.
bool locate(const ByteSource& bytes, const Box& iloc, const Box* idat,
            const std::array<Span, 2>& described, const QSet<quint32>& wanted,
            const QSet<quint32>& noted, QHash<quint32, Extent>& first) {
    const auto version = bytes.readU8(iloc.start);
    const auto sizes = bytes.readU8(iloc.start + 4);
    const auto moreSizes = bytes.readU8(iloc.start + 5);
    if (!version || !sizes || !moreSizes || *version > 2)
        return false;
    const int offsetSize = *sizes >> 4, lengthSize = *sizes & 15, baseSize = *moreSizes >> 4;
    const int indexSize = *version >= 1 ? *moreSizes & 15 : 0;
    for (int size : {offsetSize, lengthSize, baseSize, indexSize}) {
        if (size != 0 && size != 4 && size != 8)
            return false;
    }
    const bool wide = *version == 2;
    qint64 at = iloc.start + 6;
    const auto count = wide ? bytes.readU32Be(at) : std::optional<quint32>(bytes.readU16Be(at));
    if (!count)
        return false;
    at += wide ? 4 : 2;
    QSet<quint32> located;
    qint64 extents = 0;
    for (quint32 i = 0; i < *count; ++i) {
        const auto id = readId(bytes, at, wide);
        at += wide ? 4 : 2;
        std::optional<quint16> method = 0;
        if (*version >= 1) {
            method = bytes.readU16Be(at);
            at += 2;
        }
        const auto reference = bytes.readU16Be(at);
        const auto base = readField(bytes, at + 2, baseSize);
        at += 2 + baseSize;
        const auto extentCount = bytes.readU16Be(at);
        at += 2;
        if (!id || !method || !reference || !base || !extentCount || at > iloc.end)
            return false;
        const bool check = wanted.contains(*id);
        const bool note = noted.contains(*id) && !first.contains(*id);
        if (check)
            located << *id;
        // Extents of no bytes at all are all the same: one stands for them.
        const int extentsRead =
            offsetSize + lengthSize + indexSize == 0 ? qMin<int>(*extentCount, 1) : *extentCount;
        for (int e = 0; e < extentsRead; ++e) {
            if (++extents > kMaxExtents)
                return false;
            at += indexSize;
            const auto offset = readField(bytes, at, offsetSize);
            const auto length = readField(bytes, at + offsetSize, lengthSize);
            at += offsetSize + lengthSize;
            if (!offset || !length || at > iloc.end)
                return false;
            if (!check && !(note && e == 0))
                continue;
            // In the file (0) or in the idat box (1); 2 points into another item, and data in
            // another file is not this picture's.
            const int construction = *method & 15;
            const bool inside = *reference == 0 && construction < 2 && (construction == 0 || idat);
            const quint64 space = !inside             ? 0
                                  : construction == 0 ? quint64(bytes.size())
                                                      : quint64(idat->end - idat->start);
            // Length 0 runs to the end.
            const bool fits = inside && *base <= space && *offset <= space - *base &&
                              *length <= space - *base - *offset;
            const quint64 from = *base + *offset;
            const quint64 to = *length == 0 ? space : from + *length;
            if (note && e == 0 && fits) {
                const qint64 start = construction == 0 ? 0 : idat->start;
                first.insert(*id, Extent{start + qint64(from), qint64(to - from)});
            }
            if (!check || (construction == 2 && *reference == 0))
                continue;
            if (!fits)
                return false;
            for (const Span& d : described) {
                if (construction == 0 && from < d.to && to > d.from)
                    return false;
            }
        }
    }
    return located == wanted;
}

// The most significant bit first, as codecs write their parameters; every read is checked.
class Bits {
public:
    explicit Bits(QByteArray data) : data_(std::move(data)) {}

    std::optional<quint32> read(int n) {
        quint32 v = 0;
        for (int i = 0; i < n; ++i, ++at_) {
            if (at_ >= data_.size() * 8)
                return std::nullopt;
            v = v << 1 | ((quint8(data_[at_ / 8]) >> (7 - at_ % 8)) & 1);
        }
        return v;
    }
    bool skip(qint64 n) {
        at_ += n;
        return at_ <= data_.size() * 8;
    }
    // Exponential-Golomb, as HEVC codes its sizes.
    std::optional<quint32> readUe() {
        int zeros = 0;
        for (std::optional<quint32> bit; (bit = read(1)) != 1u;) {
            if (!bit || ++zeros > 31)
                return std::nullopt;
        }
        const auto rest = read(zeros);
        if (!rest)
            return std::nullopt;
        return quint32((quint64(1) << zeros) - 1 + *rest);
    }

private:
    QByteArray data_;
    qint64 at_ = 0;
};

// A picture's width and height in pixels.
struct Size {
    qint64 width = 0;
    qint64 height = 0;
    bool operator==(const Size&) const = default;
};

// The luma size of an HEVC sequence parameter set less its conformance window: what libde265
// hands on.
std::optional<Size> hevcSpsSize(const QByteArray& nal) {
    // Emulation prevention: a 3 after two zero bytes is not part of the parameters.
    QByteArray rbsp;
    rbsp.reserve(nal.size());
    int zeros = 0;
    for (char c : nal) {
        if (zeros >= 2 && c == 3) {
            zeros = 0;
            continue;
        }
        zeros = c == 0 ? zeros + 1 : 0;
        rbsp += c;
    }
    Bits bits(rbsp);
    // NAL header, parameter set IDs, then the profile, tier and level of every sub-layer.
    const auto subLayers = bits.skip(16 + 4) ? bits.read(3) : std::nullopt;
    if (!subLayers || !bits.skip(1 + 96))
        return std::nullopt;
    std::array<bool, 8> profile{}, level{};
    for (quint32 i = 0; i < *subLayers; ++i) {
        const auto p = bits.read(1), l = bits.read(1);
        if (!p || !l)
            return std::nullopt;
        profile[i] = *p, level[i] = *l;
    }
    if (*subLayers > 0 && !bits.skip(2 * (8 - qint64(*subLayers))))
        return std::nullopt;
    for (quint32 i = 0; i < *subLayers; ++i) {
        if (!bits.skip((profile[i] ? 88 : 0) + (level[i] ? 8 : 0)))
            return std::nullopt;
    }
    const auto id = bits.readUe();
    const auto chroma = bits.readUe();
    if (!id || !chroma || *chroma > 3)
        return std::nullopt;
    const auto separate = *chroma == 3 ? bits.read(1) : std::optional<quint32>(0);
    const auto width = bits.readUe();
    const auto height = bits.readUe();
    const auto window = bits.read(1);
    if (!separate || !width || !height || !window)
        return std::nullopt;
    Size size{*width, *height};
    if (*window) {
        // Offsets count chroma samples.
        const qint64 unitX = (*chroma == 1 || *chroma == 2) && !*separate ? 2 : 1;
        const qint64 unitY = *chroma == 1 && !*separate ? 2 : 1;
        std::array<qint64, 4> offsets{};
        for (qint64& o : offsets) {
            const auto v = bits.readUe();
            if (!v)
                return std::nullopt;
            o = *v;
        }
        size.width -= unitX * (offsets[0] + offsets[1]);
        size.height -= unitY * (offsets[2] + offsets[3]);
    }
    if (size.width <= 0 || size.height <= 0)
        return std::nullopt;
    return size;
}

// The SPS among the parameter sets of an hvcC box.
std::optional<Size> hevcSize(const ByteSource& bytes, const Box& hvcC) {
    qint64 at = hvcC.start + 22;
    const auto arrays = bytes.readU8(at++);
    if (!arrays)
        return std::nullopt;
    for (int a = 0; a < *arrays; ++a) {
        const auto type = bytes.readU8(at);
        const auto count = bytes.readU16Be(at + 1);
        at += 3;
        if (!type || !count)
            return std::nullopt;
        for (int k = 0; k < *count; ++k) {
            const auto length = bytes.readU16Be(at);
            if (!length || at + 2 + *length > hvcC.end)
                return std::nullopt;
            if ((*type & 0x3F) == 33)
                return hevcSpsSize(bytes.read(at + 2, *length));
            at += 2 + *length;
        }
    }
    return std::nullopt;
}

// The largest frame of an AV1 sequence header, which a still picture fills.
std::optional<Size> av1SequenceSize(const QByteArray& obu) {
    Bits bits(obu);
    const auto profile = bits.read(3);
    const auto still = bits.read(1);
    const auto reduced = bits.read(1);
    if (!profile || !still || !reduced)
        return std::nullopt;
    if (*reduced) {
        if (!bits.skip(5))
            return std::nullopt;
    } else {
        const auto timing = bits.read(1);
        if (!timing)
            return std::nullopt;
        std::optional<quint32> decoderModel = 0, delayLength = 0;
        if (*timing) {
            const auto equalIntervals = bits.skip(64) ? bits.read(1) : std::nullopt;
            if (!equalIntervals)
                return std::nullopt;
            if (*equalIntervals) {
                // uvlc: leading zeros, a one, then as many bits.
                int zeros = 0;
                for (std::optional<quint32> bit; (bit = bits.read(1)) != 1u;) {
                    if (!bit || ++zeros > 32)
                        return std::nullopt;
                }
                if (!bits.skip(zeros))
                    return std::nullopt;
            }
            decoderModel = bits.read(1);
            if (decoderModel && *decoderModel) {
                delayLength = bits.read(5);
                if (!delayLength || !bits.skip(32 + 5 + 5))
                    return std::nullopt;
            }
        }
        const auto displayDelay = bits.read(1);
        const auto points = bits.read(5);
        if (!decoderModel || !displayDelay || !points)
            return std::nullopt;
        for (quint32 i = 0; i <= *points; ++i) {
            const auto level = bits.skip(12) ? bits.read(5) : std::nullopt;
            if (!level || (*level > 7 && !bits.skip(1)))
                return std::nullopt;
            if (*decoderModel) {
                const auto present = bits.read(1);
                if (!present || (*present && !bits.skip(2 * (qint64(*delayLength) + 1) + 1)))
                    return std::nullopt;
            }
            if (*displayDelay) {
                const auto present = bits.read(1);
                if (!present || (*present && !bits.skip(4)))
                    return std::nullopt;
            }
        }
    }
    const auto widthBits = bits.read(4);
    const auto heightBits = bits.read(4);
    const auto width = widthBits ? bits.read(int(*widthBits) + 1) : std::nullopt;
    const auto height = heightBits ? bits.read(int(*heightBits) + 1) : std::nullopt;
    if (!width || !height)
        return std::nullopt;
    return Size{qint64(*width) + 1, qint64(*height) + 1};
}

// The sequence header among the OBUs that open an AV1 stream (or fill an av1C box), before
// its first frame; empty without one.
std::optional<Size> av1Size(const QByteArray& obus) {
    const ByteSource bytes{QByteArrayView(obus)};
    for (qint64 at = 0; at < bytes.size();) {
        const auto header = bytes.readU8(at);
        if (!header)
            return std::nullopt;
        const int type = (*header >> 3) & 15;
        at += (*header & 4) ? 2 : 1;
        qint64 length = bytes.size() - at;
        if (*header & 2) {
            length = 0;
            for (int k = 0;; ++k) {
                const auto b = bytes.readU8(at++);
                if (!b || k == 8)
                    return std::nullopt;
                length |= qint64(*b & 0x7F) << (7 * k);
                if (!(*b & 0x80))
                    break;
            }
        }
        if (!bytes.has(at, length))
            return std::nullopt;
        if (type == 1)
            return av1SequenceSize(bytes.read(at, length));
        if (type == 3 || type == 6)
            return std::nullopt; // a frame, and no sequence header before it
        at += length;
    }
    return std::nullopt;
}

// Which properties name an alpha plane, each read once: a plane's associations may list the
// same property many times, far from the others.
std::vector<bool> alphaProperties(const ByteSource& bytes, const std::vector<Box>& properties) {
    static const std::array<QByteArray, 2> alphaTypes = {
        QByteArrayLiteral("urn:mpeg:hevc:2015:auxid:1"),
        QByteArrayLiteral("urn:mpeg:mpegB:cicp:systems:auxiliary:alpha")};
    std::vector<bool> alpha(properties.size() + 1, false);
    for (std::size_t i = 0; i < properties.size(); ++i) {
        const Box& p = properties[i];
        if (p.type != fourcc("auxC"))
            continue;
        const qint64 length = std::min<qint64>(p.end - p.start - 4, 64);
        const QByteArray name = bytes.read(p.start + 4, std::max<qint64>(length, 0));
        const QByteArray type = name.left(name.indexOf('\0'));
        alpha[i + 1] = std::find(alphaTypes.begin(), alphaTypes.end(), type) != alphaTypes.end();
    }
    return alpha;
}

// The first property of a type among an item's.
const Box* propertyOf(const std::vector<Box>& properties, const QList<int>& indexes, quint32 type) {
    for (int index : indexes) {
        if (index >= 1 && std::size_t(index) <= properties.size() &&
            properties[std::size_t(index) - 1].type == type)
            return &properties[std::size_t(index) - 1];
    }
    return nullptr;
}

// The one size an item's ispe properties declare; empty when it has none, declares 0, or
// declares two that differ.
std::optional<Size> declaredSize(const ByteSource& bytes, const std::vector<Box>& properties,
                                 const QList<int>& indexes) {
    std::optional<Size> declared;
    for (int index : indexes) {
        if (index < 1 || std::size_t(index) > properties.size())
            continue;
        const Box& p = properties[std::size_t(index) - 1];
        if (p.type != fourcc("ispe"))
            continue;
        const auto w = bytes.readU32Be(p.start + 4);
        const auto h = bytes.readU32Be(p.start + 8);
        if (!w || !h || *w == 0 || *h == 0 || p.start + 12 > p.end)
            return std::nullopt;
        const Size size{*w, *h};
        if (declared && *declared != size)
            return std::nullopt;
        declared = size;
    }
    return declared;
}

using Wide = __int128;

Wide floorDiv(Wide n, Wide d) {
    const Wide q = n / d;
    return q * d != n && (n < 0) != (d < 0) ? q - 1 : q;
}

// The pixels [first, last] of a row of `extent` that a clean aperture keeps: `n / d` of them,
// centred on the middle moved by `offN / offD`, rounded to whole pixels and kept inside.
std::optional<qint64> aperture(qint64 extent, qint64 n, qint64 d, qint64 offN, qint64 offD) {
    if (d == 0 || offD == 0)
        return std::nullopt;
    // first = off + (extent - 1) / 2 - (n / d - 1) / 2, rounded down.
    const Wide first = floorDiv(
        Wide(offN) * 2 * d + Wide(extent - 1) * d * offD - Wide(n - d) * offD, Wide(2) * d * offD);
    const Wide kept = floorDiv(Wide(2) * n + d, Wide(2) * d);
    const Wide last = std::min<Wide>(first + kept - 1, extent - 1);
    const Wide count = last - std::max<Wide>(first, 0) + 1;
    if (count <= 0)
        return std::nullopt;
    return qint64(count);
}

// The picture an item decodes to, as libheif decodes it: its size and how its irot and imir
// properties turned it.
struct Shape {
    Size size;
    Turn turn;
};

// The item's clap, irot and imir properties applied to its picture in the order they are listed.
bool transform(const ByteSource& bytes, const std::vector<Box>& properties,
               const QList<int>& indexes, Shape& shape) {
    for (int index : indexes) {
        if (index == 0)
            continue; // no property
        if (std::size_t(index) > properties.size())
            return false;
        const Box& p = properties[std::size_t(index) - 1];
        if (p.type == fourcc("irot")) {
            const auto angle = bytes.readU8(p.start);
            if (!angle)
                return false;
            // Anticlockwise quarter turns.
            shape.turn.rotateClockwise(4 - (*angle & 3));
            if (*angle & 1)
                std::swap(shape.size.width, shape.size.height);
        } else if (p.type == fourcc("imir")) {
            const auto axis = bytes.readU8(p.start);
            if (!axis)
                return false;
            // 0 exchanges top and bottom, 1 left and right.
            shape.turn.mirror((*axis & 1) == 0);
        } else if (p.type == fourcc("clap")) {
            // Width, height, then the horizontal and vertical offsets (signed), each as a
            // numerator and a denominator.
            std::array<qint64, 8> v{};
            for (std::size_t i = 0; i < v.size(); ++i) {
                const auto field = bytes.readU32Be(p.start + 4 * qint64(i));
                if (!field || p.start + 32 > p.end)
                    return false;
                v[i] = i == 4 || i == 6 ? qint64(qint32(*field)) : qint64(*field);
            }
            const auto width = aperture(shape.size.width, v[0], v[1], v[4], v[5]);
            const auto height = aperture(shape.size.height, v[2], v[3], v[6], v[7]);
            if (!width || !height)
                return false;
            shape.size = {*width, *height};
        }
    }
    return true;
}

// What the meta box holds for a measurement, beside the items.
struct Meta {
    const ByteSource& bytes;
    const std::vector<Box>& properties;
    const Items& items;
    const QHash<quint32, Extent>& extents;

    // Up to max bytes of an item's data from its first extent.
    QByteArray data(quint32 id, qint64 max) const {
        const Extent e = extents.value(id, Extent{0, -1});
        return e.length < 0 ? QByteArray() : bytes.read(e.at, qMin(e.length, max));
    }

    // The size of the pictures an item's coded data decode to, from its codec's parameters: an
    // HEVC SPS, an AV1 sequence header (or the ispe where AV1 has none at hand), the output of
    // a grid or overlay.
    std::optional<Size> codedSize(quint32 id) const {
        const quint32 type = items.types.value(id);
        const QList<int> indexes = items.properties.value(id);
        if (type == fourcc("hvc1")) {
            const Box* hvcC = propertyOf(properties, indexes, fourcc("hvcC"));
            return hvcC ? hevcSize(bytes, *hvcC) : std::nullopt;
        }
        if (type == fourcc("av01")) {
            const Box* av1C = propertyOf(properties, indexes, fourcc("av1C"));
            constexpr qint64 kHeaders = 4096;
            if (av1C && av1C->end - av1C->start > 4) {
                if (const auto size = av1Size(
                        bytes.read(av1C->start + 4, qMin(av1C->end - av1C->start - 4, kHeaders))))
                    return size;
            }
            if (const auto size = av1Size(data(id, kHeaders)))
                return size;
            return declaredSize(bytes, properties, indexes);
        }
        // Version, flags (bit 0: 32-bit sizes), then for a grid its rows and columns, for an
        // overlay four 16-bit fill values; then the output width and height.
        const bool grid = type == fourcc("grid");
        if (!grid && type != fourcc("iovl"))
            return std::nullopt;
        const QByteArray d = data(id, 20);
        const ByteSource header{QByteArrayView(d)};
        const auto flags = header.readU8(1);
        if (header.readU8(0) != 0 || !flags)
            return std::nullopt;
        const qint64 at = grid ? 4 : 10;
        const bool wide = *flags & 1;
        const auto w = readField(header, at, wide ? 4 : 2);
        const auto h = readField(header, at + (wide ? 4 : 2), wide ? 4 : 2);
        if (!w || !h || *w == 0 || *h == 0)
            return std::nullopt;
        return Size{qint64(*w), qint64(*h)};
    }

    // An identity is the picture it names, turned again.
    std::optional<Shape> shape(quint32 id, bool identityAllowed = true) const {
        Shape shape;
        if (items.types.value(id) == fourcc("iden")) {
            if (!identityAllowed || items.derivedFrom.size() != 1)
                return std::nullopt;
            const auto source = this->shape(items.derivedFrom.front(), false);
            if (!source)
                return std::nullopt;
            shape = *source;
        } else if (const auto size = codedSize(id)) {
            shape.size = *size;
        } else {
            return std::nullopt;
        }
        if (!transform(bytes, properties, items.properties.value(id), shape))
            return std::nullopt;
        return shape;
    }
};

} // namespace

std::optional<PictureFormat> heifFamily(const ByteSource& bytes) {
    const auto ftyp = boxAt(bytes, 0, bytes.size());
    if (!ftyp || ftyp->type != fourcc("ftyp"))
        return std::nullopt;
    const auto major = bytes.readU32Be(ftyp->start);
    if (!major || ftyp->end - ftyp->start < 8)
        return std::nullopt;
    static constexpr std::array<quint32, 6> hevcBrands = {fourcc("heic"), fourcc("heix"),
                                                          fourcc("heim"), fourcc("heis"),
                                                          fourcc("hevc"), fourcc("hevx")};
    if (std::find(hevcBrands.begin(), hevcBrands.end(), *major) != hevcBrands.end())
        return PictureFormat::Heic;
    if (*major == fourcc("avif") || *major == fourcc("avis"))
        return PictureFormat::Avif;
    if (*major == fourcc("mif1") || *major == fourcc("msf1"))
        return PictureFormat::Heif;
    return std::nullopt;
}

bool heifIsWhole(const ByteSource& bytes) {
    qint64 at = 0;
    for (std::size_t n = 0; n < kMaxChildren && at < bytes.size(); ++n) {
        const auto size = bytes.readU32Be(at);
        const auto large = size == 1u ? bytes.readU64Be(at + 8) : std::optional<quint64>(size);
        if (!size || !large)
            return false;
        // Size 0 runs to the end of the file; a box smaller than its header is damaged, not cut.
        if (*large < 8)
            return true;
        if (*large > quint64(bytes.size() - at))
            return false;
        at += qint64(*large);
    }
    return true;
}

std::optional<HeifPicture> readHeif(const ByteSource& bytes) {
    // At the top, whatever follows the meta box is looked at only through its locations.
    std::optional<Box> meta;
    qint64 at = 0;
    for (std::size_t n = 0; n < kMaxChildren; ++n, at = meta->end) {
        meta = boxAt(bytes, at, bytes.size());
        if (!meta || meta->type == fourcc("meta"))
            break;
    }
    const bool found = meta && meta->type == fourcc("meta");
    const auto boxes = found ? children(bytes, meta->start + 4, meta->end) : std::nullopt;
    if (!boxes)
        return std::nullopt;
    const Box* hdlr = find(*boxes, fourcc("hdlr"));
    const Box* pitm = find(*boxes, fourcc("pitm"));
    const Box* iinf = find(*boxes, fourcc("iinf"));
    const Box* iloc = find(*boxes, fourcc("iloc"));
    const Box* iprp = find(*boxes, fourcc("iprp"));
    if (!hdlr || !pitm || !iinf || !iloc || !iprp ||
        bytes.readU32Be(hdlr->start + 8) != fourcc("pict"))
        return std::nullopt;

    Items items;
    const auto pitmVersion = bytes.readU8(pitm->start);
    const auto primary =
        pitmVersion ? readId(bytes, pitm->start + 4, *pitmVersion != 0) : std::nullopt;
    if (!primary)
        return std::nullopt;
    items.primary = *primary;
    const Box* iref = find(*boxes, fourcc("iref"));
    if (!readItemTypes(bytes, *iinf, items) || (iref && !readReferences(bytes, *iref, items)))
        return std::nullopt;
    items.wanted = items.auxiliaries;
    items.wanted << items.primary;
    if (items.types.value(items.primary) == fourcc("iden") && items.derivedFrom.size() == 1)
        items.wanted << items.derivedFrom.front();

    const auto container = children(bytes, iprp->start, iprp->end);
    const Box* ipco = container ? find(*container, fourcc("ipco")) : nullptr;
    const auto properties = ipco ? children(bytes, ipco->start, ipco->end) : std::nullopt;
    if (!properties)
        return std::nullopt;
    for (const Box& box : *container) {
        if (box.type == fourcc("ipma") && !readAssociations(bytes, box, items))
            return std::nullopt;
    }

    // The coded data the picture is decoded from must all be there.
    const quint32 type = items.types.value(items.primary);
    QSet<quint32> coded;
    if (isCoded(type)) {
        coded << items.primary;
    } else if (isDerived(type) && !items.derivedFrom.isEmpty()) {
        for (quint32 id : items.derivedFrom) {
            if (!isCoded(items.types.value(id)))
                return std::nullopt;
            coded << id;
        }
    } else {
        return std::nullopt;
    }
    const auto ftyp = boxAt(bytes, 0, bytes.size());
    const std::array<Span, 2> described = {Span{0, ftyp ? quint64(ftyp->end) : 0},
                                           Span{quint64(meta->start), quint64(meta->end)}};
    QSet<quint32> noted = items.wanted;
    if (items.exif != 0)
        noted << items.exif;
    QHash<quint32, Extent> extents;
    if (!locate(bytes, *iloc, find(*boxes, fourcc("idat")), described, coded, noted, extents))
        return std::nullopt;

    // The shape is the decoded picture's, whatever order the properties come in and whatever
    // the ispe says; an ispe must be there all the same, and say one thing.
    const Meta heif{bytes, *properties, items, extents};
    const auto shape = heif.shape(items.primary);
    if (!shape || !declaredSize(bytes, *properties, items.properties.value(items.primary)))
        return std::nullopt;
    HeifPicture picture;
    picture.orientation = shape->turn.exifOrientation();
    picture.width = shape->size.width;
    picture.height = shape->size.height;
    // The size above is the one shown; hand it on as stored.
    if (picture.orientation >= 5)
        std::swap(picture.width, picture.height);
    if (const auto exif = extents.find(items.exif); exif != extents.end()) {
        // The TIFF header lies past an offset of 4 bytes that says how far.
        const auto skip = bytes.readU32Be(exif->at);
        if (skip && *skip <= quint64(exif->length) - 4) {
            picture.exifAt = exif->at + 4 + *skip;
            picture.exifLength = exif->length - 4 - *skip;
        }
    }
    const std::vector<bool> alpha = alphaProperties(bytes, *properties);
    for (quint32 id : items.auxiliaries) {
        for (int index : items.properties.value(id)) {
            if (index >= 1 && std::size_t(index) < alpha.size() && alpha[std::size_t(index)])
                picture.alpha = true;
        }
    }
    return picture;
}

} // namespace slidemill
