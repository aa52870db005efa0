// The package this host writes, in the order of its zip entries:
//
//   Presentation N.pptx
//   ├── [Content_Types].xml
//   ├── _rels/.rels
//   ├── docProps/
//   │   ├── core.xml
//   │   └── app.xml
//   └── ppt/
//       ├── presentation.xml
//       ├── _rels/presentation.xml.rels     rId1 master, rId2.. slides, then the rest
//       ├── slideMasters/slideMaster1.xml   (+ _rels: rId1 layout, rId2 theme)
//       ├── slideLayouts/slideLayout1.xml   (+ _rels: rId1 master)  the blank layout
//       ├── theme/theme1.xml
//       ├── presProps.xml
//       ├── viewProps.xml
//       ├── tableStyles.xml
//       ├── slides/slideN.xml               (+ _rels: rId1 layout, rId2.. pictures)
//       └── media/imageN.<png|jpeg|gif|bmp|tiff|wmf|emf>
//
// XML parts are deflated; pictures are stored as they are, streamed from their files when
// the zip is closed (a photo that its shape turns upright with its EXIF orientation set to
// 1). Every entry carries the same time stamp and attributes, so equal decks give equal files.
#include "host/pptx/packager.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/pptx/contenttypes.h"
#include "host/pptx/docpropsapp.h"
#include "host/pptx/docpropscore.h"
#include "host/pptx/presentation.h"
#include "host/pptx/presprops.h"
#include "host/pptx/relationships.h"
#include "host/pptx/slide.h"
#include "host/pptx/slidelayout.h"
#include "host/pptx/slidemaster.h"
#include "host/pptx/theme.h"
#include "host/pptx/uprightsource.h"
#include "slides/picturemetrics.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace slidemill::pptx {

namespace {

QString saveError(const QString& cause) {
    return QStringLiteral("Saving the presentation: %1").arg(cause);
}

// Noon of 1980-01-01, the first day a zip time stamp can hold; taken in local time because libzip
// converts with localtime(), so the stored fields are the same in every time zone.
std::time_t fixedTimeStamp() {
    std::tm tm{};
    tm.tm_year = 80;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// An open zip that is thrown away unless closed successfully.
class ZipWriter {
public:
    explicit ZipWriter(const QString& path) : path_(path) {
        int error = 0;
        zip_ = zip_open(nativePath(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!zip_) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, error);
            const QString cause = QString::fromLocal8Bit(zip_error_strerror(&ze));
            zip_error_fini(&ze);
            throw RuntimeError(errPathFileAccess, saveError(cause), path);
        }
    }
    ~ZipWriter() {
        if (zip_)
            zip_discard(zip_);
    }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // An XML part, deflated. `bytes` must live until close().
    void addXml(const QString& name, const QByteArray& bytes) {
        zip_source_t* source = zip_source_buffer(zip_, bytes.constData(), bytes.size(), 0);
        add(name, source, ZIP_CM_DEFLATE);
    }

    // A picture, stored; its bytes are read from `file` only when the zip is closed.
    void addFile(const QString& name, const QString& file) {
        zip_source_t* source = zip_source_file(zip_, nativePath(file).constData(), 0, -1);
        if (!source)
            fail(file);
        add(name, source, ZIP_CM_STORE);
    }

    // The same with the file's orientation field rewritten to 1 on the way in.
    void addUprightFile(const QString& name, const QString& file, const OrientationField& field) {
        zip_source_t* source = uprightFileSource(zip_, file, field);
        if (!source)
            fail(file);
        add(name, source, ZIP_CM_STORE);
    }

    void close() {
        if (zip_close(zip_) != 0)
            fail(path_);
        zip_ = nullptr;
    }

private:
    void add(const QString& name, zip_source_t* source, zip_int32_t method) {
        if (!source)
            fail(path_);
        const zip_int64_t index =
            zip_file_add(zip_, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            fail(path_);
        }
        const auto i = static_cast<zip_uint64_t>(index);
        if (zip_set_file_compression(zip_, i, method, 0) != 0 ||
            zip_file_set_mtime(zip_, i, stamp_, 0) != 0 ||
            zip_file_set_external_attributes(zip_, i, 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(S_IFREG | 0644) << 16) != 0)
            fail(path_);
    }

    [[noreturn]] void fail(const QString& file) {
        throw RuntimeError(errPathFileAccess, saveError(QString::fromLocal8Bit(zip_strerror(zip_))),
                           file);
    }

    QString path_;
    zip_t* zip_ = nullptr;
    std::time_t stamp_ = fixedTimeStamp();
};

QString slidePart(std::size_t i) {
    return QStringLiteral("ppt/slides/slide%1.xml").arg(i + 1);
}

QString slideRelsPart(std::size_t i) {
    return QStringLiteral("ppt/slides/_rels/slide%1.xml.rels").arg(i + 1);
}

} // namespace

