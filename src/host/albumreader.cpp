#include "host/albumreader.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "host/pptx/albumitem.h"
#include "host/pptx/relationships.h"
#include "host/pptx/sha256.h"
#include "host/pptx/xmlwriter.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace slidemill {

namespace {

// Any XML part but the recipe, and all of them together.
constexpr qint64 kMaxPartBytes = qint64(16) << 20;
constexpr qint64 kMaxXmlBytes = qint64(256) << 20;
// A title slide and the most photos, one a slide.
constexpr qsizetype kMaxSlides = kMaxRecipePhotos + 1;
// Enough of an oversized custom part to see whose it is.
constexpr qint64 kSniffBytes = qint64(64) << 10;
// Custom parts looked at by name when none related is ours.
constexpr qsizetype kMaxUnrelatedItems = 64;

[[noreturn]] void refuse(const QString& cause) {
    throw RuntimeError(errPathFileAccess, QStringLiteral("Opening the album: %1").arg(cause));
}

// A descriptor closed with its owner.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The deck's zip, read where it lies; every read counts against what may be inflated in all.
class Package {
public:
    explicit Package(Descriptor& file) {
        int error = 0;
        zip_ = zip_fdopen(file.fd, ZIP_CHECKCONS, &error);
        if (!zip_) {
            zip_error_t e;
            zip_error_init_with_code(&e, error);
            const QString text = QString::fromLocal8Bit(zip_error_strerror(&e));
            zip_error_fini(&e);
            refuse(QStringLiteral("the deck is not a presentation package: %1").arg(text));
        }
        // libzip owns the descriptor now.
        file.fd = -1;
    }
    ~Package() { zip_discard(zip_); }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    bool has(const QString& part) const { return index(part) >= 0; }

    // The parts whose names match, at most `most` of them, in the package's order.
    QStringList partsMatching(const QRegularExpression& name, qsizetype most) const {
        QStringList out;
        const zip_int64_t n = zip_get_num_entries(zip_, 0);
        for (zip_int64_t i = 0; i < n && out.size() < most; ++i)
            if (const char* entry = zip_get_name(zip_, zip_uint64_t(i), 0))
                if (const QString s = QString::fromUtf8(entry); name.match(s).hasMatch())
                    out << s;
        return out;
    }

    // The part's bytes, or none when the package lacks it. Refused when it is larger than
    // `most`, by what its entry says or by what inflating it gives.
    std::optional<QByteArray> read(const QString& part, qint64 most, bool prefixOnly = false) {
        const zip_int64_t i = index(part);
        if (i < 0)
            return std::nullopt;
        zip_stat_t st;
        if (zip_stat_index(zip_, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            !(st.valid & ZIP_STAT_COMP_SIZE))
            refuse(QStringLiteral("the deck's part %1 cannot be read").arg(part));
        const bool large = st.size > zip_uint64_t(most) || st.comp_size > zip_uint64_t(most);
        if (large && !prefixOnly)
            refuse(QStringLiteral("the deck's part %1 is larger than %2 MiB")
                       .arg(part)
                       .arg(most >> 20));
        const qint64 want = prefixOnly ? std::min<qint64>(qint64(st.size), most) : qint64(st.size);
        if (want > budget_)
            refuse(QStringLiteral("the deck holds more than %1 MiB of XML to read")
                       .arg(kMaxXmlBytes >> 20));
        zip_file_t* f = zip_fopen_index(zip_, zip_uint64_t(i), 0);
        if (!f)
            refuse(QStringLiteral("the deck's part %1 cannot be read: %2")
                       .arg(part, QString::fromLocal8Bit(zip_strerror(zip_))));
        // One byte more than the entry says, to see it give more.
        QByteArray bytes(want + (prefixOnly ? 0 : 1), Qt::Uninitialized);
        qint64 got = 0;
        while (got < bytes.size()) {
            const zip_int64_t n =
                zip_fread(f, bytes.data() + got, zip_uint64_t(bytes.size() - got));
            if (n < 0) {
                const QString text = QString::fromLocal8Bit(zip_file_strerror(f));
                zip_fclose(f);
                refuse(QStringLiteral("the deck's part %1 cannot be read: %2").arg(part, text));
            }
            if (n == 0)
                break;
            got += n;
        }
        zip_fclose(f);
        if (!prefixOnly && got != want)
            refuse(QStringLiteral("the deck's part %1 is not the size its entry says").arg(part));
        bytes.truncate(got);
        budget_ -= got;
        return bytes;
    }

private:
    zip_int64_t index(const QString& part) const {
        return zip_name_locate(zip_, part.toUtf8().constData(), ZIP_FL_NOCASE);
    }

    zip_t* zip_ = nullptr;
    qint64 budget_ = kMaxXmlBytes;
};

// Reads a part's XML, refusing a DTD and any entity: nothing from outside the part is taken.
class PartXml {
public:
    PartXml(const QByteArray& bytes, const QString& part) : xml_(bytes), part_(part) {}

