#include "host/albumreader.h"

#include "core/folderscan.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "host/pptx/albumitem.h"
#include "host/pptx/mediatypes.h"
#include "host/pptx/relationships.h"
#include "host/pptx/sha256.h"
#include "host/pptx/xmlwriter.h"
#include "slides/pictureformats.h"

#include <QDir>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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
// A stored picture copied out, and all of them together.
constexpr qint64 kMaxPictureBytes = qint64(256) << 20;
constexpr qint64 kMaxPicturesBytes = qint64(4) << 30;
// A turn of a shape, in DrawingML's 60000ths of a degree.
constexpr qint64 kQuarterTurn = 90 * 60000;

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
        return take(part, most, prefixOnly, xmlBudget_,
                    QStringLiteral("%1 MiB of XML").arg(kMaxXmlBytes >> 20));
    }
    // A stored picture's bytes, under a budget of their own.
    std::optional<QByteArray> readPicture(const QString& part) {
        return take(part, kMaxPictureBytes, false, pictureBudget_,
                    QStringLiteral("%1 GiB of pictures").arg(kMaxPicturesBytes >> 30));
    }

private:
    std::optional<QByteArray> take(const QString& part, qint64 most, bool prefixOnly,
                                   qint64& budget, const QString& inAll) {
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
        if (want > budget)
            refuse(QStringLiteral("the deck holds more than %1 to read").arg(inAll));
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
        budget -= got;
        return bytes;
    }

    zip_int64_t index(const QString& part) const {
        return zip_name_locate(zip_, part.toUtf8().constData(), ZIP_FL_NOCASE);
    }

    zip_t* zip_ = nullptr;
    qint64 xmlBudget_ = kMaxXmlBytes;
    qint64 pictureBudget_ = kMaxPicturesBytes;
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
// text, with its text.
struct Shown {
    bool picture = false;
    QString part;
    QString text;
    // A picture's turn clockwise, when it is whole quarters and not mirrored.
    std::optional<int> quarters;
    // A layout's placeholder's type ("" when it names none): no photo's box.
    std::optional<QString> placeholder;
};

// A picture's turn from its frame's attributes; nothing for any other angle, or a mirror.
std::optional<int> quartersOf(const QString& rot, const QString& flipH, const QString& flipV) {
    const auto on = [](const QString& flag) {
        return flag == QLatin1String("1") || flag == QLatin1String("true");
    };
    if (on(flipH) || on(flipV))
        return std::nullopt;
    bool ok = true;
    const qint64 angle = rot.isEmpty() ? 0 : rot.toLongLong(&ok);
    if (!ok || angle % kQuarterTurn != 0)
        return std::nullopt;
    return int((angle / kQuarterTurn % 4 + 4) % 4);
}

