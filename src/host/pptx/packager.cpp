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
//       ├── slideLayouts/slideLayout2.xml   (+ _rels) the title layout, when a slide has it
//       ├── theme/theme1.xml
//       ├── presProps.xml
//       ├── viewProps.xml
//       ├── tableStyles.xml
//       └── slides/slideN.xml               (+ _rels: rId1 layout, rId2.. pictures)
//   ├── media/mediaN.<mp3|m4a|wav>          the music, each file once, and the icon its
//   ├── media/sound.png                     shapes on the first slide show
//   customXml/                              when the deck keeps its album's recipe
//   ├── item1.xml                           (+ _rels: rId1 its properties), related from
//   └── itemProps1.xml                      the presentation after the fixed parts
//
// XML parts are deflated; pictures are stored as they are (a photo that its shape turns
// upright with its EXIF orientation set to 1), or as the upright JPEG or PNG made of them
// (HEIC, HEIF, AVIF and WebP always). A picture that failed is not in the directory.
#include "host/pptx/packager.h"

#include "core/faults.h"
#include "host/pptx/contenttypes.h"
#include "host/pptx/customxml.h"
#include "host/pptx/docpropsapp.h"
#include "host/pptx/docpropscore.h"
#include "host/pptx/mediatypes.h"
#include "host/pptx/orientation.h"
#include "host/pptx/presentation.h"
#include "host/pptx/presprops.h"
#include "host/pptx/relationships.h"
#include "host/pptx/saveerror.h"
#include "host/pptx/savefile.h"
#include "host/pptx/sha256.h"
#include "host/pptx/slide.h"
#include "host/pptx/slidelayout.h"
#include "host/pptx/slidemaster.h"
#include "host/pptx/theme.h"
#include "host/pptx/zipwriter.h"
#include "pictures/cores.h"
#include "pictures/measuredfile.h"
#include "pictures/picturepool.h"

#include "core/runtimeerror.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace slidemill::pptx {

using pictures::MeasuredFile;

