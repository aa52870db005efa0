#include "host/pdfwriter.h"

#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "host/pptx/orientation.h"
#include "host/pptx/savefile.h"
#include "host/pptx/units.h"
#include "pictures/cores.h"
#include "pictures/measuredfile.h"
#include "pictures/picturemaker.h"
#include "pictures/picturepool.h"
#include "slides/builds.h"
#include "slides/pictureformats.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <fontconfig/fontconfig.h>
#include <future>
#include <libdeflate.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <unistd.h>

namespace slidemill {

namespace {

using pictures::MadePicture;
using pictures::MeasuredFile;

// Text frames' insets, as a new text box and the title layout's placeholders have them.
constexpr double kInsetX = 7.2;
constexpr double kInsetY = 3.6;
constexpr int kDeflateLevel = 6;

QByteArray zlibCompress(const char* data, std::size_t size) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(kDeflateLevel);
    if (!c)
        throw RuntimeError(errOutOfMemory);
    QByteArray out;
    out.resize(qsizetype(libdeflate_zlib_compress_bound(c, size)));
    const std::size_t n =
        libdeflate_zlib_compress(c, data, size, out.data(), std::size_t(out.size()));
    libdeflate_free_compressor(c);
    out.resize(qsizetype(n));
    return out;
}

QByteArray zlibCompress(const QByteArray& bytes) {
    return zlibCompress(bytes.constData(), std::size_t(bytes.size()));
}

// A number as PDF writes one: no exponent, at most 4 decimals, no trailing zeros.
QByteArray num(double value) {
    if (!std::isfinite(value) || std::fabs(value) < 0.00005)
        return QByteArrayLiteral("0");
    QByteArray s = QByteArray::number(value, 'f', 4);
    while (s.endsWith('0'))
        s.chop(1);
    if (s.endsWith('.'))
        s.chop(1);
    return s;
}

QByteArray colour(std::uint32_t rgb, const char* op) {
    return num(((rgb >> 16) & 0xFF) / 255.0) + ' ' + num(((rgb >> 8) & 0xFF) / 255.0) + ' ' +
           num((rgb & 0xFF) / 255.0) + ' ' + op + '\n';
}

QByteArray utf16Hex(const QString& text) {
    QByteArray out = "<FEFF";
    for (const QChar c : text)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return out + '>';
}

// ---- Pictures ----

// What a JPEG's frame header says.
struct JpegFrame {
    int width = 0, height = 0, components = 0, precision = 0;
    bool adobe = false;
};

std::optional<JpegFrame> jpegFrame(const QByteArray& jpeg) {
    const auto* p = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return std::nullopt;
    JpegFrame frame;
    qsizetype i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF)
            return std::nullopt;
        const unsigned char marker = p[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        const int length = (p[i + 2] << 8) | p[i + 3];
        if (length < 2 || i + 2 + length > n)
            return std::nullopt;
        const unsigned char* body = p + i + 4;
        if (marker == 0xEE && length >= 7 && std::memcmp(body, "Adobe", 5) == 0)
            frame.adobe = true;
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (length < 8)
                return std::nullopt;
            frame.precision = body[0];
            frame.height = (body[1] << 8) | body[2];
            frame.width = (body[3] << 8) | body[4];
            frame.components = body[5];
            // Arithmetic coding and lossless frames are beyond what every reader takes.
            if (marker >= 0xC3)
                return std::nullopt;
            if (frame.precision != 8 || frame.width == 0 || frame.height == 0 ||
                (frame.components != 1 && frame.components != 3 && frame.components != 4))
                return std::nullopt;
            return frame;
        }
        if (marker == 0xDA || marker == 0xD9)
            return std::nullopt;
        i += 2 + length;
    }
    return std::nullopt;
}

// One picture as the PDF stores it.
struct StoredImage {
    // Neither: nothing the PDF can show (WMF, EMF): the picture's line alone is drawn.
    QByteArray data;
    // A JPEG kept as it is, copied from its file as the PDF is written.
    std::shared_ptr<const MeasuredFile> file;
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

// A PNG whose compressed rows PDF reads as they are (not interlaced, no transparency, grey or
// palette or 8-bit RGB): its rows, not decoded; none otherwise.
std::optional<StoredImage> pngImage(const QByteArray& png, bool grey, int orientation) {
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return std::nullopt;
    StoredImage image;
    image.orientation = orientation;
    int colourType = -1;
    QByteArray palette;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qint64 length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (length > png.size() - at - 12)
            return std::nullopt;
        const char* data = png.constData() + at + 8;
        if (type == "IHDR" && length >= 13) {
            image.width = int(qFromBigEndian<quint32>(data));
            image.height = int(qFromBigEndian<quint32>(data + 4));
            image.bits = quint8(data[8]);
            colourType = quint8(data[9]);
            // Compression, filter method and interlacing.
            if (data[10] || data[11] || data[12])
                return std::nullopt;
        } else if (type == "PLTE") {
            palette = QByteArray(data, qsizetype(length));
        } else if (type == "tRNS") {
            return std::nullopt;
        } else if (type == "IDAT") {
            image.data.append(data, qsizetype(length));
        } else if (type == "IEND") {
            break;
        }
        at += 12 + qsizetype(length);
    }
    const bool lowBits = image.bits == 1 || image.bits == 2 || image.bits == 4 || image.bits == 8;
    if (colourType == 0 && lowBits) {
        image.components = 1;
        image.colourSpace = "/DeviceGray";
    } else if (colourType == 2 && image.bits == 8 && !grey) {
        image.components = 3;
        image.colourSpace = "/DeviceRGB";
    } else if (colourType == 3 && lowBits && !grey && !palette.isEmpty() &&
               palette.size() % 3 == 0) {
        image.components = 1;
        image.colourSpace = "[/Indexed/DeviceRGB " + QByteArray::number(palette.size() / 3 - 1) +
                            '<' + palette.toHex() + ">]";
    } else {
        return std::nullopt;
    }
    if (image.width <= 0 || image.height <= 0 || image.data.isEmpty())
        return std::nullopt;
    image.decodeParms = "<</Predictor 15/Colors " +
                        QByteArray::number(image.components == 3 ? 3 : 1) + "/BitsPerComponent " +
                        QByteArray::number(image.bits) + "/Columns " +
                        QByteArray::number(image.width) + ">>";
    return image;
}

