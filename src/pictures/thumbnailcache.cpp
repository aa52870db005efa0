#include "pictures/thumbnailcache.h"

#include "core/nativepath.h"
#include "slides/pngchunks.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill {

namespace {

const QByteArray kUriKey = QByteArrayLiteral("Thumb::URI");
const QByteArray kMTimeKey = QByteArrayLiteral("Thumb::MTime");
const QByteArray kSizeKey = QByteArrayLiteral("Thumb::Size");
const QByteArray kWidthKey = QByteArrayLiteral("Thumb::Image::Width");
const QByteArray kHeightKey = QByteArrayLiteral("Thumb::Image::Height");
// Why a picture cannot be shown, in a failure's PNG; the standard leaves keys starting with
// "X-" to each program.
const QByteArray kProblemKey = QByteArrayLiteral("X-Slidemill::Problem");
// Where a failure's problem is shown, one line of a tool tip: what is longer is someone else's.
constexpr qsizetype kMostProblem = 200;

const QString kFailFolder = QStringLiteral("fail/slidemill-" SLIDEMILL_VERSION);
// Where thumbnails are looked for, in this order, with the standard's longest side for each:
// large is the preview's size and the one written, x-large is fitted into that size, normal is
// smaller but still the picture.
struct Folder {
    const char* name;
    int side;
};
constexpr Folder kLookIn[] = {{"large", 256}, {"x-large", 512}, {"normal", 128}};
// A PNG of side x side takes at most 8 bytes a pixel (16-bit RGBA) stored uncompressed; a file
// larger than that and room for its keys is no thumbnail of that size.
constexpr qint64 mostBytes(int side) {
    return qint64(side) * side * 8 + (qint64(64) << 10);
}
// A failure holds one pixel and its keys.
constexpr qint64 kMostFailureBytes = qint64(64) << 10;
constexpr int kPngQuality = 80;

QString md5Name(const QByteArray& uri) {
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

// The whole of a regular file of at most `most` bytes; none for anything else. Opened without
// waiting, so that a FIFO put in the cache cannot hold a preview up.
std::optional<QByteArray> readSmallFile(const QString& path, qint64 most) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= most) {
        QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, size_t(data.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        if (got == data.size())
            bytes = std::move(data);
    }
    ::close(fd);
    return bytes;
}

// A cache entry as another program may have written it, read without inflating anything: the
// keys from its tEXt chunks (the first of each), and the PNG with only what its pixels need,
// for the decoder.
struct Entry {
    QHash<QByteArray, QByteArray> keys;
    QByteArray pixels;
};

std::optional<Entry> parsed(const QByteArray& bytes) {
    const std::optional<QList<PngChunk>> chunks = pngChunks(bytes);
    if (!chunks)
        return std::nullopt;
    Entry entry;
    entry.pixels = QByteArray(kPngSignature, 8);
    for (const PngChunk& chunk : *chunks) {
        if (chunk.type == "IHDR" || chunk.type == "PLTE" || chunk.type == "tRNS" ||
            chunk.type == "IDAT" || chunk.type == "IEND")
            entry.pixels += chunk.whole;
        for (const QByteArray& key : {kUriKey, kMTimeKey, kSizeKey, kProblemKey}) {
            if (const auto value = pngText(chunk, key); value && !entry.keys.contains(key))
                entry.keys.insert(key, value->toByteArray());
        }
    }
    return entry;
}

// The entry's pixels decoded; null when they are none, or more than `side` on a side.
QImage decoded(const Entry& entry, int side) {
    QBuffer buffer;
    buffer.setData(entry.pixels);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isEmpty() || size.width() > side || size.height() > side)
        return {};
    return reader.read();
}