namespace {

// Pictures opened and waiting to be written, whose start the disk is asked to read meanwhile.
constexpr std::size_t kFilesAhead = 4;
constexpr qint64 kReadAhead = qint64(16) << 20;

// What the XML parts are made from.
struct Context {
    const Deck& deck;
    // The stored pictures the deck shows, by Deck::media index.
    const QHash<int, StoredPicture>& shown;
    Relationships package, presentation, master, layout;
    QString masterId;
    // The master's layouts: the blank one, then the title one when a slide has it.
    QStringList layoutIds;
    QStringList slideIds;
    // The music's parts, each file once.
    std::vector<std::pair<QString, MusicFormat>> musicParts;
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
     [](const Context& c) {
         return docPropsAppXml(int(c.deck.slides.size()), c.deck.slideWidthEmu,
                               c.deck.slideHeightEmu);
     }},
    {"ppt/presentation.xml", ctype::kPresentation, Owner::Package, reltype::kOfficeDocument,
     [](const Context& c) {
         return presentationXml(c.masterId, c.slideIds, c.deck.slideWidthEmu,
                                c.deck.slideHeightEmu);
     }},
    {"ppt/_rels/presentation.xml.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.presentation.xml(); }},
    {"ppt/slideMasters/slideMaster1.xml", ctype::kSlideMaster, Owner::Presentation,
     reltype::kSlideMaster,
     [](const Context& c) { return slideMasterXml(c.layoutIds, c.deck.background); }},
    {"ppt/slideMasters/_rels/slideMaster1.xml.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.master.xml(); }},
    {"ppt/slideLayouts/slideLayout1.xml", ctype::kSlideLayout, Owner::Master, reltype::kSlideLayout,
     [](const Context& c) { return slideLayoutXml(Layout::Blank, c.deck); }},
    {"ppt/slideLayouts/_rels/slideLayout1.xml.rels", nullptr, Owner::None, nullptr,
     [](const Context& c) { return c.layout.xml(); }},
    {"ppt/theme/theme1.xml", ctype::kTheme, Owner::Presentation, reltype::kTheme,
     [](const Context&) { return themeXml(); }},
    {"ppt/presProps.xml", ctype::kPresProps, Owner::Presentation, reltype::kPresProps,
     [](const Context& c) { return presPropsXml(c.deck.loop); }},
    {"ppt/viewProps.xml", ctype::kViewProps, Owner::Presentation, reltype::kViewProps,
     [](const Context&) { return viewPropsXml(); }},
    {"ppt/tableStyles.xml", ctype::kTableStyles, Owner::Presentation, reltype::kTableStyles,
     [](const Context&) { return tableStylesXml(); }},
};

constexpr char kMaster[] = "ppt/slideMasters/slideMaster1.xml";
constexpr char kLayout[] = "ppt/slideLayouts/slideLayout1.xml";
constexpr char kTheme[] = "ppt/theme/theme1.xml";
// The title layout is in the package only when a slide has it, so that a deck of photos is
// the same as before there was one.
constexpr char kTitleLayout[] = "ppt/slideLayouts/slideLayout2.xml";
constexpr char kTitleLayoutRels[] = "ppt/slideLayouts/_rels/slideLayout2.xml.rels";
// The album's recipe, when the deck keeps one.
constexpr char kCustomXml[] = "customXml/item1.xml";
constexpr char kCustomXmlRels[] = "customXml/_rels/item1.xml.rels";
constexpr char kCustomXmlProps[] = "customXml/itemProps1.xml";

bool hasTitleSlide(const Deck& deck) {
    return std::any_of(deck.slides.begin(), deck.slides.end(),
                       [](const Slide& s) { return s.layout == Layout::Title; });
}

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
    for (const StoredPicture& p : c.shown)
        types.addDefault(extension(p.format), contentType(p.format));
    for (const auto& [part, format] : c.musicParts)
        types.addDefault(QLatin1String(musicExtension(format)),
                         QLatin1String(musicContentType(format)));
    if (!c.musicParts.empty())
        types.addDefault(QStringLiteral("png"), contentType(PictureFormat::Png));
    for (const FixedPart& p : kFixedParts) {
        if (!p.contentType)
            continue;
        const bool show = c.deck.slideShow && p.contentType == ctype::kPresentation;
        types.addOverride(QLatin1Char('/') + QLatin1String(p.name),
                          QLatin1String(show ? ctype::kSlideShow : p.contentType));
    }
    if (hasTitleSlide(c.deck))
        types.addOverride(QLatin1Char('/') + QLatin1String(kTitleLayout),
                          QLatin1String(ctype::kSlideLayout));
    for (std::size_t i = 0; i < c.deck.slides.size(); ++i)
        types.addOverride(QLatin1Char('/') + slidePart(i), QLatin1String(ctype::kSlide));
    if (c.deck.customXml)
        types.addOverride(QLatin1Char('/') + QLatin1String(kCustomXmlProps),
                          QLatin1String(ctype::kCustomXmlProperties));
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
            c.layoutIds << c.master.add(p.relationship, target(masterFolder, name));
            break;
        }
    }
    c.master.add(reltype::kTheme, target(masterFolder, QLatin1String(kTheme)));
    if (hasTitleSlide(c.deck))
        c.layoutIds << c.master.add(reltype::kSlideLayout,
                                    target(masterFolder, QLatin1String(kTitleLayout)));
    c.layout.add(reltype::kSlideMaster,
                 target(QLatin1StringView("ppt/slideLayouts/"), QLatin1String(kMaster)));
    // Last, so that a deck without it numbers its relationships as before.
    if (c.deck.customXml)
        c.presentation.add(reltype::kCustomXml,
                           target(presentationFolder, QLatin1String(kCustomXml)));
}

// The bytes made of a picture, and the SHA-256 of the file they were made from when asked.
struct Made {
    MadePicture picture;
    QByteArray sha256;
};

// A picture waiting to be stored: its file opened and checked, or the bytes being made.
struct Job {
    int index = -1;
    Media media;
    std::unique_ptr<MeasuredFile> file;
    pictures::PoolJob<Made> made;

    Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;
    // A package given up drops the picture not begun and waits for the one being made, whose
    // maker may use what the build holds.
    ~Job() {
        if (made.result.valid() && !pictures::PicturePool::shared().withdraw(made.ticket))
            made.result.wait();
    }
};