// `size` bytes of the picture's file from `at`.
QByteArray readAt(const MeasuredFile& file, qint64 at, qint64 size) {
    QByteArray bytes;
    bytes.resize(qsizetype(size));
    qint64 done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(file.fd(), bytes.data() + done, std::size_t(size - done), at + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failRead(errno, file.path());
        if (n == 0)
            pictureChanged(file.path());
        done += n;
    }
    return bytes;
}

// The picture's file, still the one measured, with the orientation it was measured with.
std::shared_ptr<const MeasuredFile> openMeasured(const Picture& picture) {
    auto file = std::make_shared<const MeasuredFile>(picture.path, picture.file);
    if (picture.orientationOffset >= 0) {
        char field[2];
        if (::pread(file->fd(), field, 2, picture.orientationOffset) != 2 ||
            int(picture.orientationBigEndian
                    ? qFromBigEndian<quint16>(field)
                    : qFromLittleEndian<quint16>(field)) != picture.orientation)
            pictureChanged(picture.path);
    }
    return file;
}

StoredImage dctImage(QByteArray bytes, const JpegFrame& frame, int orientation) {
    StoredImage image;
    image.data = std::move(bytes);
    image.dct = true;
    image.components = frame.components;
    image.invertCmyk = frame.components == 4 && frame.adobe;
    image.width = frame.width;
    image.height = frame.height;
    image.orientation = orientation;
    return image;
}

QImage decode(const QByteArray& bytes, const QString& path) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The placement turns it, as it turns a JPEG kept as it is.
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(
            errInvalidPicture,
            QStringLiteral("the picture cannot be decoded: %1").arg(reader.errorString()), path);
    return image;
}

