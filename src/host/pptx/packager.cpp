// The package this host writes, in the order of its zip entries:
//
//   Presentation N.pptx
//   ├── ppt/media/imageN.<png|jpeg|gif|bmp|tiff|wmf|emf>   as the pictures come
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
//       └── slides/slideN.xml               (+ _rels: rId1 layout, rId2.. pictures)
//
// XML parts are deflated; pictures are stored as they are (a photo that its shape turns
// upright with its EXIF orientation set to 1), HEIC, HEIF, AVIF and WebP as the upright JPEG
// or PNG their producer makes.
#include "host/pptx/packager.h"

#include "core/nativepath.h"
#include "host/pptx/contenttypes.h"
#include "host/pptx/docpropsapp.h"
#include "host/pptx/docpropscore.h"
#include "host/pptx/mediatypes.h"
#include "host/pptx/presentation.h"
#include "host/pptx/presprops.h"
#include "host/pptx/relationships.h"
#include "host/pptx/saveerror.h"
#include "host/pptx/slide.h"
#include "host/pptx/slidelayout.h"
#include "host/pptx/slidemaster.h"
#include "host/pptx/theme.h"
#include "host/pptx/zipwriter.h"

#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace slidemill::pptx {

namespace {

// Pictures opened and waiting to be written, whose start the disk is asked to read meanwhile.
constexpr std::size_t kFilesAhead = 4;
constexpr qint64 kReadAhead = qint64(16) << 20;

// What the XML parts are made from.
struct Context {
    const Deck& deck;
    // Deck::media indexes that went into the package.
    const std::vector<bool>& stored;
    Relationships package, presentation, master, layout;
    QString masterId, layoutId;
    QStringList slideIds;