// The turn a picture stored as its file needs on the slide.
Turn turnOf(const Picture& picture) {
    return formatRow(picture.format).storage == Storage::AsIs ? uprightTurn(picture.orientation)
                                                              : Turn{};
}

// Opens the picture's file, checked against what the build measured.
std::unique_ptr<MeasuredFile> openMeasured(const Picture& picture) {
    auto file = std::make_unique<MeasuredFile>(picture.path, picture.file);
    const Turn turn = turnOf(picture);
    if (picture.orientationOffset >= 0 && (turn.rotation != 0 || turn.flipH || turn.flipV)) {
        // Still the value measured there, or the file is not what was measured.
        char field[2];
        if (::pread(file->fd(), field, 2, picture.orientationOffset) != 2 ||
            (picture.orientationBigEndian
                 ? qFromBigEndian<quint16>(field)
                 : qFromLittleEndian<quint16>(field)) != picture.orientation)
            pictureChanged(picture.path);
    }
    return file;
}

// The copy says upright, or an application that honours the tag turns it twice.
Patch uprightPatch(const Picture& picture) {
    const Turn turn = turnOf(picture);
    Patch patch;
    if (picture.orientationOffset < 0 || (turn.rotation == 0 && !turn.flipH && !turn.flipV))
        return patch;
    patch.offset = picture.orientationOffset;
    patch.bytes.resize(2);
    // What openMeasured found there.
    patch.original.resize(2);
    if (picture.orientationBigEndian) {
        qToBigEndian<quint16>(1, patch.bytes.data());
        qToBigEndian<quint16>(quint16(picture.orientation), patch.original.data());
    } else {
        qToLittleEndian<quint16>(1, patch.bytes.data());
        qToLittleEndian<quint16>(quint16(picture.orientation), patch.original.data());
    }
    return patch;
}

constexpr char kSoundIcon[] = "ppt/media/sound.png";

// A loudspeaker, what a sound's shape shows while the deck is edited.
QByteArray soundIconPng() {
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter paint(&icon);
    paint.setRenderHint(QPainter::Antialiasing);
    paint.setPen(Qt::NoPen);
    paint.setBrush(QColor(0x40, 0x40, 0x40));
    paint.drawPolygon(QPolygonF({{4, 12}, {10, 12}, {18, 5}, {18, 27}, {10, 20}, {4, 20}}));
    paint.setPen(QPen(QColor(0x40, 0x40, 0x40), 2.5));
    paint.setBrush(Qt::NoBrush);
    paint.drawArc(QRectF(14, 10, 10, 12), -60 * 16, 120 * 16);
    paint.drawArc(QRectF(14, 5, 16, 22), -60 * 16, 120 * 16);
    paint.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    icon.save(&buffer, "PNG");
    return png;
}

QString mediaPart(int index, PictureFormat format) {
    return QStringLiteral("ppt/media/image%1.%2").arg(index + 1).arg(extension(format));
}

// What the picture's entry is called before its format is known.
QByteArray entryStem(int index) {
    return "ppt/media/image" + QByteArray::number(index + 1) + '.';
}

// A thread that cannot start is the picture's error, in words of our own.
template <typename Start> auto started(int index, Start start) {
    try {
        if (const int fault = injectedFault(IoCall::StartThread, entryStem(index)))
            throw std::system_error(fault, std::generic_category());
        return start();
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), "cannot start a thread");
    }
}

// The shape as it is written: a picture stored as its file is turned upright by its shape.
Shape placed(const Shape& s, const Media& media, const StoredPicture& stored) {
    Shape out = s;
    const Turn turn = stored.upright ? Turn{} : turnOf(media.picture);
    // The host refused a turn that leaves the coordinates the format allows.
    out.frame = unturnedFrame(s.frame, turn).value_or(s.frame);
    out.crop = storedCrop(s.crop, turn);
    // The shape's own turn comes after the one that shows the stored picture upright.
    out.rotation = (turn.rotation + s.rotation) % (360 * 60000);
    out.flipH = turn.flipH;
    out.flipV = turn.flipV;
    return out;
}

} // namespace

struct PackageWriter::State {
    // Every member below writes to or reads from this file; the destructor stops them first.
    std::unique_ptr<SaveFile> file;
    ZipWriter zip;