// Rows of `image` (8-bit grey or RGB) end to end, compressed.
QByteArray packedRows(const QImage& image, int bytesPerPixel) {
    const int row = image.width() * bytesPerPixel;
    QByteArray packed;
    packed.resize(qsizetype(row) * image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(packed.data() + qsizetype(y) * row, image.constScanLine(y), std::size_t(row));
    return zlibCompress(packed);
}

StoredImage flateImage(const QImage& decoded, bool grey, int orientation) {
    StoredImage image;
    image.width = decoded.width();
    image.height = decoded.height();
    image.orientation = orientation;
    image.components = grey ? 1 : 3;
    image.data = grey ? packedRows(decoded.convertToFormat(QImage::Format_Grayscale8), 1)
                      : packedRows(decoded.convertToFormat(QImage::Format_RGB888), 3);
    if (decoded.hasAlphaChannel()) {
        const QImage alpha = decoded.convertToFormat(QImage::Format_Alpha8);
        bool opaque = true;
        for (int y = 0; y < alpha.height() && opaque; ++y) {
            const uchar* line = alpha.constScanLine(y);
            for (int x = 0; x < alpha.width(); ++x)
                if (line[x] != 0xFF) {
                    opaque = false;
                    break;
                }
        }
        if (!opaque)
            image.alpha = packedRows(alpha, 1);
    }
    return image;
}

// The picture as the .pptx stores it at `shown` pixels (the same copy where one is made), in
// greys when asked: a JPEG in greys is made one anew, as the deck's greys effect cannot be had.
StoredImage storedImage(const Picture& picture, QSize shown, bool grey) {
    MadePicture made;
    if (pictures::mustMake(picture, shown))
        made = pictures::makePicture(picture, shown);
    const bool kept = made.bytes.isEmpty();
    const PictureFormat format = kept ? picture.format : made.format;
    if (format == PictureFormat::Wmf || format == PictureFormat::Emf)
        return {};
    const int orientation =
        kept && formatRow(picture.format).storage == Storage::AsIs ? picture.orientation : 1;
    QByteArray bytes = std::move(made.bytes);
    if (kept) {
        const std::shared_ptr<const MeasuredFile> file = openMeasured(picture);
        const qint64 size = file->identity().size;
        // A JPEG kept goes in from its file: only as much is read as holds its frame header.
        for (qint64 n = std::min<qint64>(size, 1 << 16);; n = std::min(size, n * 4)) {
            bytes = readAt(*file, 0, n);
            if (format != PictureFormat::Jpeg || grey || n == size)
                break;
            if (const std::optional<JpegFrame> frame = jpegFrame(bytes)) {
                StoredImage image = dctImage({}, *frame, orientation);
                image.file = file;
                return image;
            }
        }
        if (format != PictureFormat::Jpeg || grey)
            bytes = readAt(*file, 0, size);
        file->checkUnchanged();
    }
    if (format == PictureFormat::Jpeg && !grey)
        if (const std::optional<JpegFrame> frame = jpegFrame(bytes))
            return dctImage(std::move(bytes), *frame, orientation);
    if (format == PictureFormat::Png)
        if (std::optional<StoredImage> image = pngImage(bytes, grey, orientation))
            return std::move(*image);
    const QImage decoded = decode(bytes, picture.path);
    if (grey && format == PictureFormat::Jpeg) {
        QByteArray jpeg;
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(pictures::kMadeJpegQuality);
        if (writer.write(decoded.convertToFormat(QImage::Format_Grayscale8)))
            if (const std::optional<JpegFrame> frame = jpegFrame(jpeg))
                return dctImage(std::move(jpeg), *frame, orientation);
    }
    return flateImage(decoded, grey, orientation);
}

// Maps the unit square of a picture stored in `orientation` onto the upright `frame`
// (PDF coordinates, y up): as s, t (upright, right and down) of the stored a, b.
QByteArray placement(const QRectF& frame, double pageHeight, int orientation) {
    // s = s0 + sa a + sb b, t = t0 + ta a + tb b
    double s0 = 0, sa = 1, sb = 0, t0 = 0, ta = 0, tb = 1;
    switch (orientation) {
    case 2:
        s0 = 1, sa = -1;
        break;
    case 3:
        s0 = 1, sa = -1, t0 = 1, tb = -1;
        break;
    case 4:
        t0 = 1, tb = -1;
        break;
    case 5:
        sa = 0, sb = 1, ta = 1, tb = 0;
        break;
    case 6:
        s0 = 1, sa = 0, sb = -1, ta = 1, tb = 0;
        break;
    case 7:
        s0 = 1, sa = 0, sb = -1, t0 = 1, ta = -1, tb = 0;
        break;
    case 8:
        sa = 0, sb = 1, t0 = 1, ta = -1, tb = 0;
        break;
    default:
        break;
    }
    const double fw = frame.width(), fh = frame.height();
    const double top = pageHeight - frame.top();
    return num(fw * sa) + ' ' + num(-fh * ta) + ' ' + num(-fw * sb) + ' ' + num(fh * tb) + ' ' +
           num(frame.left() + fw * (s0 + sb)) + ' ' + num(top - fh * (t0 + tb)) + " cm\n";
}

// ---- Fonts ----

struct FontFace {
    QString file;
    QString family;
};

FontFace matchFont(const char* family) {
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    FontFace face;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    if (!pattern)
        return face;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* file = nullptr;
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
            face.file = QString::fromUtf8(reinterpret_cast<const char*>(file));
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
            face.family = QString::fromUtf8(reinterpret_cast<const char*>(name));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return face;
}

// A TrueType font's tables, read as the PDF needs them: without a font database, which a
// process with no GUI has not.
class Sfnt {
public:
    // False when `data` is no TrueType font.
    bool load(const QByteArray& data) {
        data_ = data;
        if (u32(0) != 0x00010000 && u32(0) != 0x74727565)
            return false;
        const int tables = u16(4);
        for (int i = 0; i < tables; ++i) {
            const qsizetype record = 12 + 16 * qsizetype(i);
            if (record + 16 > data_.size())
                return false;
            const QByteArray tag = data_.mid(record, 4);
            const quint32 offset = u32(record + 8), length = u32(record + 12);
            if (qint64(offset) + length > data_.size())
                return false;
            tables_.emplace(tag, std::pair<qsizetype, qsizetype>{offset, length});
        }
        const qsizetype head = table("head", 54), hhea = table("hhea", 36);
        hmtx_ = table("hmtx", 4);
        if (head < 0 || hhea < 0 || hmtx_ < 0 || table("glyf", 0) < 0)
            return false;
        unitsPerEm = u16(head + 18);
        for (int i = 0; i < 4; ++i)
            box[i] = qint16(u16(head + 36 + 2 * i)) / double(unitsPerEm);
        metrics_ = u16(hhea + 34);
        if (unitsPerEm == 0 || metrics_ == 0 || tables_.at("hmtx").second < 4 * metrics_)
            return false;
        if (const qsizetype os2 = table("OS/2", 78); os2 >= 0) {
            ascent = u16(os2 + 74) / double(unitsPerEm);
            descent = u16(os2 + 76) / double(unitsPerEm);
            if (tables_.at("OS/2").second >= 90 && u16(os2) >= 2)
                capHeight = qint16(u16(os2 + 88)) / double(unitsPerEm);
        } else {
            ascent = qint16(u16(hhea + 4)) / double(unitsPerEm);
            descent = -qint16(u16(hhea + 6)) / double(unitsPerEm);
        }
        return findCmap();
    }

    quint32 glyph(char32_t c) const {
        if (cmap12_ >= 0) {
            const quint32 groups = u32(cmap12_ + 12);
            for (quint32 g = 0; g < groups; ++g) {
                const qsizetype at = cmap12_ + 16 + 12 * qsizetype(g);
                if (at + 12 > data_.size())
                    break;
                if (c >= u32(at) && c <= u32(at + 4))
                    return u32(at + 8) + (c - u32(at));
            }
            return 0;
        }
        if (c > 0xFFFF)
            return 0;
        const int segments = u16(cmap4_ + 6) / 2;
        const qsizetype ends = cmap4_ + 14, starts = ends + 2 * segments + 2,
                        deltas = starts + 2 * segments, ranges = deltas + 2 * segments;
        for (int i = 0; i < segments; ++i) {
            if (c > u16(ends + 2 * i))
                continue;
            const quint32 start = u16(starts + 2 * i);
            if (c < start)
                return 0;
            const quint32 delta = u16(deltas + 2 * i), range = u16(ranges + 2 * i);
            if (range == 0)
                return (c + delta) & 0xFFFF;
            const quint32 g = u16(ranges + 2 * i + range + 2 * (c - start));
            return g == 0 ? 0 : (g + delta) & 0xFFFF;
        }
        return 0;
    }

    // In ems.
    double advance(quint32 glyph) const {
        const quint32 i = std::min<quint32>(glyph, quint32(metrics_ - 1));
        return u16(hmtx_ + 4 * qsizetype(i)) / double(unitsPerEm);
    }

    // The bytes of table `tag`; empty when the font has none.
    QByteArray tableBytes(const QByteArray& tag) const {
        const auto found = tables_.find(tag);
        return found == tables_.end() ? QByteArray()
                                      : data_.mid(found->second.first, found->second.second);
    }

    int unitsPerEm = 1000;
    // Lines are as far apart as ascent and descent (Windows' metrics), as LibreOffice spaces
    // them.
    double ascent = 0.8, descent = 0.2, capHeight = 0.65;
    // Every glyph's bounds, in ems: left, bottom, right, top.
    double box[4] = {0, -0.25, 1, 1};

private:
    quint32 u16(qsizetype at) const {
        if (at < 0 || at + 2 > data_.size())
            return 0;
        return qFromBigEndian<quint16>(data_.constData() + at);
    }
    quint32 u32(qsizetype at) const {
        if (at < 0 || at + 4 > data_.size())
            return 0;
        return qFromBigEndian<quint32>(data_.constData() + at);
    }
    // Where table `tag` starts, when it holds at least `size` bytes; -1 otherwise.
    qsizetype table(const char* tag, qsizetype size) const {
        const auto found = tables_.find(QByteArray(tag));
        return found == tables_.end() || found->second.second < size ? -1 : found->second.first;
    }
    bool findCmap() {
        const qsizetype cmap = table("cmap", 4);
        if (cmap < 0)
            return false;
        const int count = int(u16(cmap + 2));
        for (int i = 0; i < count; ++i) {
            const qsizetype record = cmap + 4 + 8 * qsizetype(i);
            const quint32 platform = u16(record), encoding = u16(record + 2);
            const qsizetype sub = cmap + qsizetype(u32(record + 4));
            const bool unicode =
                platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
            if (!unicode)
                continue;
            if (u16(sub) == 12 && cmap12_ < 0)
                cmap12_ = sub;
            else if (u16(sub) == 4 && cmap4_ < 0)
                cmap4_ = sub;
        }
        return cmap12_ >= 0 || cmap4_ >= 0;
    }

    QByteArray data_;
    std::map<QByteArray, std::pair<qsizetype, qsizetype>> tables_;
    qsizetype hmtx_ = -1, cmap4_ = -1, cmap12_ = -1;
    int metrics_ = 0;
};

quint32 tableSum(const QByteArray& table) {
    quint32 sum = 0;
    for (qsizetype i = 0; i < table.size(); i += 4) {
        char word[4] = {0, 0, 0, 0};
        std::memcpy(word, table.constData() + i,
                    std::size_t(std::min<qsizetype>(4, table.size() - i)));
        sum += qFromBigEndian<quint32>(word);
    }
    return sum;
}

// The font with only the outlines of `used` (and what they are made of) left: the glyph ids
// stay, the others are empty, and the layout tables go, as no reader of the PDF lays text out.
// Empty when the font's outlines cannot be read.
QByteArray subset(const Sfnt& font, std::set<quint32> used) {
    const QByteArray head = font.tableBytes("head"), maxp = font.tableBytes("maxp"),
                     loca = font.tableBytes("loca"), glyf = font.tableBytes("glyf");
    if (head.size() < 54 || maxp.size() < 6)
        return {};
    const int glyphs = qFromBigEndian<quint16>(maxp.constData() + 4);
    const bool longOffsets = qFromBigEndian<qint16>(head.constData() + 50) == 1;
    if (loca.size() < (glyphs + 1) * (longOffsets ? 4 : 2))
        return {};
    const auto offset = [&](quint32 g) -> qsizetype {
        return longOffsets ? qsizetype(qFromBigEndian<quint32>(loca.constData() + 4 * g))
                           : 2 * qsizetype(qFromBigEndian<quint16>(loca.constData() + 2 * g));
    };
    used.insert(0);
    // Composite glyphs bring their parts along.
    std::vector<quint32> pending(used.begin(), used.end());
    while (!pending.empty()) {
        const quint32 g = pending.back();
        pending.pop_back();
        if (g >= quint32(glyphs))
            continue;
        const qsizetype start = offset(g), end = offset(g + 1);
        if (end - start < 10 || end > glyf.size() ||
            qFromBigEndian<qint16>(glyf.constData() + start) >= 0)
            continue;
        qsizetype at = start + 10;
        for (quint16 flags = 0x20; (flags & 0x20) && at + 4 <= end;) {
            flags = qFromBigEndian<quint16>(glyf.constData() + at);
            const quint32 part = qFromBigEndian<quint16>(glyf.constData() + at + 2);
            if (used.insert(part).second)
                pending.push_back(part);
            at += 4 + ((flags & 0x1) ? 4 : 2) +
                  ((flags & 0x8)    ? 2
                   : (flags & 0x40) ? 4
                   : (flags & 0x80) ? 8
                                    : 0);
        }
    }
    QByteArray newGlyf, newLoca;
    for (int g = 0; g <= glyphs; ++g) {
        char field[4];
        qToBigEndian<quint32>(quint32(newGlyf.size()), field);
        newLoca.append(field, 4);
        if (g == glyphs || !used.contains(quint32(g)))
            continue;
        const qsizetype start = offset(quint32(g)), end = offset(quint32(g) + 1);
        if (start < end && end <= glyf.size()) {
            newGlyf += glyf.mid(start, end - start);
            while (newGlyf.size() % 4)
                newGlyf += '\0';
        }
    }
    QByteArray newHead = head;
    qToBigEndian<qint16>(1, newHead.data() + 50);
    qToBigEndian<quint32>(0, newHead.data() + 8);

    std::map<QByteArray, QByteArray> tables;
    for (const char* tag :
         {"OS/2", "cmap", "cvt ", "fpgm", "gasp", "hhea", "hmtx", "maxp", "name", "post", "prep"})
        if (const QByteArray t = font.tableBytes(tag); !t.isEmpty())
            tables.emplace(tag, t);
    tables.emplace("head", newHead);
    tables.emplace("glyf", newGlyf);
    tables.emplace("loca", newLoca);

    const int count = int(tables.size());
    int power = 1, log2 = 0;
    while (power * 2 <= count)
        power *= 2, ++log2;
    QByteArray out(12 + 16 * count, '\0');
    qToBigEndian<quint32>(0x00010000, out.data());
    qToBigEndian<quint16>(quint16(count), out.data() + 4);
    qToBigEndian<quint16>(quint16(power * 16), out.data() + 6);
    qToBigEndian<quint16>(quint16(log2), out.data() + 8);
    qToBigEndian<quint16>(quint16(count * 16 - power * 16), out.data() + 10);
    int i = 0;
    qsizetype headAt = 0;
    for (const auto& [tag, table] : tables) {
        char* record = out.data() + 12 + 16 * i++;
        std::memcpy(record, tag.constData(), 4);
        qToBigEndian<quint32>(tableSum(table), record + 4);
        qToBigEndian<quint32>(quint32(out.size()), record + 8);
        qToBigEndian<quint32>(quint32(table.size()), record + 12);
        if (tag == "head")
            headAt = out.size();
        out += table;
        while (out.size() % 4)
            out += '\0';
    }
    qToBigEndian<quint32>(0xB1B0AFBAu - tableSum(out), out.data() + headAt + 8);
    return out;
}

// A TrueType font, embedded with the outlines of the glyphs the text uses.
struct Font {
    QString file;
    QByteArray data;
    Sfnt sfnt;
    std::map<quint32, QString> text;
    std::map<quint32, double> advance;
    int object = 0;
};

// The font file fontconfig gives for the deck's `family`: a heading font that is not there is
// the body font's stand-in, as the deck's own applications do.
QString fontFileFor(const char* family) {
    const FontFace face = matchFont(family);
    if (face.family.compare(QLatin1String(family), Qt::CaseInsensitive) == 0 ||
        std::strcmp(family, kBodyFont) == 0)
        return face.file;
    return matchFont(kBodyFont).file;
}

std::unique_ptr<Font> loadFont(const QString& file) {
    auto font = std::make_unique<Font>();
    font->file = file;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw RuntimeError(errPathFileAccess,
                           QStringLiteral("the font cannot be read: %1").arg(f.errorString()),
                           file);
    font->data = f.readAll();
    if (!font->sfnt.load(font->data))
        throw RuntimeError(errInvalidPicture, QStringLiteral("the font is not a TrueType font"),
                           file);
    return font;
}

// The body's and the heading's font files, looked up once a process.
std::mutex fontLookupMutex;
std::shared_future<std::array<QString, 2>> fontLookup;

std::array<QString, 2> lookUpFonts() {
    return {fontFileFor(kBodyFont), fontFileFor(kHeadingFont)};
}

std::array<QString, 2> deckFontFiles() {
    lookUpPdfFonts();
    std::shared_future<std::array<QString, 2>> lookup;
    {
        const std::lock_guard lock(fontLookupMutex);
        lookup = fontLookup;
    }
    return lookup.valid() ? lookup.get() : lookUpFonts();
}

struct Glyph {
    quint32 id;
    double advance; // ems
};

std::vector<Glyph> glyphsOf(Font& font, const QString& text) {
    std::vector<Glyph> glyphs;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        const quint32 id = font.sfnt.glyph(c);
        const double advance = font.sfnt.advance(id);
        font.text.emplace(id, one);
        font.advance.emplace(id, advance);
        glyphs.push_back({id, advance});
    }
    return glyphs;
}