std::vector<Shown> slideShows(Package& package, const QString& slidePart) {
    const QHash<QString, Relationship> rels = relationshipsOf(package, slidePart);
    const std::optional<QByteArray> bytes = package.read(slidePart, kMaxPartBytes);
    if (!bytes)
        refuse(QStringLiteral("the deck lacks its slide %1").arg(slidePart));
    PartXml xml(*bytes, slidePart);
    std::vector<Shown> out;
    // Within a shape: 0 none, else its depth; a text box's paragraphs.
    int depth = 0, picture = 0, shape = 0;
    bool framed = false;
    std::optional<QString> placeholder;
    QStringList paragraphs;
    for (;;) {
        const QXmlStreamReader::TokenType t = xml.nextTag();
        if (t == QXmlStreamReader::EndDocument)
            break;
        if (t == QXmlStreamReader::EndElement) {
            if (picture == depth)
                picture = 0;
            if (shape == depth) {
                if (!paragraphs.isEmpty())
                    out.push_back({false, {}, paragraphs.join(QLatin1Char('\n')), {}, placeholder});
                shape = 0;
            }
            --depth;
            continue;
        }
        ++depth;
        if (!picture && !shape && xml.is(kPml, "pic")) {
            picture = depth;
            framed = false;
            out.push_back({true, {}, {}, 0, {}});
        } else if (picture && !framed && xml.is(kDml, "xfrm")) {
            framed = true;
            out.back().quarters =
                quartersOf(xml.attribute("rot"), xml.attribute("flipH"), xml.attribute("flipV"));
        } else if (picture && xml.is(kDml, "blip")) {
            const Relationship r = rels.value(xml.attribute(pptx::ns::kRel, "embed"));
            out.back().part = r.type == QLatin1String(pptx::reltype::kImage) ? r.part : QString();
        } else if (!picture && !shape && xml.is(kPml, "sp")) {
            shape = depth;
            placeholder.reset();
            paragraphs.clear();
        } else if (shape && xml.is(kPml, "ph")) {
            // A layout's placeholder, the title slide's: no photo's box. Not every application
            // marks a text box as one (txBox): any other shape with text is taken for it.
            placeholder = xml.attribute("type");
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

// Each picture the deck's slides show, in order: its slide (from 0), its stored part, the
// text of the first text box after it on its slide and its turn.
struct DeckPicture {
    int slide = 0;
    QString part;
    QString text;
    std::optional<int> quarters;
};

// What the deck's slides show, and what else tells how its album was built.
struct DeckSlides {
    std::vector<DeckPicture> pictures;
    // The slides' size in EMU; 0 when the deck gives none.
    qint64 width = 0, height = 0;
    // The texts of a first slide's title placeholders when it shows no picture.
    QString title, subtitle;
};

// The presentation part and its relationships.
struct Presentation {
    QString part;
    QHash<QString, Relationship> rels;
};

DeckSlides readSlides(Package& package, const Presentation& presentation) {
    const std::optional<QByteArray> bytes = package.read(presentation.part, kMaxPartBytes);
    if (!bytes)
        refuse(QStringLiteral("the deck lacks its presentation part %1").arg(presentation.part));
    DeckSlides out;
    QStringList slides;
    PartXml xml(*bytes, presentation.part);
    while (xml.next()) {
        if (xml.is(kPml, "sldSz")) {
            out.width = xml.attribute("cx").toLongLong();
            out.height = xml.attribute("cy").toLongLong();
        }
        if (!xml.is(kPml, "sldId"))
            continue;
        if (slides.size() == kMaxSlides)
            refuse(QStringLiteral("the deck has more than %1 slides").arg(kMaxSlides));
        const Relationship r = presentation.rels.value(xml.attribute(pptx::ns::kRel, "id"));
        if (r.type != QLatin1String(pptx::reltype::kSlide) || r.part.isEmpty())
            refuse(QStringLiteral("the deck lists a slide it does not hold"));
        slides << r.part;
    }
    std::vector<DeckPicture>& pictures = out.pictures;
    for (int s = 0; s < slides.size(); ++s) {
        const std::vector<Shown> shows = slideShows(package, slides[s]);
        // The picture just shown on this slide, until a box follows it; -1 none.
        qsizetype boxless = -1;
        for (const Shown& shown : shows) {
            if (shown.picture) {
                if (qsizetype(pictures.size()) == kMaxRecipePhotos)
                    refuse(QStringLiteral("the deck shows more than %1 pictures")
                               .arg(kMaxRecipePhotos));
                boxless = qsizetype(pictures.size());
                pictures.push_back({s, shown.part, {}, shown.quarters});
            } else if (!shown.placeholder && boxless >= 0) {
                pictures[std::size_t(boxless)].text = shown.text;
                boxless = -1;
            }
        }
        if (s > 0 || std::any_of(shows.begin(), shows.end(),
                                 [](const Shown& shown) { return shown.picture; }))
            continue;
        for (const Shown& shown : shows) {
            const QString type = shown.placeholder.value_or(QString());
            if (out.title.isEmpty() &&
                (type == QLatin1String("title") || type == QLatin1String("ctrTitle")))
                out.title = shown.text;
            else if (out.subtitle.isEmpty() && type == QLatin1String("subTitle"))
                out.subtitle = shown.text;
        }
    }
    return out;
}

// The pictures are the recipe's photos, each slide holding as many as its layout places.
void checkAgreement(const AlbumRecipe& recipe, const std::vector<DeckPicture>& pictures,
                    Package& package) {
    const qsizetype named = qsizetype(recipe.photos.size());
    if (qsizetype(pictures.size()) != named)
        refuse(QStringLiteral("its recipe names %1 photos, but its slides show %2 pictures")
                   .arg(named)
                   .arg(pictures.size()));
    const int each = photosPerSlide(recipe.album.build.layout);
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

std::unique_ptr<Package> openPackage(const QString& deckPath) {
    Descriptor file;
    file.fd =
        ::open(nativePath(deckPath).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0)
        refuse(QStringLiteral("cannot read the deck: %1").arg(errnoText(errno)));
    struct stat st;
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        refuse(QStringLiteral("the deck is not a regular file"));
    return std::make_unique<Package>(file);
}

Presentation presentationOf(Package& package) {
    Presentation out;
    for (const Relationship& r : relationshipsOf(package, QString()))
        if (r.type == QLatin1String(pptx::reltype::kOfficeDocument))
            out.part = r.part;
    if (out.part.isEmpty())
        refuse(QStringLiteral("the deck has no presentation"));
    out.rels = relationshipsOf(package, out.part);
    return out;
}

std::optional<AlbumRecipe> findRecipe(Package& package, const Presentation& presentation) {
    // Ours is the custom part whose XML is in our namespace; others are passed over. LibreOffice
    // keeps the part when it saves a deck but drops its relationship: then it is found by its
    // name, among the custom parts.
    QStringList related;
    for (const Relationship& r : presentation.rels)
        if (r.type == QLatin1String(pptx::reltype::kCustomXml) && !r.part.isEmpty())
            related << r.part;
    related.sort();
    static const QRegularExpression itemName(QStringLiteral("^customXml/item\\d+\\.xml$"),
                                             QRegularExpression::CaseInsensitiveOption);
    for (const QStringList& items :
         {related, package.partsMatching(itemName, kMaxUnrelatedItems)}) {
        for (const QString& item : items) {
            const std::optional<QByteArray> start = package.read(item, kSniffBytes, true);
            if (start && pptx::isAlbumItem(*start))
                return pptx::parseAlbumItem(*package.read(item, pptx::kMaxAlbumItemBytes));
        }
    }
    return std::nullopt;
}

// The recipe's photos on the slides that show them, each marked for where it is shown from.
void placePhotos(AlbumRecipe& recipe, const DeckSlides& slides, Package& package) {
    const std::vector<DeckPicture>& pictures = slides.pictures;
    checkAgreement(recipe, pictures, package);
    QHash<QString, bool> checked;
    for (std::size_t k = 0; k < recipe.photos.size(); ++k) {
        RecipePhoto& photo = recipe.photos[k];
        photo.recordedPath = photo.path;
        photo.mediaPart = pictures[k].part;
        photo.deckText = pictures[k].text;
        const QString key = photo.path + QLatin1Char('\0') + QString::number(photo.size) +
                            QString::fromLatin1(photo.sha256.toHex());
        auto known = checked.find(key);
        if (known == checked.end())
            known = checked.insert(key, stillThere(photo));
        photo.source = *known ? RecipePhoto::Source::File : RecipePhoto::Source::Deck;
    }
}

std::optional<AlbumRecipe> readRecipe(const QString& deckPath) {
    const std::unique_ptr<Package> package = openPackage(deckPath);
    const Presentation presentation = presentationOf(*package);
    std::optional<AlbumRecipe> recipe = findRecipe(*package, presentation);
    if (recipe)
        placePhotos(*recipe, readSlides(*package, presentation), *package);
    return recipe;
}

// At most as much of a deck's text as a recipe takes, not splitting a character.
QString bounded(const QString& text) {
    if (text.size() <= kMaxRecipeText)
        return text;
    return text.left(text[kMaxRecipeText].isLowSurrogate() ? kMaxRecipeText - 1 : kMaxRecipeText);
}

// The album a deck without a recipe shows: a photo for each stored picture (a linked one has
// nothing to show it from), the box under it its caption unless it still says what the
// Description caption puts there, placed as the slides place them.
AlbumRecipe albumOfSlides(const DeckSlides& slides, Package& package) {
    AlbumRecipe recipe;
    BuildOptions& build = recipe.album.build;
    std::map<int, int> onSlide;
    for (const DeckPicture& picture : slides.pictures) {
        if (picture.part.isEmpty() || !package.has(picture.part))
            continue;
        RecipePhoto& photo = recipe.photos.emplace_back();
        photo.text = photo.deckText = bounded(picture.text);
        if (photo.text != QLatin1String("Description"))
            photo.caption = photo.text;
        photo.quarterTurns = picture.quarters.value_or(0);
        photo.source = RecipePhoto::Source::Deck;
        photo.mediaPart = picture.part;
        build.photos.push_back({photo.caption, photo.quarterTurns});
        ++onSlide[picture.slide];
    }
    int most = 0;
    bool two = false, threeOrFour = false;
    for (const auto& [slide, count] : onSlide) {
        most = std::max(most, count);
        two = two || count == 2;
        threeOrFour = threeOrFour || count == 3 || count == 4;
    }
    if (most <= 2 && two)
        build.layout = Layout::TwoPerSlide;
    else if (most <= 4 && threeOrFour)
        build.layout = Layout::FourPerSlide;
    build.wide = slides.width > 0 && slides.width * 9 == slides.height * 16;
    if (!slides.title.isEmpty()) {
        build.title = bounded(slides.title);
        build.subtitle = bounded(slides.subtitle);
    }
    return recipe;
}

// The folder given as a clean path from the root.
QString absoluteClean(const QString& path) {
    return QDir::cleanPath(
        path.startsWith(QLatin1Char('/')) ? path : workingFolder() + QLatin1Char('/') + path);
}

// Copies of a deck's stored pictures in a folder, named by what they hold. Those made are
// removed again unless kept, so that a deck refused halfway leaves nothing of itself.
class PictureCopies {
public:
    explicit PictureCopies(const QString& folder) : folder_(absoluteClean(folder)) {}
    ~PictureCopies() {
        if (!kept_)
            for (const QByteArray& name : made_)
                ::unlinkat(folderFd_.fd, name.constData(), 0);
    }
    PictureCopies(const PictureCopies&) = delete;
    PictureCopies& operator=(const PictureCopies&) = delete;

    // The path of the copy of the part's picture.
    QString copy(Package& package, const QString& part) {
        if (const auto known = byPart_.constFind(part); known != byPart_.constEnd())
            return *known;
        const std::optional<QByteArray> bytes = package.readPicture(part);
        if (!bytes)
            refuse(QStringLiteral("the deck lacks its picture %1").arg(printablePath(part)));
        const ByteSource source(*bytes);
        const auto row = std::find_if(kPictureFormats.begin(), kPictureFormats.end(),
                                      [&](const PictureFormatRow& r) { return r.matches(source); });
        if (row == kPictureFormats.end())
            refuse(QStringLiteral("the deck's part %1 holds no picture of a format Slidemill reads")
                       .arg(printablePath(part)));
        const char* extension = pptx::mediaType(row->format).extension;
        pptx::Sha256 hash;
        hash.add(bytes->constData(), bytes->size());
        const QByteArray digest = hash.result();
        const QByteArray name =
            digest.toHex().left(32) + '.' +
            (extension ? QByteArray(extension) : QByteArray(row->name).toLower());
        const int folder = folderFd();
        if (!alreadyThere(folder, name, *bytes, digest)) {
            write(folder, name, *bytes, part);
            made_ << name;
        }
        const QString path =
            QDir::cleanPath(folder_ + QLatin1Char('/') + QString::fromLatin1(name));
        byPart_.insert(part, path);
        return path;
    }

    // The copies made are on the disk under their names.
    void keep() {
        if (!made_.isEmpty() && ::fsync(folderFd_.fd) != 0 && errno != EINVAL && errno != EROFS)
            cannotWrite(QString(), errno);
        kept_ = true;
    }

private:
    [[noreturn]] void cannotWrite(const QString& part, int error) {
        refuse(QStringLiteral("cannot copy its picture%1 into %2: %3")
                   .arg(part.isEmpty() ? QString() : QLatin1Char(' ') + printablePath(part),
                        printablePath(folder_), errnoText(error)));
    }

    // The folder, made if missing.
    int folderFd() {
        if (folderFd_.fd >= 0)
            return folderFd_.fd;
        const QByteArray native = nativePath(folder_);
        for (qsizetype slash = 0; slash >= 0;) {
            slash = native.indexOf('/', slash + 1);
            const QByteArray upTo = slash < 0 ? native : native.left(slash);
            if (::mkdir(upTo.constData(), 0700) != 0 && errno != EEXIST)
                cannotWrite(QString(), errno);
        }
        folderFd_.fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd_.fd < 0)
            cannotWrite(QString(), errno);
        return folderFd_.fd;
    }

    // A regular file of that name with those bytes: a copy made before.
    static bool alreadyThere(int folder, const QByteArray& name, const QByteArray& bytes,
                             const QByteArray& digest) {
        Descriptor file;
        file.fd = ::openat(folder, name.constData(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat st;
        if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_size != bytes.size())
            return false;
        try {
            return pptx::sha256OfFile(file.fd, bytes.size(), QString::fromLatin1(name)) == digest;
        } catch (const RuntimeError&) {
            return false;
        }
    }

    // Written under a name no one else uses, then renamed over whatever holds the name.
    void write(int folder, const QByteArray& name, const QByteArray& bytes, const QString& part) {
        QByteArray temporary;
        Descriptor file;
        for (int attempt = 0; file.fd < 0; ++attempt) {
            temporary = ".slidemill-" +
                        QByteArray::number(QRandomGenerator::system()->generate64(), 16) + ".part";
            file.fd = ::openat(folder, temporary.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (file.fd < 0 && (errno != EEXIST || attempt == 100))
                cannotWrite(part, errno);
        }
        int error = 0;
        for (qint64 done = 0; done < bytes.size() && !error;) {
            const ssize_t n =
                ::write(file.fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EINTR)
                error = errno;
        }
        if (!error && ::fsync(file.fd) != 0 && errno != EINVAL)
            error = errno;
        if (!error && ::close(std::exchange(file.fd, -1)) != 0)
            error = errno;
        if (!error && ::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
            error = errno;
        if (error) {
            ::unlinkat(folder, temporary.constData(), 0);
            cannotWrite(part, error);
        }
    }

    QString folder_;
    Descriptor folderFd_;
    QHash<QString, QString> byPart_;
    QList<QByteArray> made_;
    bool kept_ = false;
};

OpenedAlbum openDeck(const QString& deckPath, const QString& pictureFolder) {
    const std::unique_ptr<Package> package = openPackage(deckPath);
    const Presentation presentation = presentationOf(*package);
    std::optional<AlbumRecipe> recipe = findRecipe(*package, presentation);
    const DeckSlides slides = readSlides(*package, presentation);
    OpenedAlbum out;
    out.hadRecipe = recipe.has_value();
    if (recipe) {
        placePhotos(*recipe, slides, *package);
        out.recipe = std::move(*recipe);
    } else {
        out.recipe = albumOfSlides(slides, *package);
    }
    PictureCopies copies(pictureFolder);
    for (std::size_t k = 0; k < out.recipe.photos.size(); ++k) {
        RecipePhoto& photo = out.recipe.photos[k];
        if (photo.source != RecipePhoto::Source::Deck)
            continue;
        photo.path = copies.copy(*package, photo.mediaPart);
        // The copy is the picture as stored: the deck's turn of it is the photo's.
        if (out.hadRecipe && slides.pictures[k].quarters) {
            photo.quarterTurns = *slides.pictures[k].quarters;
            out.recipe.album.build.photos[k].quarterTurns = photo.quarterTurns;
        }
    }
    copies.keep();
    return out;
}

} // namespace

std::optional<AlbumRecipe> readAlbumRecipe(const QString& deckPath) {
    try {
        return readRecipe(deckPath);
    } catch (...) {
        throw RuntimeError::from(std::current_exception(), deckPath);
    }
}

OpenedAlbum openAlbumDeck(const QString& deckPath, const QString& pictureFolder) {
    try {
        return openDeck(deckPath, pictureFolder);
    } catch (...) {
        throw RuntimeError::from(std::current_exception(), deckPath);
    }
}

bool isDeckPicture(const QString& path, const QString& pictureFolder) {
    if (path.isEmpty() || pictureFolder.isEmpty())
        return false;
    const QString file = absoluteClean(path);
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    return slash < file.size() - 1 &&
           file.left(std::max<qsizetype>(slash, 1)) == absoluteClean(pictureFolder);
}

} // namespace slidemill