    // The next start element; false at the end.
    bool next() {
        for (;;) {
            const QXmlStreamReader::TokenType t = nextTag();
            if (t != QXmlStreamReader::EndElement)
                return t == QXmlStreamReader::StartElement;
        }
    }
    // The next start element or the end of one, for what has a content to follow.
    QXmlStreamReader::TokenType nextTag() {
        for (;;) {
            const QXmlStreamReader::TokenType t = xml_.readNext();
            switch (t) {
            case QXmlStreamReader::StartElement:
            case QXmlStreamReader::EndElement:
            case QXmlStreamReader::EndDocument:
                return t;
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference:
            case QXmlStreamReader::Invalid:
                refuseToken(t);
            default:
                break;
            }
        }
    }
    bool is(const char* ns, const char* name) const {
        return xml_.namespaceUri() == QLatin1String(ns) && xml_.name() == QLatin1String(name);
    }
    QString attribute(const char* ns, const char* name) const {
        return xml_.attributes().value(QLatin1String(ns), QLatin1String(name)).toString();
    }
    QString attribute(const char* name) const {
        return xml_.attributes().value(QLatin1String(name)).toString();
    }
    QString text() {
        const QString t = xml_.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml_.hasError())
            refuseToken(QXmlStreamReader::Invalid);
        return t;
    }

private:
    [[noreturn]] void refuseToken(QXmlStreamReader::TokenType t) {
        if (t == QXmlStreamReader::Invalid)
            refuse(QStringLiteral("the deck's part %1 is not well-formed XML: %2")
                       .arg(part_, xml_.errorString()));
        refuse(QStringLiteral("the deck's part %1 has a DTD or an entity").arg(part_));
    }

    QXmlStreamReader xml_;
    QString part_;
};

constexpr char kPml[] = "http://schemas.openxmlformats.org/presentationml/2006/main";
constexpr char kDml[] = "http://schemas.openxmlformats.org/drawingml/2006/main";

struct Relationship {
    QString type;
    // The part it names, from the package's root; empty when it is outside the package.
    QString part;
};

// "ppt/slides/../media/a.png" as "ppt/media/a.png"; empty when it leaves the package.
QString normalised(const QString& path) {
    QStringList out;
    for (const QString& segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("..")) {
            if (out.isEmpty())
                return {};
            out.removeLast();
        } else if (segment != QLatin1String(".")) {
            out << segment;
        }
    }
    return out.join(QLatin1Char('/'));
}

// The relationships of `part` ("" for the package's own) by id.
QHash<QString, Relationship> relationshipsOf(Package& package, const QString& part) {
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    const QString folder = part.left(slash + 1);
    const QString relsPart =
        folder + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
    QHash<QString, Relationship> out;
    const std::optional<QByteArray> bytes = package.read(relsPart, kMaxPartBytes);
    if (!bytes)
        return out;
    PartXml xml(*bytes, relsPart);
    while (xml.next()) {
        if (!xml.is(pptx::ns::kPackageRel, "Relationship"))
            continue;
        Relationship r{xml.attribute("Type"), {}};
        if (xml.attribute("TargetMode") != QLatin1String("External")) {
            const QString target = QUrl::fromPercentEncoding(xml.attribute("Target").toUtf8());
            r.part = normalised(target.startsWith(QLatin1Char('/')) ? target : folder + target);
        }
        out.insert(xml.attribute("Id"), r);
    }
    return out;
}

// What a slide shows, in its order: each picture with its stored part, and each shape with
// text but a placeholder, with its text.
struct Shown {
    bool picture = false;
    QString part;
    QString text;
};