    // Pictures waiting, in order; the first is being written. Guarded by `mutex`, as is
    // everything up to the worker.
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::unique_ptr<Job>> queue;
    // By Deck::media index: what became of each picture, or its error.
    std::vector<std::optional<StoredPicture>> stored;
    std::vector<std::exception_ptr> failed;
    std::vector<ZipEntry> entries;
    int firstFailed = -1;
    bool closing = false;
    std::thread worker;
    // Every picture's source is hashed as it is stored.
    bool hashSources = false;

    // Pictures written whose CRC is being read back, oldest first: the worker's, or the
    // caller's of drain once the worker is idle.
    struct Checking {
        int index;
        QString path;
        StoredPicture picture;
        WrittenFile written;
    };
    std::deque<Checking> checking;
    qint64 entriesWritten = 0;

    explicit State(std::unique_ptr<SaveFile> f)
        : file(std::move(f)), zip(file->fd(), file->name()) {}

    ~State() {
        // An unfinished package is thrown away: the picture being written is finished, the
        // rest are not begun. Nothing may use the descriptor once `file` closes it.
        {
            const std::lock_guard lock(mutex);
            closing = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
        checking.clear();
        queue.clear();
    }

    // Whatever the picture's work threw becomes its own error, naming it.
    void fail(int index, const std::exception_ptr& thrown, const QString& path) {
        const std::exception_ptr error = std::make_exception_ptr(RuntimeError::from(thrown, path));
        const std::lock_guard lock(mutex);
        failed[std::size_t(index)] = error;
        if (firstFailed < 0 || index < firstFailed)
            firstFailed = index;
    }

    void succeed(int index, const StoredPicture& picture, const ZipEntry& entry) {
        const std::lock_guard lock(mutex);
        stored[std::size_t(index)] = picture;
        entries[std::size_t(index)] = entry;
    }

    // The oldest picture whose CRC is being read back gets its outcome.
    void completeOldest() {
        Checking c = std::move(checking.front());
        checking.pop_front();
        try {
            const ZipEntry entry = zip.complete(c.written);
            c.picture.sha256 = c.written.sha256;
            succeed(c.index, c.picture, entry);
        } catch (...) {
            fail(c.index, std::current_exception(), c.path);
        }
    }

    void write(Job& job) {
        const Picture& picture = job.media.picture;
        if (job.made.result.valid()) {
            const Made m = job.made.result.get();
            const MadePicture& made = m.picture;
            if (!made.bytes.isEmpty()) {
                StoredPicture p{mediaPart(job.index, made.format), made.format, true, m.sha256};
                succeed(job.index, p, zip.addStored(p.part, made.bytes));
                return;
            }
            // Nothing better made: the file itself, as measured.
            job.file = openMeasured(picture);
        }
        // Written to while it waited: no longer what was measured.
        if (!(identityOf(job.file->fd()) == job.file->identity()))
            pictureChanged(picture.path);
        StoredPicture p{mediaPart(job.index, picture.format), picture.format, false, {}};
        checking.push_back({job.index, picture.path, p,
                            zip.addStoredFile(p.part, job.file->fd(), job.file->identity().size,
                                              uprightPatch(picture), picture.path, hashSources)});
        // Two read back at once keep the other core busy without piling up threads.
        while (checking.size() > 2)
            completeOldest();
    }

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !queue.empty(); });
            if (closing)
                return;
            Job& job = *queue.front();
            lock.unlock();
            try {
                write(job);
            } catch (...) {
                fail(job.index, std::current_exception(), job.media.picture.path);
            }
            lock.lock();
            queue.pop_front();
            changed.notify_all();
        }
    }

    // Waits until fewer than `ahead` pictures wait.
    void waitForRoom(std::size_t ahead) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return queue.size() < ahead; });
    }

    void push(std::unique_ptr<Job> job) {
        {
            const std::lock_guard lock(mutex);
            const std::size_t n = std::max(stored.size(), std::size_t(job->index) + 1);
            stored.resize(n);
            failed.resize(n);
            entries.resize(n);
        }
        // The worker exists before any job waits for it: a job nobody takes would be waited
        // for by drain for good.
        if (!worker.joinable()) {
            try {
                worker = started(job->index, [this] { return std::thread(&State::work, this); });
            } catch (...) {
                fail(job->index, std::current_exception(), job->media.picture.path);
                return;
            }
        }
        {
            const std::lock_guard lock(mutex);
            queue.push_back(std::move(job));
        }
        changed.notify_all();
    }
};