struct TextLine {
    std::vector<Glyph> glyphs;
    double width = 0; // ems, trailing spaces left out
};

// The text broken into lines no wider than `width` ems, at spaces where it can be.
std::vector<TextLine> layOut(Font& font, const QString& text, double width) {
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::vector<TextLine> lines;
    for (const QString& paragraph : normal.split(QLatin1Char('\n'))) {
        const std::vector<Glyph> glyphs = glyphsOf(font, paragraph);
        const QList<uint> chars = paragraph.toUcs4();
        TextLine line;
        double lineWidth = 0; // spaces included
        std::size_t i = 0;
        while (i < glyphs.size()) {
            // A word and the spaces after it.
            std::size_t end = i;
            while (end < glyphs.size() && chars[qsizetype(end)] != ' ')
                ++end;
            double word = 0;
            for (std::size_t k = i; k < end; ++k)
                word += glyphs[k].advance;
            std::size_t spacesEnd = end;
            while (spacesEnd < glyphs.size() && chars[qsizetype(spacesEnd)] == ' ')
                ++spacesEnd;
            if (!line.glyphs.empty() && lineWidth + word > width) {
                lines.push_back(std::move(line));
                line = {};
                lineWidth = 0;
            }
            for (std::size_t k = i; k < end; ++k) {
                // A word wider than the line breaks where it must.
                if (!line.glyphs.empty() && lineWidth + glyphs[k].advance > width &&
                    line.width == lineWidth) {
                    lines.push_back(std::move(line));
                    line = {};
                    lineWidth = 0;
                }
                line.glyphs.push_back(glyphs[k]);
                lineWidth += glyphs[k].advance;
                line.width = lineWidth;
            }
            for (std::size_t k = end; k < spacesEnd; ++k) {
                line.glyphs.push_back(glyphs[k]);
                lineWidth += glyphs[k].advance;
            }
            i = spacesEnd;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// ---- The file ----

class PdfOut {
public:
    explicit PdfOut(pptx::SaveFile& file) : file_(file) {}

    int reserve() {
        offsets_.push_back(-1);
        return int(offsets_.size()) - 1;
    }
    void begin(int object) {
        offsets_[std::size_t(object)] = written_ + buffer_.size();
        write(QByteArray::number(object) + " 0 obj\n");
    }
    void object(int object, const QByteArray& body) {
        begin(object);
        write(body);
        write("\nendobj\n");
    }
    void stream(int object, const QByteArray& dictionary, const QByteArray& data) {
        begin(object);
        write("<<" + dictionary + "/Length " + QByteArray::number(data.size()) + ">>\nstream\n");
        write(data);
        write("\nendstream\nendobj\n");
    }
    // A stream of a picture file's bytes as they are.
    void stream(int object, const QByteArray& dictionary, const MeasuredFile& file) {
        const qint64 size = file.identity().size;
        begin(object);
        write("<<" + dictionary + "/Length " + QByteArray::number(size) + ">>\nstream\n");
        flush();
        copy(file, size);
        file.checkUnchanged();
        write("\nendstream\nendobj\n");
    }
    void write(const QByteArray& bytes) {
        if (bytes.size() >= kChunk) {
            flush();
            put(bytes.constData(), bytes.size());
            return;
        }
        buffer_ += bytes;
        if (buffer_.size() >= kChunk)
            flush();
    }
    void finish(int catalog, int info) {
        const qint64 xref = written_ + buffer_.size();
        QByteArray table =
            "xref\n0 " + QByteArray::number(offsets_.size()) + "\n0000000000 65535 f\r\n";
        for (std::size_t i = 1; i < offsets_.size(); ++i)
            table += QByteArray::number(offsets_[i]).rightJustified(10, '0') + " 00000 n\r\n";
        table += "trailer\n<</Size " + QByteArray::number(offsets_.size()) + "/Root " +
                 QByteArray::number(catalog) + " 0 R/Info " + QByteArray::number(info) +
                 " 0 R>>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        write(table);
        flush();
    }

private:
    static constexpr qsizetype kChunk = 1 << 20;

    // In the kernel where it can be, else through a buffer.
    void copy(const MeasuredFile& file, qint64 size) {
        loff_t in = 0;
        while (in < size) {
            const ssize_t n =
                ::copy_file_range(file.fd(), &in, file_.fd(), nullptr, std::size_t(size - in), 0);
            if (n > 0) {
                written_ += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0)
                pictureChanged(file.path());
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
                errno != EBADF && errno != EPERM)
                failSaveErrno(errno, file_.name());
            break;
        }
        QByteArray buffer;
        while (in < size) {
            buffer = readAt(file, in, std::min<qint64>(size - in, kChunk));
            put(buffer.constData(), buffer.size());
            in += buffer.size();
        }
    }
    void flush() {
        put(buffer_.constData(), buffer_.size());
        buffer_.clear();
    }
    void put(const char* data, qsizetype size) {
        while (size > 0) {
            const ssize_t n = ::write(file_.fd(), data, std::size_t(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failSaveErrno(errno, file_.name());
            data += n;
            size -= n;
            written_ += n;
        }
    }

    pptx::SaveFile& file_;
    std::vector<qint64> offsets_{0};
    QByteArray buffer_;
    qint64 written_ = 0;
};

// A picture being made on the pool, waited for or withdrawn when the writer goes.
struct ImageJob {
    QString path;
    pictures::PoolJob<StoredImage> made;
    ImageJob() = default;
    ImageJob(const ImageJob&) = delete;
    ImageJob& operator=(const ImageJob&) = delete;
    ~ImageJob() {
        if (made.result.valid() && !pictures::PicturePool::shared().withdraw(made.ticket))
            made.result.wait();
    }
};

// One picture the deck shows, stored once: the first frame it is shown in decides its pixels.
struct ImageUse {
    Picture picture;
    QSize shown;
    bool grey = false;
    int object = 0;
    int orientation = 1;
    bool drawn = false;
};

QSize shownFor(const RecordedShape& shape, int ppi) {
    const auto emu = [](double points) {
        return std::int64_t(std::llround(points * double(pptx::kEmuPerPoint)));
    };
    pptx::Frame frame{emu(shape.frame.x()), emu(shape.frame.y()), emu(shape.frame.width()),
                      emu(shape.frame.height())};
    const bool transcoded = formatRow(shape.picture.format).storage == Storage::Transcoded;
    const pptx::Turn turn =
        transcoded ? pptx::Turn{} : pptx::uprightTurn(shape.picture.orientation);
    if (const std::optional<pptx::Frame> unturned = pptx::unturnedFrame(frame, turn))
        frame = *unturned;
    return pptx::shownPixels(frame.cx, frame.cy, ppi);
}

// The master's text colour: the theme's black, which the subtitle shows at a 75 % tint.
std::uint32_t masterColour(const RecordedShape& shape) {
    return shape.kind == RecordedShape::Kind::Subtitle ? 0x404040 : 0x000000;
}

struct Writer {
    Writer(const RecordedDeck& d, const PdfOptions& o, PdfOut& p) : deck(d), options(o), out(p) {}

    const RecordedDeck& deck;
    const PdfOptions& options;
    PdfOut& out;
    double pageHeight = 0;
    std::vector<ImageUse> images;
    std::map<std::tuple<quint64, quint64, bool>, std::size_t> imageByFile;
    std::vector<std::unique_ptr<Font>> fonts;
    std::map<QString, std::size_t> fontByFile;
    // Thousandths opaque -> its graphics state.
    std::map<int, int> alphaStates;
    std::optional<std::array<QString, 2>> fontFiles;
    // The body's and the heading's, once asked for.
    std::optional<std::size_t> fontOf[2];

    std::size_t fontFor(bool heading) {
        std::optional<std::size_t>& known = fontOf[heading ? 1 : 0];
        if (!known)
            known = findFont(heading);
        return *known;
    }

    std::size_t findFont(bool heading) {
        if (!fontFiles)
            fontFiles = deckFontFiles();
        const QString file = (*fontFiles)[heading ? 1 : 0];
        if (file.isEmpty())
            throw RuntimeError(errFileNotFound,
                               QStringLiteral("no font stands in for %1")
                                   .arg(QLatin1String(heading ? kHeadingFont : kBodyFont)));
        const auto found = fontByFile.find(file);
        if (found != fontByFile.end())
            return found->second;
        fonts.push_back(loadFont(file));
        fonts.back()->object = out.reserve();
        fontByFile.emplace(file, fonts.size() - 1);
        return fonts.size() - 1;
    }

    int alphaState(double opacity) {
        const int thousandths = int(std::lround(opacity * 1000));
        auto found = alphaStates.find(thousandths);
        if (found == alphaStates.end())
            found = alphaStates.emplace(thousandths, out.reserve()).first;
        return found->second;
    }

    QByteArray picture(const RecordedShape& shape) {
        const ImageUse& use = images[imageByFile.at(
            {shape.picture.file.device, shape.picture.file.inode, shape.grey})];
        const QRectF shows = shape.visible();
        const double bottom = pageHeight - shows.bottom();
        QByteArray c = "q\n";
        if (shape.rotation != 0) {
            const double phi = -double(shape.rotation) * M_PI / 180.0;
            const double cx = shows.center().x(), cy = pageHeight - shows.center().y();
            const double cs = std::cos(phi), sn = std::sin(phi);
            c += num(cs) + ' ' + num(sn) + ' ' + num(-sn) + ' ' + num(cs) + ' ' +
                 num(cx - cs * cx + sn * cy) + ' ' + num(cy - sn * cx - cs * cy) + " cm\n";
        }
        const QByteArray rect = num(shows.left()) + ' ' + num(bottom) + ' ' + num(shows.width()) +
                                ' ' + num(shows.height()) + " re";
        if (use.drawn) {
            c += "q\n" + rect + " W n\n" + placement(shape.frame, pageHeight, use.orientation) +
                 "/Im" + QByteArray::number(use.object) + " Do\nQ\n";
        }
        if (shape.lineWeight > 0)
            c += num(shape.lineWeight) + " w 0 0 0 RG\n" + rect + " S\n";
        return c + "Q\n";
    }

    QByteArray text(const RecordedShape& shape) {
        const bool title = shape.kind == RecordedShape::Kind::Title;
        const bool placeholder = title || shape.kind == RecordedShape::Kind::Subtitle;
        Font& font = *fonts[fontFor(title)];
        const double size = shape.fontSize > 0 ? double(shape.fontSize)
                            : placeholder      ? (title ? 44.0 : 28.0)
                                               : 18.0;
        QRectF box = shape.frame;
        const double width = std::max(box.width() - 2 * kInsetX, 0.0);
        const std::vector<TextLine> lines =
            shape.text.isEmpty() ? std::vector<TextLine>{} : layOut(font, shape.text, width / size);
        const double lineHeight = (font.sfnt.ascent + font.sfnt.descent) * size;
        const double textHeight = double(std::max<std::size_t>(lines.size(), 1)) * lineHeight;
        if (!placeholder) {
            // The box fits its height to its text, keeping the edge its anchor keeps: as it was
            // added for that many lines, or as high as they stand where that is more.
            const double fitted =
                std::max(fittedTextHeight(int(std::max<std::size_t>(lines.size(), 1)), size),
                         textHeight + 2 * kInsetY);
            if (shape.anchor == kAnchorBottom)
                box.setTop(box.bottom() - fitted);
            else
                box.setHeight(fitted);
        }
        QByteArray c;
        if (shape.fill >= 0) {
            c += "q\n";
            if (shape.transparency > 0)
                c += "/GS" + QByteArray::number(alphaState(1.0 - double(shape.transparency))) +
                     " gs\n";
            c += colour(std::uint32_t(shape.fill), "rg") + num(box.left()) + ' ' +
                 num(pageHeight - box.bottom()) + ' ' + num(box.width()) + ' ' + num(box.height()) +
                 " re f\nQ\n";
        }
        if (lines.empty())
            return c;
        double top = box.top() + kInsetY;
        if (title)
            top = box.top() + (box.height() - textHeight) / 2;
        else if (shape.anchor == kAnchorBottom)
            top = box.bottom() - kInsetY - textHeight;
        c += "BT\n/F" + QByteArray::number(font.object) + ' ' + num(size) + " Tf\n" +
             colour(shape.colour >= 0 ? std::uint32_t(shape.colour) : masterColour(shape), "rg");
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const TextLine& line = lines[i];
            double x = box.left() + kInsetX;
            if (shape.alignment == kAlignCenter)
                x += (width - line.width * size) / 2;
            else if (shape.alignment == kAlignRight)
                x += width - line.width * size;
            const double baseline = top + double(i) * lineHeight + font.sfnt.ascent * size;
            QByteArray glyphs;
            for (const Glyph& g : line.glyphs)
                glyphs += QByteArray::number(g.id, 16).rightJustified(4, '0');
            c += "1 0 0 1 " + num(x) + ' ' + num(pageHeight - baseline) + " Tm <" + glyphs +
                 "> Tj\n";
        }
        return c + "ET\n";
    }

    void writeFont(const Font& font) {
        const int type0 = font.object;
        const int cid = out.reserve(), descriptor = out.reserve(), file = out.reserve(),
                  toUnicode = out.reserve();
        const QByteArray name =
            "SLDMIL+" + QFileInfo(font.file).completeBaseName().toLatin1().replace(' ', '-');
        out.object(type0, "<</Type/Font/Subtype/Type0/BaseFont/" + name +
                              "/Encoding/Identity-H/DescendantFonts[" + QByteArray::number(cid) +
                              " 0 R]/ToUnicode " + QByteArray::number(toUnicode) + " 0 R>>");
        QByteArray widths;
        for (const auto& [id, advance] : font.advance)
            widths += QByteArray::number(id) + '[' + num(advance * 1000) + ']';
        out.object(cid, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + name +
                            "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>"
                            "/FontDescriptor " +
                            QByteArray::number(descriptor) + " 0 R/W[" + widths +
                            "]/CIDToGIDMap/Identity>>");
        out.object(descriptor,
                   "<</Type/FontDescriptor/FontName/" + name + "/Flags 32/FontBBox[" +
                       num(font.sfnt.box[0] * 1000) + ' ' + num(font.sfnt.box[1] * 1000) + ' ' +
                       num(font.sfnt.box[2] * 1000) + ' ' + num(font.sfnt.box[3] * 1000) +
                       "]/ItalicAngle 0/Ascent " + num(font.sfnt.ascent * 1000) + "/Descent " +
                       num(-font.sfnt.descent * 1000) + "/CapHeight " +
                       num(font.sfnt.capHeight * 1000) + "/StemV 80/FontFile2 " +
                       QByteArray::number(file) + " 0 R>>");
        std::set<quint32> used;
        for (const auto& entry : font.advance)
            used.insert(entry.first);
        QByteArray embedded = subset(font.sfnt, used);
        if (embedded.isEmpty())
            embedded = font.data;
        out.stream(file, "/Filter/FlateDecode/Length1 " + QByteArray::number(embedded.size()),
                   zlibCompress(embedded));
        QByteArray cmap = "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                          "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
                          "/CMapName/Adobe-Identity-UCS def\n/CMapType 2 def\n"
                          "1 begincodespacerange\n<0000><FFFF>\nendcodespacerange\n";
        // Characters the font lacks all show its glyph 0, which stands for none of them.
        std::vector<std::pair<quint32, QString>> entries;
        for (const auto& entry : font.text)
            if (entry.first != 0)
                entries.push_back(entry);
        for (std::size_t i = 0; i < entries.size(); i += 100) {
            const std::size_t n = std::min<std::size_t>(100, entries.size() - i);
            cmap += QByteArray::number(n) + " beginbfchar\n";
            for (std::size_t k = i; k < i + n; ++k) {
                QByteArray hex = utf16Hex(entries[k].second);
                hex.remove(1, 4);
                cmap += '<' + QByteArray::number(entries[k].first, 16).rightJustified(4, '0') +
                        "> " + hex + '\n';
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap\nCMapName currentdict/CMap defineresource pop\nend\nend\n";
        out.stream(toUnicode, "/Filter/FlateDecode", zlibCompress(cmap));
    }

    void writeImage(ImageUse& use, const StoredImage& image) {
        if (image.data.isEmpty() && !image.file)
            return;
        use.drawn = true;
        use.orientation = image.orientation;
        QByteArray space = image.colourSpace;
        if (space.isEmpty())
            space = image.components == 1   ? "/DeviceGray"
                    : image.components == 4 ? "/DeviceCMYK"
                                            : "/DeviceRGB";
        QByteArray dict = "/Type/XObject/Subtype/Image/Width " + QByteArray::number(image.width) +
                          "/Height " + QByteArray::number(image.height) + "/ColorSpace" + space +
                          "/BitsPerComponent " + QByteArray::number(image.bits) + "/Filter" +
                          (image.dct ? "/DCTDecode" : "/FlateDecode");
        if (!image.decodeParms.isEmpty())
            dict += "/DecodeParms" + image.decodeParms;
        if (image.invertCmyk)
            dict += "/Decode[1 0 1 0 1 0 1 0]";
        if (!image.alpha.isEmpty()) {
            const int mask = out.reserve();
            dict += "/SMask " + QByteArray::number(mask) + " 0 R";
            out.stream(mask,
                       "/Type/XObject/Subtype/Image/Width " + QByteArray::number(image.width) +
                           "/Height " + QByteArray::number(image.height) +
                           "/ColorSpace/DeviceGray/BitsPerComponent 8/Filter/FlateDecode",
                       image.alpha);
        }
        if (image.file)
            out.stream(use.object, dict, *image.file);
        else
            out.stream(use.object, dict, image.data);
    }

    bool progress(double done) { return !options.progress || options.progress(done); }

    // False when cancelled.
    bool run() {
        pageHeight = deck.slideSize.height();
        const int catalog = out.reserve(), pages = out.reserve(), info = out.reserve(),
                  resources = out.reserve();
        out.write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");

        for (const RecordedSlide& slide : deck.slides)
            for (const RecordedShape& shape : slide.shapes) {
                if (shape.kind == RecordedShape::Kind::Picture) {
                    const std::tuple<quint64, quint64, bool> key{
                        shape.picture.file.device, shape.picture.file.inode, shape.grey};
                    if (imageByFile.contains(key)) {
                        if (!(images[imageByFile[key]].picture.file == shape.picture.file))
                            pictureChanged(shape.picture.path);
                        continue;
                    }
                    imageByFile.emplace(key, images.size());
                    images.push_back({shape.picture, shownFor(shape, options.pixelsPerInch),
                                      shape.grey, out.reserve()});
                } else if (!shape.text.isEmpty()) {
                    lookUpPdfFonts();
                }
            }

        const double steps = double(images.size() + deck.slides.size()) + 1;
        double done = 0;
        if (!progress(0))
            return false;
        // Made ahead on the pool, written in order.
        const std::size_t ahead = std::size_t(2 * pictures::usableCores());
        std::deque<std::unique_ptr<ImageJob>> jobs;
        std::size_t submitted = 0;
        for (std::size_t i = 0; i < images.size(); ++i) {
            while (submitted < images.size() && submitted < i + ahead) {
                auto job = std::make_unique<ImageJob>();
                const ImageUse& use = images[submitted];
                job->path = use.picture.path;
                job->made = pictures::PicturePool::shared().submit(
                    pictures::Priority::Build, use.picture.path,
                    [picture = use.picture, shown = use.shown, grey = use.grey] {
                        return storedImage(picture, shown, grey);
                    });
                jobs.push_back(std::move(job));
                ++submitted;
            }
            std::unique_ptr<ImageJob> job = std::move(jobs.front());
            jobs.pop_front();
            StoredImage image;
            try {
                image = job->made.result.get();
            } catch (...) {
                throw RuntimeError::from(std::current_exception(), job->path);
            }
            writeImage(images[i], image);
            if (!progress(++done / steps))
                return false;
        }

        QByteArray kids;
        for (const RecordedSlide& slide : deck.slides) {
            QByteArray c = colour(deck.background, "rg") + "0 0 " + num(deck.slideSize.width()) +
                           ' ' + num(pageHeight) + " re f\n";
            for (const RecordedShape& shape : slide.shapes)
                c += shape.kind == RecordedShape::Kind::Picture ? picture(shape) : text(shape);
            const int page = out.reserve(), content = out.reserve();
            out.stream(content, "/Filter/FlateDecode", zlibCompress(c));
            out.object(page, "<</Type/Page/Parent " + QByteArray::number(pages) +
                                 " 0 R/Resources " + QByteArray::number(resources) +
                                 " 0 R/Contents " + QByteArray::number(content) + " 0 R>>");
            kids += QByteArray::number(page) + " 0 R ";
            if (!progress(++done / steps))
                return false;
        }
        out.object(pages, "<</Type/Pages/Count " + QByteArray::number(deck.slides.size()) +
                              "/MediaBox[0 0 " + num(deck.slideSize.width()) + ' ' +
                              num(pageHeight) + "]/Kids[" + kids.trimmed() + "]>>");

        QByteArray res = "<</ProcSet[/PDF/Text/ImageB/ImageC]";
        QByteArray xobjects, fontRefs, states;
        for (const ImageUse& use : images)
            if (use.drawn)
                xobjects += "/Im" + QByteArray::number(use.object) + ' ' +
                            QByteArray::number(use.object) + " 0 R";
        for (const auto& font : fonts) {
            fontRefs += "/F" + QByteArray::number(font->object) + ' ' +
                        QByteArray::number(font->object) + " 0 R";
            writeFont(*font);
        }
        for (const auto& [per, object] : alphaStates) {
            states +=
                "/GS" + QByteArray::number(object) + ' ' + QByteArray::number(object) + " 0 R";
            out.object(object, "<</Type/ExtGState/ca " + num(per / 1000.0) + ">>");
        }
        if (!xobjects.isEmpty())
            res += "/XObject<<" + xobjects + ">>";
        if (!fontRefs.isEmpty())
            res += "/Font<<" + fontRefs + ">>";
        if (!states.isEmpty())
            res += "/ExtGState<<" + states + ">>";
        out.object(resources, res + ">>");
        out.object(catalog, "<</Type/Catalog/Pages " + QByteArray::number(pages) + " 0 R>>");

        QByteArray infoDict = "<</Producer(Slidemill)";
        for (const RecordedSlide& slide : deck.slides)
            for (const RecordedShape& shape : slide.shapes)
                if (slide.title && shape.kind == RecordedShape::Kind::Title &&
                    !shape.text.isEmpty() && !infoDict.contains("/Title"))
                    infoDict +=
                        "/Title" +
                        utf16Hex(QString(shape.text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        out.object(info, infoDict + ">>");
        out.finish(catalog, info);
        return progress(1);
    }
};

} // namespace

void lookUpPdfFonts() {
    const std::lock_guard lock(fontLookupMutex);
    if (fontLookup.valid())
        return;
    try {
        fontLookup = std::async(std::launch::async, lookUpFonts).share();
    } catch (const std::system_error&) {
        // Looked up when they are needed.
    }
}

bool writePdf(const RecordedDeck& deck, const QString& path, const PdfOptions& options) {
    if (deck.slides.empty())
        throw RuntimeError(errInvalidCall, QStringLiteral("a PDF needs a slide; the deck has none"),
                           path);
    std::unique_ptr<pptx::SaveFile> file = pptx::SaveFile::replacing(path);
    QHash<QPair<quint64, quint64>, bool> pictures;
    for (const RecordedSlide& slide : deck.slides)
        for (const RecordedShape& shape : slide.shapes)
            if (shape.kind == RecordedShape::Kind::Picture)
                pictures.insert({shape.picture.file.device, shape.picture.file.inode}, true);
    const FileIdentity target = file->target();
    if (target.known() && pictures.contains({target.device, target.inode}))
        failSave(QStringLiteral("the output is one of the pictures"), file->name());
    PdfOut out(*file);
    Writer writer(deck, options, out);
    if (!writer.run())
        return false;
    file->commit([&pictures](const FileIdentity& identity) {
        return pictures.contains({identity.device, identity.inode});
    });
    return true;
}

} // namespace slidemill