    bool shown(const Shape& s) const {
        return s.kind != Shape::Kind::Picture ||
               (s.media >= 0 && std::size_t(s.media) < stored.size() && stored[s.media]);
    }
};

// Who lists a fixed part among its relationships.
enum class Owner { None, Package, Presentation, Master };

// The parts every deck has, in package order: the name, the content type (an override;
// none where the Default for its extension says it), who refers to it and by which
// relationship, and how it is made. The slides follow the master in the presentation's
// relationships.
struct FixedPart {
    const char* name;
    const char* contentType;
    Owner owner;
    const char* relationship;
    QByteArray (*xml)(const Context&);
};

QByteArray contentTypesXml(const Context& c);

constexpr FixedPart kFixedParts[] = {
    {"[Content_Types].xml", nullptr, Owner::None, nullptr, contentTypesXml},
    {"_rels/.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.package.xml(); }},
    {"docProps/core.xml", ctype::kCoreProperties, Owner::Package, reltype::kCoreProperties,
     [](const Context&) { return docPropsCoreXml(); }},
    {"docProps/app.xml", ctype::kExtendedProperties, Owner::Package, reltype::kExtendedProperties,
     [](const Context& c) { return docPropsAppXml(int(c.deck.slides.size())); }},
    {"ppt/presentation.xml", ctype::kPresentation, Owner::Package, reltype::kOfficeDocument,
     [](const Context& c) { return presentationXml(c.masterId, c.slideIds); }},
    {"ppt/_rels/presentation.xml.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.presentation.xml(); }},
    {"ppt/slideMasters/slideMaster1.xml", ctype::kSlideMaster, Owner::Presentation,
     reltype::kSlideMaster, [](const Context& c) { return slideMasterXml(c.layoutId); }},
    {"ppt/slideMasters/_rels/slideMaster1.xml.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.master.xml(); }},
    {"ppt/slideLayouts/slideLayout1.xml", ctype::kSlideLayout, Owner::Master, reltype::kSlideLayout,
     [](const Context&) { return slideLayoutXml(); }},
    {"ppt/slideLayouts/_rels/slideLayout1.xml.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.layout.xml(); }},
    {"ppt/theme/theme1.xml", ctype::kTheme, Owner::Presentation, reltype::kTheme,
     [](const Context&) { return themeXml(); }},
    {"ppt/presProps.xml", ctype::kPresProps, Owner::Presentation, reltype::kPresProps,
     [](const Context&) { return presPropsXml(); }},
    {"ppt/viewProps.xml", ctype::kViewProps, Owner::Presentation, reltype::kViewProps,
     [](const Context&) { return viewPropsXml(); }},
    {"ppt/tableStyles.xml", ctype::kTableStyles, Owner::Presentation, reltype::kTableStyles,
     [](const Context&) { return tableStylesXml(); }},
};

constexpr char kMaster[] = "ppt/slideMasters/slideMaster1.xml";
constexpr char kLayout[] = "ppt/slideLayouts/slideLayout1.xml";
constexpr char kTheme[] = "ppt/theme/theme1.xml";

QString slidePart(std::size_t i) {
    return QStringLiteral("ppt/slides/slide%1.xml").arg(i + 1);
}

QString slideRelsPart(std::size_t i) {
    return QStringLiteral("ppt/slides/_rels/slide%1.xml.rels").arg(i + 1);
}

// `part` as a relationship of a part in `folder` ("" for the package, else ending in '/')
// refers to it.
QString target(QLatin1StringView folder, const QString& part) {
    qsizetype common = 0;
    for (qsizetype i = 0; i < folder.size() && i < part.size() && folder[i] == part[i]; ++i) {
        if (folder[i] == QLatin1Char('/'))
            common = i + 1;
    }
    const auto up = std::count(folder.begin() + common, folder.end(), '/');
    return QStringLiteral("../").repeated(up) + part.mid(common);
}

QByteArray contentTypesXml(const Context& c) {
    ContentTypes types;
    for (std::size_t i = 0; i < c.deck.media.size(); ++i) {
        if (i < c.stored.size() && c.stored[i])
            types.addDefault(extension(c.deck.media[i].format),
                             contentType(c.deck.media[i].format));
    }
    for (const FixedPart& p : kFixedParts) {
        if (p.contentType)
            types.addOverride(QLatin1Char('/') + QLatin1String(p.name),
                              QLatin1String(p.contentType));
    }
    for (std::size_t i = 0; i < c.deck.slides.size(); ++i)
        types.addOverride(QLatin1Char('/') + slidePart(i), QLatin1String(ctype::kSlide));
    return types.xml();
}

void relate(Context& c) {
    const QLatin1StringView presentationFolder("ppt/"), masterFolder("ppt/slideMasters/");
    for (const FixedPart& p : kFixedParts) {
        const QString name = QLatin1String(p.name);
        switch (p.owner) {
        case Owner::None:
            break;
        case Owner::Package:
            c.package.add(p.relationship, name);
            break;
        case Owner::Presentation: {
            const QString id = c.presentation.add(p.relationship, target(presentationFolder, name));
            if (name == QLatin1String(kMaster)) {
                c.masterId = id;
                for (std::size_t i = 0; i < c.deck.slides.size(); ++i)
                    c.slideIds << c.presentation.add(reltype::kSlide,
                                                     target(presentationFolder, slidePart(i)));
            }
            break;
        }
        case Owner::Master:
            c.layoutId = c.master.add(p.relationship, target(masterFolder, name));
            break;
        }
    }
    c.master.add(reltype::kTheme, target(masterFolder, QLatin1String(kTheme)));
    c.layout.add(reltype::kSlideMaster,
                 target(QLatin1StringView("ppt/slideLayouts/"), QLatin1String(kMaster)));
}

// A picture opened and checked, waiting for its bytes to be copied, or being made.
struct Pending {
    int index = -1;
    QString part;
    QString source;
    int fd = -1;
    FileIdentity file;
    Patch patch;
    std::future<QByteArray> made;

    Pending() = default;
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    ~Pending() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens the picture without waiting on whatever is there now, and checks that it is the
// regular file the build measured.
std::unique_ptr<Pending> openMeasured(int index, const Media& media) {
    auto p = std::make_unique<Pending>();
    p->index = index;
    p->part = media.partName;
    p->source = media.sourcePath;
    p->fd = ::open(nativePath(media.sourcePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (p->fd < 0)
        failSave(QStringLiteral("cannot read the picture: %1").arg(errnoText(errno)),
                 media.sourcePath);
    struct stat st;
    if (::fstat(p->fd, &st) != 0 || !S_ISREG(st.st_mode))
        failSave(QStringLiteral("the picture is not a regular file"), media.sourcePath);
    p->file = identityOf(st);
    if (!(p->file == media.file))
        pictureChanged(media.sourcePath);
    if (media.orientationOffset >= 0) {
        // Still the value measured there, or the file is not what was measured.
        char field[2];
        if (::pread(p->fd, field, 2, media.orientationOffset) != 2 ||
            (media.orientationBigEndian ? qFromBigEndian<quint16>(field)
                                        : qFromLittleEndian<quint16>(field)) != media.orientation)
            pictureChanged(media.sourcePath);
        // The copy says upright, or an application that honours the tag turns it twice.
        p->patch.offset = media.orientationOffset;
        p->patch.bytes.resize(2);
        if (media.orientationBigEndian)
            qToBigEndian<quint16>(1, p->patch.bytes.data());
        else
            qToLittleEndian<quint16>(1, p->patch.bytes.data());
    }
    return p;
}

} // namespace

struct PackageWriter::State {
    ZipWriter zip;
    // Deck::media indexes written; the worker's until the queue is empty.
    std::vector<bool> stored;

    // Pictures waiting to be written by the worker thread, in order; the first is being
    // written. The first error it meets is thrown by the next call; it goes on with the rest.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::unique_ptr<Pending>> queue;
    std::exception_ptr error;
    bool closing = false;
    std::thread worker;

    State(int out, const QString& outName) : zip(out, outName) {}
    ~State() {
        // An unfinished package is thrown away: the picture being written is finished, the
        // rest are not begun.
        {
            const std::lock_guard lock(mutex);
            closing = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }

    void write(Pending& p) {
        if (p.made.valid()) {
            zip.addStored(p.part, p.made.get());
        } else {
            // Written to while it waited: no longer what was measured.
            if (!(identityOf(p.fd) == p.file))
                pictureChanged(p.source);
            zip.addStoredFile(p.part, p.fd, p.file.size, p.patch, p.source);
        }
        if (stored.size() <= std::size_t(p.index))
            stored.resize(std::size_t(p.index) + 1);
        stored[std::size_t(p.index)] = true;
    }

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !queue.empty(); });
            if (closing)
                return;
            Pending& p = *queue.front();
            lock.unlock();
            std::exception_ptr failure;
            try {
                write(p);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure && !error)
                error = failure;
            queue.pop_front();
            changed.notify_all();
        }
    }

    void throwError(std::unique_lock<std::mutex>&) {
        if (error)
            std::rethrow_exception(std::exchange(error, nullptr));
    }

    // Waits until fewer than `ahead` pictures wait; throws the worker's error, if any.
    void waitForRoom(std::size_t ahead) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return queue.size() < ahead; });
        throwError(lock);
    }

    void push(std::unique_ptr<Pending> p) {
        {
            const std::lock_guard lock(mutex);
            queue.push_back(std::move(p));
            if (!worker.joinable())
                worker = std::thread(&State::work, this);
        }
        changed.notify_all();
    }
};

PackageWriter::PackageWriter(int out, const QString& outName)
    : d_(std::make_unique<State>(out, outName)) {}

PackageWriter::~PackageWriter() = default;

void PackageWriter::addPicture(int index, const Media& media) {
    std::unique_ptr<Pending> p = openMeasured(index, media);
    ::posix_fadvise(p->fd, 0, std::min(p->file.size, kReadAhead), POSIX_FADV_WILLNEED);
    d_->waitForRoom(kFilesAhead);
    d_->push(std::move(p));
}

void PackageWriter::addProduced(int index, const Media& media,
                                std::function<QByteArray()> produce) {
    // One picture made ahead of the one being written, so that no more than two are held.
    d_->waitForRoom(2);
    auto p = std::make_unique<Pending>();
    p->index = index;
    p->part = media.partName;
    p->source = media.sourcePath;
    p->made = std::async(std::launch::async, std::move(produce));
    d_->push(std::move(p));
}

void PackageWriter::drain() {
    d_->waitForRoom(1);
}

void PackageWriter::finish(const Deck& deck) {
    drain();
    Context c{deck, d_->stored, {}, {}, {}, {}, {}, {}, {}};
    relate(c);
    for (const FixedPart& p : kFixedParts)
        d_->zip.addDeflated(QLatin1String(p.name), p.xml(c));

    const QLatin1StringView slideFolder("ppt/slides/");
    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        Slide slide = deck.slides[i];
        // A picture that could not be stored leaves no shape pointing at nothing.
        std::erase_if(slide.shapes, [&c](const Shape& s) { return !c.shown(s); });
        Relationships rels;
        rels.add(reltype::kSlideLayout, target(slideFolder, QLatin1String(kLayout)));
        QHash<int, QString> mediaIds;
        for (const Shape& s : slide.shapes) {
            if (s.kind != Shape::Kind::Picture || mediaIds.contains(s.media))
                continue;
            mediaIds.insert(
                s.media, rels.add(reltype::kImage,
                                  target(slideFolder, deck.media[std::size_t(s.media)].partName)));
        }
        d_->zip.addDeflated(slidePart(i), slideXml(slide, mediaIds));
        d_->zip.addDeflated(slideRelsPart(i), rels.xml());
    }
    d_->zip.finish();
}

qint64 PackageWriter::bytesWritten() const {
    return d_->zip.bytesWritten();
}

qint64 PackageWriter::entriesWritten() const {
    return d_->zip.entriesWritten();
}

} // namespace slidemill::pptx