PackageWriter::PackageWriter(std::unique_ptr<SaveFile> file)
    : d_(std::make_unique<State>(std::move(file))) {}

PackageWriter::~PackageWriter() = default;

const SaveFile& PackageWriter::file() const {
    return *d_->file;
}

void PackageWriter::hashSources() {
    d_->hashSources = true;
}

void PackageWriter::addPicture(int index, const Media& media, std::function<MadePicture()> make) {
    auto job = std::make_unique<Job>();
    job->index = index;
    job->media = media;
    if (make) {
        // Twice as many ahead as the pool makes at once (as many as there are cores): a picture
        // made before the one the writer waits for keeps its place without idling a core. The
        // decode budget bounds what those being made hold; those made hold their copies.
        d_->waitForRoom(std::size_t(2 * pictures::usableCores()));
        // The picture's entry, for the seam asked about the thread here and about its reads
        // there; a thread that cannot start is the picture's outcome, written in its turn.
        const FaultEntry entry(entryStem(index));
        job->made = pictures::PicturePool::shared().submit(
            pictures::Priority::Build, media.picture.path,
            [make = std::move(make), index, hash = d_->hashSources, picture = media.picture] {
                const FaultEntry entry(entryStem(index));
                Made m{make(), {}};
                // The bytes made went through the decoder, not through here: the file is read
                // once more, most likely from the page cache. A file kept as it is gets its
                // hash as it is stored.
                if (hash && !m.picture.bytes.isEmpty()) {
                    const MeasuredFile file(picture.path, picture.file);
                    m.sha256 = sha256OfFile(file.fd(), file.identity().size, picture.path);
                    file.checkUnchanged();
                }
                return m;
            });
    } else {
        job->file = openMeasured(media.picture);
        ::posix_fadvise(job->file->fd(), 0, std::min(job->file->identity().size, kReadAhead),
                        POSIX_FADV_WILLNEED);
        d_->waitForRoom(kFilesAhead);
    }
    d_->push(std::move(job));
}

std::exception_ptr PackageWriter::firstFailure() const {
    const std::lock_guard lock(d_->mutex);
    return d_->firstFailed < 0 ? nullptr : d_->failed[std::size_t(d_->firstFailed)];
}

void PackageWriter::drain() {
    d_->waitForRoom(1);
    // The worker is idle: what it left being read back is completed here.
    while (!d_->checking.empty())
        d_->completeOldest();
}

const StoredPicture* PackageWriter::stored(int index) const {
    const std::lock_guard lock(d_->mutex);
    if (index < 0 || std::size_t(index) >= d_->stored.size() || !d_->stored[std::size_t(index)])
        return nullptr;
    return &*d_->stored[std::size_t(index)];
}