// png as Qt wrote it, its text chunks replaced by `keys` in tEXt chunks right after IHDR: GLib
// checks a thumbnail by its tEXt chunks before the pixels alone, and Qt compresses a value of
// 40 characters or more (a URI mostly) into zTXt.
QByteArray withKeys(const QByteArray& png, const QList<QPair<QByteArray, QByteArray>>& keys) {
    const std::optional<QList<PngChunk>> chunks = pngChunks(png);
    if (!chunks)
        return {};
    QByteArray out(kPngSignature, 8);
    out += chunks->first().whole;
    for (const auto& [key, value] : keys)
        out += pngChunkBytes("tEXt", key + '\0' + value);
    for (const PngChunk& chunk : chunks->sliced(1)) {
        if (!isPngText(chunk))
            out += chunk.whole;
    }
    return out;
}

// A problem as a tEXt value holds it: Latin-1, no NUL, and as long as a line of a tip.
QByteArray problemText(const QString& problem) {
    QByteArray text = problem.left(kMostProblem).toLatin1();
    text.replace('\0', ' ');
    return text;
}

// A recorded problem as it may be shown: its first characters, on one line.
QString shownProblem(const QByteArray& recorded) {
    QString problem = QString::fromLatin1(recorded.left(kMostProblem));
    for (QChar& c : problem) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return problem.trimmed();
}

// Whether the entry was made from this URI's file as it is now.
bool describes(const Entry& entry, const QByteArray& uri, const FileIdentity& file) {
    if (entry.keys.value(kUriKey) != uri)
        return false;
    bool ok = false;
    const QByteArray mtime = entry.keys.value(kMTimeKey);
    qint64 time = mtime.toLongLong(&ok);
    // Some writers give fractions of a second; the standard keeps whole ones.
    if (!ok) {
        const double fractional = mtime.toDouble(&ok);
        ok = ok && std::abs(fractional) < 1e18;
        time = ok ? qint64(fractional) : 0;
    }
    if (!ok || time != file.modifiedSeconds)
        return false;
    const QByteArray size = entry.keys.value(kSizeKey);
    return size.isEmpty() || (size.toLongLong(&ok) == file.size && ok);
}

// What the tip is given: made here from decoded pixels, never the file's bytes, which the tip
// would decode again on the window's thread.
QByteArray encoded(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.hasAlphaChannel())
        image.save(&buffer, "PNG");
    else
        image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 90);
    return bytes;
}

// Makes the folders of an absolute path that are missing, for the owner alone.
bool makeFolders(const QByteArray& folder) {
    for (qsizetype at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/')
            continue;
        const QByteArray part = folder.left(at);
        if (::mkdir(part.constData(), 0700) == 0)
            continue;
        struct stat st;
        if (::stat(part.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
    }
    return true;
}

// Another program reading the folder sees the whole file or none.
void writeAtomically(const QString& folder, const QString& name, const QByteArray& bytes) {
    const QByteArray where = nativePath(folder);
    if (!makeFolders(where))
        return;
    QByteArray temporary = where + '/' + nativePath(name) + ".slidemill-XXXXXX";
    // mkostemp makes the file 0600 whatever the umask.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    qsizetype put = 0;
    while (put < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + put, size_t(bytes.size() - put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        put += n;
    }
    const bool written = ::close(fd) == 0 && put == bytes.size();
    if (!written ||
        ::rename(temporary.constData(), (where + '/' + nativePath(name)).constData()) != 0)
        ::unlink(temporary.constData());
}

bool readableRegularFile(const QString& path) {
    struct stat st;
    const QByteArray native = nativePath(path);
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(native.constData(), R_OK) == 0;
}

} // namespace

ThumbnailCache::ThumbnailCache(const QString& root)
    : root_(root.startsWith(QLatin1Char('/')) ? QDir::cleanPath(root) : QString()) {}

QString ThumbnailCache::userRoot() {
    QString base = pathFromNative(qgetenv("XDG_CACHE_HOME"));
    if (!base.startsWith(QLatin1Char('/'))) {
        const QString home = pathFromNative(qgetenv("HOME"));
        if (!home.startsWith(QLatin1Char('/')))
            return {};
        base = home + QStringLiteral("/.cache");
    }
    return base + QStringLiteral("/thumbnails");
}

QByteArray ThumbnailCache::uriOf(const QString& path) {
    if (!path.startsWith(QLatin1Char('/')))
        return {};
    static const char kept[] = "!$&'()*+,-./:=@_~";
    static const char hex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    for (const char c : nativePath(QDir::cleanPath(path))) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            (c != '\0' && std::strchr(kept, c))) {
            uri += c;
        } else {
            uri += '%';
            uri += hex[u >> 4];
            uri += hex[u & 15];
        }
    }
    return uri;
}

