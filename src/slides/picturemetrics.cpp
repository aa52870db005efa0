#include "slides/picturemetrics.h"

#include "core/fileidentity.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "slides/bytesource.h"
#include "slides/pictureformats.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace slidemill {

namespace {

[[noreturn]] void invalid(const QString& path) {
    throw RuntimeError::withFile(errInvalidPicture, path);
}

[[noreturn]] void cutShort(const QString& path) {
    throw RuntimeError(errInvalidPicture,
                       QStringLiteral("%1: the file is cut short")
                           .arg(RuntimeError::standardText(errInvalidPicture)),
                       path);
}

} // namespace

namespace {

// What a path that is no regular file names.
const char* kindOf(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return "it is a folder, not a picture";
    case S_IFCHR:
    case S_IFBLK:
        return "it is a device, not a picture";
    case S_IFSOCK:
        return "it is a socket, not a picture";
    case S_IFIFO:
        return "it is a pipe (FIFO), not a picture";
    default:
        return "it is not a regular file";
    }
}

[[noreturn]] void notAFile(const QString& path, const char* why) {
    throw RuntimeError(errPathFileAccess,
                       QStringLiteral("%1: %2").arg(RuntimeError::standardText(errPathFileAccess),
                                                    QString::fromLocal8Bit(why)),
                       path);
}

} // namespace

Picture readPicture(const QString& path) {
    if (path.isEmpty())
        throw RuntimeError::withFile(errFileNotFound, path);
    // No file name holds one; the system would read the name only up to it.
    if (path.contains(QChar(0)))
        notAFile(path, "the name holds a NUL byte, which no file name can");
    // Not blocking, so that a FIFO is refused rather than waited on.
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int cause = errno;
        const bool missing =
            cause == ENOENT || cause == ENOTDIR || cause == ELOOP || cause == ENAMETOOLONG;
        if (missing)
            throw RuntimeError::withFile(errFileNotFound, path);
        // A socket cannot be opened at all; it is named for what it is.
        struct stat st {};
        if (::stat(nativePath(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
            notAFile(path, kindOf(st.st_mode));
        // A file that is there but may not be read is no fault of the picture's.
        throw RuntimeError(
            errPathFileAccess,
            QStringLiteral("%1: %2").arg(RuntimeError::standardText(errPathFileAccess),
                                         QString::fromLocal8Bit(std::strerror(cause))),
            path);
    }
    QFile file;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int cause = errno;
        ::close(fd);
        notAFile(path, std::strerror(cause));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        notAFile(path, kindOf(st.st_mode));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw RuntimeError::withFile(errPathFileAccess, path);
    }
    Picture p = readPicture(file, path);
    // Taken before the header was read: a change since shows as another identity.
    p.file = identityOf(st);
    return p;
}

Picture readPicture(QIODevice& device, const QString& path) {
    if (!device.isOpen() || device.isSequential())
        invalid(path);
    const ByteSource bytes(device);
    const PictureFormatRow* row = nullptr;
    for (const PictureFormatRow& r : kPictureFormats) {
        if (r.matches(bytes)) {
            row = &r;
            break;
        }
    }
    const auto measured = row ? row->measure(bytes, row->qtName) : std::nullopt;
    const bool whole = measured || !row || !row->whole || row->whole(bytes);
    // A header that could not be read is no fault of the picture's.
    if (const int error = bytes.readError())
        failRead(error, path);
    if (!whole)
        cutShort(path);
    if (!measured)
        invalid(path);

    Picture p;
    p.path = path;
    p.format = row->format;
    p.widthHimetric = measured->size.width;
    p.heightHimetric = measured->size.height;
    p.orientation = measured->orientation.value;
    p.orientationOffset = measured->orientation.offset;
    p.orientationBigEndian = measured->orientation.bigEndian;
    p.alpha = measured->alpha;
    p.taken = measured->taken;
    // 5 to 8 turn the picture a quarter: it shows with its sides exchanged.
    if (p.orientation >= 5)
        std::swap(p.widthHimetric, p.heightHimetric);
    return p;
}

} // namespace slidemill