void PackageWriter::finish(const Deck& deck) {
    drain();
    // The pictures the deck shows, in the order they were written.
    QHash<int, StoredPicture> shown;
    std::vector<int> order;
    for (const Slide& slide : deck.slides) {
        for (const Shape& s : slide.shapes) {
            if (s.kind != Shape::Kind::Picture || shown.contains(s.media))
                continue;
            const StoredPicture* p = stored(s.media);
            if (!p)
                failSave(QStringLiteral("a slide shows a picture that was not stored"),
                         d_->file->name());
            shown.insert(s.media, *p);
            order.push_back(s.media);
        }
    }
    std::sort(order.begin(), order.end());
    std::vector<ZipEntry> directory;
    for (const int i : order)
        directory.push_back(d_->entries[std::size_t(i)]);

    Context c{deck, shown, {}, {}, {}, {}, {}, {}, {}, {}};
    // Each music file once, in the order first played; read now, as the last picture is in.
    std::vector<int> partOfSound;
    if (!deck.slides.empty()) {
        std::vector<FileIdentity> stored;
        for (const MusicFile& music : deck.music) {
            const auto same = std::ranges::find_if(
                stored, [&music](const FileIdentity& f) { return f.sameFile(music.file); });
            if (same != stored.end()) {
                partOfSound.push_back(int(same - stored.begin()));
                continue;
            }
            const QString part = QStringLiteral("ppt/media/media%1.%2")
                                     .arg(c.musicParts.size() + 1)
                                     .arg(QLatin1String(musicExtension(music.format)));
            const MeasuredFile file(music.path, music.file);
            WrittenFile written =
                d_->zip.addStoredFile(part, file.fd(), file.identity().size, Patch{}, music.path);
            directory.push_back(d_->zip.complete(written));
            partOfSound.push_back(int(c.musicParts.size()));
            c.musicParts.emplace_back(part, music.format);
            stored.push_back(music.file);
        }
        if (!stored.empty())
            directory.push_back(d_->zip.addStored(QLatin1String(kSoundIcon), soundIconPng()));
    }
    relate(c);
    for (const FixedPart& p : kFixedParts)
        directory.push_back(d_->zip.addDeflated(QLatin1String(p.name), p.xml(c)));
    if (hasTitleSlide(deck)) {
        directory.push_back(
            d_->zip.addDeflated(QLatin1String(kTitleLayout), slideLayoutXml(Layout::Title, deck)));
        // Every layout belongs to the one master.
        directory.push_back(d_->zip.addDeflated(QLatin1String(kTitleLayoutRels), c.layout.xml()));
    }

    const QLatin1StringView slideFolder("ppt/slides/");
    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        Slide slide = deck.slides[i];
        Relationships rels;
        rels.add(reltype::kSlideLayout,
                 target(slideFolder,
                        QLatin1String(slide.layout == Layout::Title ? kTitleLayout : kLayout)));
        QHash<int, QString> mediaIds;
        for (Shape& s : slide.shapes) {
            if (s.kind != Shape::Kind::Picture)
                continue;
            const StoredPicture& p = shown[s.media];
            s = placed(s, deck.media[std::size_t(s.media)], p);
            if (!mediaIds.contains(s.media))
                mediaIds.insert(s.media, rels.add(reltype::kImage, target(slideFolder, p.part)));
        }
        // The first slide starts the music, whichever slide that is once the build is done.
        SlideMusic music;
        if (i == 0 && !partOfSound.empty()) {
            music.iconRelId =
                rels.add(reltype::kImage, target(slideFolder, QLatin1String(kSoundIcon)));
            music.slides = int(deck.slides.size());
            music.loop = deck.loop;
            for (std::size_t k = 0; k < partOfSound.size(); ++k) {
                const QString part =
                    target(slideFolder, c.musicParts[std::size_t(partOfSound[k])].first);
                SlideSound sound;
                sound.audioRelId = rels.add(reltype::kAudio, part);
                sound.mediaRelId = rels.add(reltype::kMedia, part);
                sound.name = QFileInfo(deck.music[k].path).fileName();
                sound.durationMs = deck.music[k].durationMs;
                music.sounds.push_back(sound);
            }
        }
        directory.push_back(d_->zip.addDeflated(
            slidePart(i), slideXml(slide, mediaIds, music.sounds.empty() ? nullptr : &music)));
        directory.push_back(d_->zip.addDeflated(slideRelsPart(i), rels.xml()));
    }
    if (deck.customXml) {
        directory.push_back(d_->zip.addDeflated(QLatin1String(kCustomXml), deck.customXml->xml));
        Relationships rels;
        rels.add(reltype::kCustomXmlProps,
                 target(QLatin1StringView("customXml/"), QLatin1String(kCustomXmlProps)));
        directory.push_back(d_->zip.addDeflated(QLatin1String(kCustomXmlRels), rels.xml()));
        directory.push_back(d_->zip.addDeflated(
            QLatin1String(kCustomXmlProps),
            itemPropsXml(itemIdOf(deck.customXml->xml), deck.customXml->schema)));
    }
    d_->zip.finish(directory);
    d_->entriesWritten = qint64(directory.size());
}

QString PackageWriter::commit(const std::function<bool(const FileIdentity&)>& isPicture) {
    return d_->file->commit(isPicture);
}

qint64 PackageWriter::bytesWritten() const {
    return d_->zip.bytesWritten();
}

qint64 PackageWriter::entriesWritten() const {
    return d_->entriesWritten;
}

} // namespace slidemill::pptx