QString ThumbnailCache::served(const QString& path) const {
    if (root_.isEmpty() || !path.startsWith(QLatin1Char('/')))
        return {};
    const QString clean = QDir::cleanPath(path);
    if (clean == root_ || clean.startsWith(root_ + QLatin1Char('/')))
        return {};
    return clean;
}

bool ThumbnailCache::find(const QString& path, Preview& preview) const {
    const QString clean = served(path);
    if (clean.isEmpty() || !preview.file.known())
        return false;
    const QByteArray uri = uriOf(clean);
    const QString name = md5Name(uri);
    for (const Folder& folder : kLookIn) {
        const std::optional<QByteArray> bytes = readSmallFile(
            root_ + QLatin1Char('/') + QLatin1String(folder.name) + QLatin1Char('/') + name,
            mostBytes(folder.side));
        const std::optional<Entry> entry = bytes ? parsed(*bytes) : std::nullopt;
        if (!entry || !describes(*entry, uri, preview.file))
            continue;
        QImage image = decoded(*entry, folder.side);
        if (image.isNull())
            continue;
        if (std::max(image.width(), image.height()) > kPreviewSide)
            image = image.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
        preview.thumbnail = encoded(image);
        preview.thumbnailSize = image.size();
        return true;
    }
    const std::optional<QByteArray> failure = readSmallFile(
        root_ + QLatin1Char('/') + kFailFolder + QLatin1Char('/') + name, kMostFailureBytes);
    const std::optional<Entry> entry = failure ? parsed(*failure) : std::nullopt;
    if (!entry || !describes(*entry, uri, preview.file))
        return false;
    const QString problem = shownProblem(entry->keys.value(kProblemKey));
    preview.problem = problem.isEmpty() ? QStringLiteral("not a picture") : problem;
    preview.thumbnail.clear();
    preview.thumbnailSize = {};
    return true;
}

void ThumbnailCache::store(const QString& path, const Preview& preview) const {
    const QString clean = served(path);
    if (clean.isEmpty() || !preview.file.known())
        return;
    QImage image;
    QString folder;
    QList<QPair<QByteArray, QByteArray>> keys{
        {kUriKey, uriOf(clean)},
        {kMTimeKey, QByteArray::number(preview.file.modifiedSeconds)},
        {kSizeKey, QByteArray::number(preview.file.size)}};
    if (preview.problem.isEmpty() && !preview.thumbnail.isEmpty()) {
        image = QImage::fromData(preview.thumbnail);
        if (image.isNull())
            return;
        folder = QStringLiteral("large");
        if (!preview.pixels.isEmpty()) {
            keys.append({kWidthKey, QByteArray::number(preview.pixels.width())});
            keys.append({kHeightKey, QByteArray::number(preview.pixels.height())});
        }
    } else if (!preview.problem.isEmpty() && readableRegularFile(clean)) {
        // Only the keys matter; the picture is the smallest there is.
        image = QImage(1, 1, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        keys.append({kProblemKey, problemText(preview.problem)});
        folder = kFailFolder;
    } else {
        return;
    }
    keys.append({QByteArrayLiteral("Software"), QByteArrayLiteral("Slidemill " SLIDEMILL_VERSION)});
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    // zlib's level 2: a third of the default's time for a file a tenth larger, while the
    // preview waits for it.
    if (!image.save(&buffer, "PNG", kPngQuality))
        return;
    png = withKeys(png, keys);
    if (!png.isEmpty())
        writeAtomically(root_ + QLatin1Char('/') + folder, md5Name(uriOf(clean)), png);
}

} // namespace slidemill
