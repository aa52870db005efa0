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
    // The property indexes (from 1) associated with the primary item and the auxiliaries.
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
        const bool wanted = *id == items.primary || items.auxiliaries.contains(*id);
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

// Whether the coded data of every item in `wanted` lies inside the file (or the idat box), and
// every one of them has a location. Coded data in the file never lies in the boxes that
// describe it (`described`: the ftyp and meta boxes).
bool dataInside(const ByteSource& bytes, const Box& iloc, const Box* idat,
                const std::array<Span, 2>& described, const QSet<quint32>& wanted) {
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
            if (!check)
                continue;
            // Data in another file is not this picture's.
            if (*reference != 0)
                return false;
            // In the file (0) or in the idat box (1); 2 points into another item.
            const int construction = *method & 15;
            if (construction == 2)
                continue;
            if (construction > 2 || (construction == 1 && !idat))
                return false;
            const quint64 space =
                construction == 0 ? quint64(bytes.size()) : quint64(idat->end - idat->start);
            // Length 0 runs to the end.
            if (*base > space || *offset > space - *base || *length > space - *base - *offset)
                return false;
            const quint64 from = *base + *offset;
            const quint64 to = *length == 0 ? space : from + *length;
            for (const Span& d : described) {
                if (construction == 0 && from < d.to && to > d.from)
                    return false;
            }
        }
    }
    return located == wanted;
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
    if (!dataInside(bytes, *iloc, find(*boxes, fourcc("idat")), described, coded))
        return std::nullopt;

    HeifPicture picture;
    Turn turn;
    bool sized = false;
    for (int index : items.properties.value(items.primary)) {
        if (index == 0)
            continue; // no property
        if (std::size_t(index) > properties->size())
            return std::nullopt;
        const Box& p = (*properties)[std::size_t(index) - 1];
        if (p.type == fourcc("ispe")) {
            const auto w = bytes.readU32Be(p.start + 4);
            const auto h = bytes.readU32Be(p.start + 8);
            if (!w || !h || *w == 0 || *h == 0 || p.start + 12 > p.end)
                return std::nullopt;
            picture.width = *w;
            picture.height = *h;
            sized = true;
        } else if (p.type == fourcc("irot")) {
            const auto angle = bytes.readU8(p.start);
            if (!angle)
                return std::nullopt;
            // Anticlockwise quarter turns.
            turn.rotateClockwise(4 - (*angle & 3));
            if (sized && (*angle & 1))
                std::swap(picture.width, picture.height);
        } else if (p.type == fourcc("imir")) {
            const auto axis = bytes.readU8(p.start);
            if (!axis)
                return std::nullopt;
            // 0 exchanges top and bottom, 1 left and right.
            turn.mirror((*axis & 1) == 0);
        }
    }
    if (!sized)
        return std::nullopt;
    picture.orientation = turn.exifOrientation();
    // The size above is the one shown; hand it on as stored.
    if (picture.orientation >= 5)
        std::swap(picture.width, picture.height);
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