std::vector<Shown> slideShows(Package& package, const QString& slidePart) {
    const QHash<QString, Relationship> rels = relationshipsOf(package, slidePart);
    const std::optional<QByteArray> bytes = package.read(slidePart, kMaxPartBytes);
    if (!bytes)
        refuse(QStringLiteral("the deck lacks its slide %1").arg(slidePart));
    PartXml xml(*bytes, slidePart);
    std::vector<Shown> out;
    // Within a shape: 0 none, else its depth; a text box's paragraphs.
    int depth = 0, picture = 0, shape = 0;
    bool textBox = false;
    QStringList paragraphs;
    for (;;) {
        const QXmlStreamReader::TokenType t = xml.nextTag();
        if (t == QXmlStreamReader::EndDocument)
            break;
        if (t == QXmlStreamReader::EndElement) {
            if (picture == depth)
                picture = 0;
            if (shape == depth) {
                if (textBox && !paragraphs.isEmpty())
                    out.push_back({false, {}, paragraphs.join(QLatin1Char('\n'))});
                shape = 0;
            }
            --depth;
            continue;
        }
        ++depth;
        if (!picture && !shape && xml.is(kPml, "pic")) {
            picture = depth;
            out.push_back({true, {}, {}});
        } else if (picture && xml.is(kDml, "blip")) {
            const Relationship r = rels.value(xml.attribute(pptx::ns::kRel, "embed"));
            out.back().part = r.type == QLatin1String(pptx::reltype::kImage) ? r.part : QString();
        } else if (!picture && !shape && xml.is(kPml, "sp")) {
            shape = depth;
            textBox = true;
            paragraphs.clear();
        } else if (shape && xml.is(kPml, "ph")) {
            // A layout's placeholder, the title slide's: no photo's box. Not every application
            // marks a text box as one (txBox): any other shape with text is taken for it.
            textBox = false;
        } else if (shape && xml.is(kDml, "p")) {
            paragraphs << QString();
        } else if (shape && !paragraphs.isEmpty() && xml.is(kDml, "t")) {
            paragraphs.last() += xml.text();
            --depth;
        } else if (shape && !paragraphs.isEmpty() && xml.is(kDml, "br")) {
            paragraphs.last() += QLatin1Char('\n');
        }
    }
    return out;
}

// Each picture the deck's slides show, in order: its slide (from 0), its stored part and the
// text of the first text box after it on its slide.
struct DeckPicture {
    int slide = 0;
    QString part;
    QString text;
};

std::vector<DeckPicture> deckPictures(Package& package, const QString& mainPart,
                                      const QHash<QString, Relationship>& mainRels) {
    const std::optional<QByteArray> bytes = package.read(mainPart, kMaxPartBytes);
    if (!bytes)
        refuse(QStringLiteral("the deck lacks its presentation part %1").arg(mainPart));
    QStringList slides;
    PartXml xml(*bytes, mainPart);
    while (xml.next()) {
        if (!xml.is(kPml, "sldId"))
            continue;
        if (slides.size() == kMaxSlides)
            refuse(QStringLiteral("the deck has more than %1 slides").arg(kMaxSlides));
        const Relationship r = mainRels.value(xml.attribute(pptx::ns::kRel, "id"));
        if (r.type != QLatin1String(pptx::reltype::kSlide) || r.part.isEmpty())
            refuse(QStringLiteral("the deck lists a slide it does not hold"));
        slides << r.part;
    }
    std::vector<DeckPicture> out;
    for (int s = 0; s < slides.size(); ++s) {
        // The picture just shown on this slide, until a box follows it; -1 none.
        qsizetype boxless = -1;
        for (const Shown& shown : slideShows(package, slides[s])) {
            if (shown.picture) {
                boxless = qsizetype(out.size());
                out.push_back({s, shown.part, {}});
            } else if (boxless >= 0) {
                out[std::size_t(boxless)].text = shown.text;
                boxless = -1;
            }
        }
    }
    return out;
}

int perSlide(Layout layout) {
    switch (layout) {
    case Layout::TwoPerSlide:
        return 2;
    case Layout::FourPerSlide:
        return 4;
    case Layout::OnePerSlide:
    case Layout::Fit:
    case Layout::Fill:
        break;
    }
    return 1;
}