std::vector<XmlPart> xmlParts(const Deck& deck) {
    ContentTypes types;
    for (const Media& m : deck.media)
        types.addDefault(extension(m.format), contentType(m.format));
    for (std::size_t i = 0; i < deck.slides.size(); ++i)
        types.addOverride(QLatin1Char('/') + slidePart(i), QLatin1String(ctype::kSlide));

    Relationships packageRels;
    packageRels.add(reltype::kOfficeDocument, QStringLiteral("ppt/presentation.xml"));
    packageRels.add(reltype::kCoreProperties, QStringLiteral("docProps/core.xml"));
    packageRels.add(reltype::kExtendedProperties, QStringLiteral("docProps/app.xml"));

    Relationships presentationRels;
    const QString masterId = presentationRels.add(reltype::kSlideMaster,
                                                  QStringLiteral("slideMasters/slideMaster1.xml"));
    QStringList slideIds;
    for (std::size_t i = 0; i < deck.slides.size(); ++i)
        slideIds << presentationRels.add(reltype::kSlide,
                                         QStringLiteral("slides/slide%1.xml").arg(i + 1));
    presentationRels.add(reltype::kPresProps, QStringLiteral("presProps.xml"));
    presentationRels.add(reltype::kViewProps, QStringLiteral("viewProps.xml"));
    presentationRels.add(reltype::kTheme, QStringLiteral("theme/theme1.xml"));
    presentationRels.add(reltype::kTableStyles, QStringLiteral("tableStyles.xml"));

    Relationships masterRels;
    const QString layoutId =
        masterRels.add(reltype::kSlideLayout, QStringLiteral("../slideLayouts/slideLayout1.xml"));
    masterRels.add(reltype::kTheme, QStringLiteral("../theme/theme1.xml"));

    Relationships layoutRels;
    layoutRels.add(reltype::kSlideMaster, QStringLiteral("../slideMasters/slideMaster1.xml"));

    std::vector<XmlPart> parts{
        {QStringLiteral("[Content_Types].xml"), types.xml()},
        {QStringLiteral("_rels/.rels"), packageRels.xml()},
        {QStringLiteral("docProps/core.xml"), docPropsCoreXml()},
        {QStringLiteral("docProps/app.xml"), docPropsAppXml(int(deck.slides.size()))},
        {QStringLiteral("ppt/presentation.xml"), presentationXml(masterId, slideIds)},
        {QStringLiteral("ppt/_rels/presentation.xml.rels"), presentationRels.xml()},
        {QStringLiteral("ppt/slideMasters/slideMaster1.xml"), slideMasterXml(layoutId)},
        {QStringLiteral("ppt/slideMasters/_rels/slideMaster1.xml.rels"), masterRels.xml()},
        {QStringLiteral("ppt/slideLayouts/slideLayout1.xml"), slideLayoutXml()},
        {QStringLiteral("ppt/slideLayouts/_rels/slideLayout1.xml.rels"), layoutRels.xml()},
        {QStringLiteral("ppt/theme/theme1.xml"), themeXml()},
        {QStringLiteral("ppt/presProps.xml"), presPropsXml()},
        {QStringLiteral("ppt/viewProps.xml"), viewPropsXml()},
        {QStringLiteral("ppt/tableStyles.xml"), tableStylesXml()},
    };

    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        const Slide& slide = deck.slides[i];
        Relationships rels;
        rels.add(reltype::kSlideLayout, QStringLiteral("../slideLayouts/slideLayout1.xml"));
        QHash<int, QString> mediaIds;
        for (const Shape& s : slide.shapes) {
            if (s.kind != Shape::Kind::Picture || mediaIds.contains(s.media))
                continue;
            const QString target = QStringLiteral("../media/") +
                                   deck.media[std::size_t(s.media)].partName.section('/', -1);
            mediaIds.insert(s.media, rels.add(reltype::kImage, target));
        }
        parts.push_back({slidePart(i), slideXml(slide, mediaIds)});
        parts.push_back({slideRelsPart(i), rels.xml()});
    }
    return parts;
}

void writePackage(const Deck& deck, const QString& path) {
    // A picture that went away since it was added is named here, not as a bare read error
    // of the whole package.
    for (const Media& m : deck.media) {
        const int fd = ::open(nativePath(m.sourcePath).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw RuntimeError(errPathFileAccess,
                               saveError(QStringLiteral("cannot read the picture: %1")
                                             .arg(QString::fromLocal8Bit(std::strerror(errno)))),
                               m.sourcePath);
        ::close(fd);
    }

    const std::vector<XmlPart> parts = xmlParts(deck);
    ZipWriter zip(path);
    for (const XmlPart& part : parts)
        zip.addXml(part.name, part.xml);
    for (const Media& m : deck.media) {
        // Everything else is stored exactly as its file holds it.
        if (m.orientationOffset >= 0)
            zip.addUprightFile(m.partName, m.sourcePath,
                               {m.orientationOffset, m.orientationBigEndian, m.orientation});
        else
            zip.addFile(m.partName, m.sourcePath);
    }
    zip.close();
}

} // namespace slidemill::pptx
