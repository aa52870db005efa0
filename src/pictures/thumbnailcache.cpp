#include "pictures/thumbnailcache.h"

#include "core/nativepath.h"
#include "pictures/decodinglibrary.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill {

namespace {

const QString kUriKey = QStringLiteral("Thumb::URI");
const QString kMTimeKey = QStringLiteral("Thumb::MTime");
const QString kSizeKey = QStringLiteral("Thumb::Size");
const QString kWidthKey = QStringLiteral("Thumb::Image::Width");
const QString kHeightKey = QStringLiteral("Thumb::Image::Height");
// Why a picture cannot be shown, in a failure's PNG; the standard leaves keys starting with
// "X-" to each program.
const QString kProblemKey = QStringLiteral("X-Slidemill::Problem");

const QString kFailFolder = QStringLiteral("fail/slidemill-" SLIDEMILL_VERSION);
// Where thumbnails are looked for, in this order: large is the preview's size and the one
// written, x-large is fitted into that size, normal is smaller but still the picture.
const char* const kLookIn[] = {"large", "x-large", "normal"};
// An xx-large thumbnail of a photo is about 2 MB; past this a file is no thumbnail.
constexpr qint64 kMostBytes = qint64(16) << 20;
constexpr int kMostSide = 2048;
constexpr int kPngQuality = 80;

QString md5Name(const QByteArray& uri) {
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

// The whole of a small regular file; none for anything else. Opened without waiting, so that a
// FIFO put in the cache cannot hold a preview up.
std::optional<QByteArray> readSmallFile(const QString& path) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        st.st_size <= kMostBytes) {
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

// The thumbnail in bytes, decoded; null when it is none, or too large to be one. Its keys are
// read from the decoded picture: QImageReader's own reading of them before the picture takes
// "Thumb::URI" for a key "Thumb".
QImage decoded(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize side = reader.size();
    if (side.isEmpty() || side.width() > kMostSide || side.height() > kMostSide)
        return {};
    return reader.read();
}

// Whether the thumbnail was made from this URI's file as it is now.
bool describes(const QImage& thumbnail, const QByteArray& uri, const FileIdentity& file) {
    if (thumbnail.isNull() || thumbnail.text(kUriKey) != QLatin1String(uri))
        return false;
    bool ok = false;
    const QString mtime = thumbnail.text(kMTimeKey);
    qint64 time = mtime.toLongLong(&ok);
    // Some writers give fractions of a second; the standard keeps whole ones.
    if (!ok) {
        const double fractional = mtime.toDouble(&ok);
        time = qint64(fractional);
    }
    if (!ok || time != file.modifiedSeconds)
        return false;
    const QString size = thumbnail.text(kSizeKey);
    return size.isEmpty() || size.toLongLong(&ok) == file.size;
}

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
    for (const char* size : kLookIn) {
        const std::optional<QByteArray> bytes =
            readSmallFile(root_ + QLatin1Char('/') + QLatin1String(size) + QLatin1Char('/') + name);
        if (!bytes)
            continue;
        const QImage image = decoded(*bytes);
        if (!describes(image, uri, preview.file))
            continue;
        if (std::max(image.width(), image.height()) > kPreviewSide) {
            const QImage fitted = image.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio,
                                               Qt::SmoothTransformation);
            preview.thumbnail = encoded(fitted);
            preview.thumbnailSize = fitted.size();
        } else {
            // Decoded once to be sure of it; the tip shows the file as it is.
            preview.thumbnail = *bytes;
            preview.thumbnailSize = image.size();
        }
        return true;
    }
    const std::optional<QByteArray> failure =
        readSmallFile(root_ + QLatin1Char('/') + kFailFolder + QLatin1Char('/') + name);
    if (!failure)
        return false;
    const QImage recorded = decoded(*failure);
    if (!describes(recorded, uri, preview.file))
        return false;
    const QString problem = recorded.text(kProblemKey);
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
    if (preview.problem.isEmpty() && !preview.thumbnail.isEmpty()) {
        image = QImage::fromData(preview.thumbnail);
        if (image.isNull())
            return;
        folder = QStringLiteral("large");
        if (!preview.pixels.isEmpty()) {
            image.setText(kWidthKey, QString::number(preview.pixels.width()));
            image.setText(kHeightKey, QString::number(preview.pixels.height()));
        }
    } else if (!preview.problem.isEmpty() && readableRegularFile(clean) &&
               !pictures::decodingLibraryMissing()) {
        // Without the decoding module the failure is the program's: recorded, it would outlast
        // the module's repair.
        // Only the keys matter; the picture is the smallest there is.
        image = QImage(1, 1, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        image.setText(kProblemKey, preview.problem);
        folder = kFailFolder;
    } else {
        return;
    }
    image.setText(kUriKey, QString::fromLatin1(uriOf(clean)));
    image.setText(kMTimeKey, QString::number(preview.file.modifiedSeconds));
    image.setText(kSizeKey, QString::number(preview.file.size));
    image.setText(QStringLiteral("Software"), QStringLiteral("Slidemill " SLIDEMILL_VERSION));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    // zlib's level 2: a third of the default's time for a file a tenth larger, while the
    // preview waits for it.
    if (!image.save(&buffer, "PNG", kPngQuality))
        return;
    writeAtomically(root_ + QLatin1Char('/') + folder, md5Name(uriOf(clean)), png);
}

} // namespace slidemill
