#include "host/pdfwriter.h"

#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "host/pdf/images.h"
#include "host/pdf/truetype.h"
#include "host/pptx/orientation.h"
#include "host/pptx/savefile.h"
#include "host/pptx/units.h"
#include "pictures/cores.h"
#include "pictures/measuredfile.h"
#include "pictures/picturepool.h"
#include "slides/builds.h"
#include "slides/pictureformats.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <array>
#include <cerrno>
#include <cmath>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <unistd.h>

namespace slidemill {

namespace {

using pdf::fontFileFor;
using pdf::Sfnt;
using pdf::StoredImage;
using pdf::storedImage;
using pdf::subset;
using pdf::zlibCompress;
using pictures::MeasuredFile;

// Text frames' insets, as a new text box and the title layout's placeholders have them.
constexpr double kInsetX = 7.2;
constexpr double kInsetY = 3.6;

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

// A TrueType font, embedded with the outlines of the glyphs the text uses.
struct Font {
    QString file;
    QByteArray data;
    Sfnt sfnt;
    std::map<quint32, QString> text;
    std::map<quint32, double> advance;
    int object = 0;
};

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
            buffer = file.read(in, std::min<qint64>(size - in, kChunk));
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
