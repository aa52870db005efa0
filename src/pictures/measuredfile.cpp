#include "pictures/measuredfile.h"

#include "core/nativepath.h"
#include "core/saveerror.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill::pictures {

MeasuredFile::MeasuredFile(const QString& path, const FileIdentity& measured) : path_(path) {
    fd_ = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        failRead(errno, path);
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        failSave(QStringLiteral("the picture is not a regular file"), path);
    }
    identity_ = identityOf(st);
    if (measured.known() && !(identity_ == measured)) {
        ::close(fd_);
        pictureChanged(path);
    }
}

MeasuredFile::~MeasuredFile() {
    ::close(fd_);
}

void MeasuredFile::checkRead() const {
    if (const int error = readError_->load())
        failRead(error, path_);
}

void MeasuredFile::checkUnchanged() const {
    if (!(identityOf(fd_) == identity_))
        failSave(QStringLiteral("the file changed while it was stored"), path_);
}

QByteArray MeasuredFile::read(qint64 at, qint64 size) const {
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, std::size_t(size - done), at + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failRead(errno, path_);
        if (n == 0)
            pictureChanged(path_);
        done += n;
    }
    return bytes;
}

} // namespace slidemill::pictures