// The pictures are the recipe's photos, each slide holding as many as its layout places.
void checkAgreement(const AlbumRecipe& recipe, const std::vector<DeckPicture>& pictures,
                    Package& package) {
    const qsizetype named = qsizetype(recipe.photos.size());
    if (qsizetype(pictures.size()) != named)
        refuse(QStringLiteral("its recipe names %1 photos, but its slides show %2 pictures")
                   .arg(named)
                   .arg(pictures.size()));
    const int each = perSlide(recipe.album.build.layout);
    for (qsizetype k = 0; k < named; ++k) {
        // A photo shares its slide with the one before unless the layout starts a new one.
        const bool sameSlide = k > 0 && pictures[k].slide == pictures[k - 1].slide;
        if (sameSlide == (k % each == 0))
            refuse(QStringLiteral("its slides no longer place the photos as its recipe does "
                                  "(photo %1 of %2)")
                       .arg(k + 1)
                       .arg(named));
        if (pictures[k].part.isEmpty() || !package.has(pictures[k].part))
            refuse(QStringLiteral("photo %1 of its recipe has no picture stored in the deck")
                       .arg(k + 1));
    }
}

// A regular file at the photo's path with its recorded size and SHA-256. Opened without
// waiting on a FIFO or a device, and read no further than the recorded size.
bool stillThere(const RecipePhoto& photo) {
    Descriptor file;
    file.fd =
        ::open(nativePath(photo.path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != photo.size)
        return false;
    try {
        return pptx::sha256OfFile(file.fd, photo.size, photo.path) == photo.sha256;
    } catch (const RuntimeError&) {
        return false;
    }
}

std::optional<AlbumRecipe> readRecipe(const QString& deckPath) {
    Descriptor file;
    file.fd =
        ::open(nativePath(deckPath).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0)
        refuse(QStringLiteral("cannot read the deck: %1").arg(errnoText(errno)));
    struct stat st;
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        refuse(QStringLiteral("the deck is not a regular file"));
    Package package(file);

    QString mainPart;
    for (const Relationship& r : relationshipsOf(package, QString()))
        if (r.type == QLatin1String(pptx::reltype::kOfficeDocument))
            mainPart = r.part;
    if (mainPart.isEmpty())
        refuse(QStringLiteral("the deck has no presentation"));
    const QHash<QString, Relationship> mainRels = relationshipsOf(package, mainPart);

    // Ours is the custom part whose XML is in our namespace; others are passed over. LibreOffice
    // keeps the part when it saves a deck but drops its relationship: then it is found by its
    // name, among the custom parts.
    QStringList related;
    for (const Relationship& r : mainRels)
        if (r.type == QLatin1String(pptx::reltype::kCustomXml) && !r.part.isEmpty())
            related << r.part;
    related.sort();
    static const QRegularExpression itemName(QStringLiteral("^customXml/item\\d+\\.xml$"),
                                             QRegularExpression::CaseInsensitiveOption);
    std::optional<AlbumRecipe> recipe;
    for (const QStringList& items :
         {related, package.partsMatching(itemName, kMaxUnrelatedItems)}) {
        for (const QString& item : items) {
            const std::optional<QByteArray> start = package.read(item, kSniffBytes, true);
            if (!start || !pptx::isAlbumItem(*start))
                continue;
            recipe = pptx::parseAlbumItem(*package.read(item, pptx::kMaxAlbumItemBytes));
            break;
        }
        if (recipe)
            break;
    }
    if (!recipe)
        return std::nullopt;

    const std::vector<DeckPicture> pictures = deckPictures(package, mainPart, mainRels);
    checkAgreement(*recipe, pictures, package);
    QHash<QString, bool> checked;
    for (std::size_t k = 0; k < recipe->photos.size(); ++k) {
        RecipePhoto& photo = recipe->photos[k];
        photo.mediaPart = pictures[k].part;
        photo.deckText = pictures[k].text;
        const QString key = photo.path + QLatin1Char('\0') + QString::number(photo.size) +
                            QString::fromLatin1(photo.sha256.toHex());
        auto known = checked.find(key);
        if (known == checked.end())
            known = checked.insert(key, stillThere(photo));
        photo.source = *known ? RecipePhoto::Source::File : RecipePhoto::Source::Deck;
    }
    return recipe;
}

} // namespace

std::optional<AlbumRecipe> readAlbumRecipe(const QString& deckPath) {
    try {
        return readRecipe(deckPath);
    } catch (...) {
        throw RuntimeError::from(std::current_exception(), deckPath);
    }
}

OpenedAlbum openAlbumDeck(const QString& deckPath, const QString&) {
    OpenedAlbum opened;
    if (std::optional<AlbumRecipe> recipe = readAlbumRecipe(deckPath)) {
        opened.recipe = std::move(*recipe);
        opened.hadRecipe = true;
    }
    return opened;
}

} // namespace slidemill
