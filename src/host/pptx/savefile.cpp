#include "host/pptx/savefile.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill::pptx {

namespace {

constexpr int kMaxNumber = 99999;

[[noreturn]] void fail(const QString& cause, const QString& file) {
    throw RuntimeError(errPathFileAccess, QStringLiteral("Saving the presentation: %1").arg(cause),
                       file);
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray native(const QString& path) {
    return nativePath(path);
}

bool isFolder(const QString& path) {
    struct stat st;
    return ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A hidden name in `folder` that names nothing yet.
QString temporaryName(const QString& folder) {
    for (;;) {
        const QString name =
            QStringLiteral("%1/.~slidemill-%2.pptx.tmp")
                .arg(folder)
                .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        struct stat st;
        if (::lstat(native(name).constData(), &st) != 0 && errno == ENOENT)
            return name;
    }
}

// Removes the temporary file unless it was given its final name.
class TemporaryFile {
public:
    explicit TemporaryFile(const QString& folder) : path_(temporaryName(folder)) {}
    ~TemporaryFile() {
        if (!path_.isEmpty())
            ::unlink(native(path_).constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const QString& path() const { return path_; }
    void release() { path_.clear(); }

    // Writes the file and makes sure its bytes are on the disk before it gets a name.
    void write(const FileWriter& writer, const QString& reportAs) {
        try {
            writer(path_);
        } catch (const RuntimeError& e) {
            // The hidden name means nothing to the user: name the file being saved instead.
            if (e.file() == path_)
                throw RuntimeError(e.number(), e.text(), reportAs);
            throw;
        }
        const int fd = ::open(native(path_).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            fail(errnoText(error), reportAs);
        }
        ::close(fd);
    }

private:
    QString path_;
};

enum class Placed { Done, Taken };

// Gives `from` the name `to` unless `to` exists. Tries the atomic ways first; file systems
// without them (FAT media have no hard links) get an exclusive reservation of the name.
Placed placeWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray src = native(from), dst = native(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return Placed::Done;
    if (errno == EEXIST)
        return Placed::Taken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        fail(errnoText(errno), to);

    if (::link(src.constData(), dst.constData()) == 0) {
        ::unlink(src.constData());
        return Placed::Done;
    }
    if (errno == EEXIST)
        return Placed::Taken;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS)
        fail(errnoText(errno), to);

    const int fd = ::open(dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return Placed::Taken;
        fail(errnoText(errno), to);
    }
    ::close(fd);
    if (::rename(src.constData(), dst.constData()) != 0) {
        const int error = errno;
        ::unlink(dst.constData());
        fail(errnoText(error), to);
    }
    return Placed::Done;
}

void syncFolder(const QString& folder) {
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString saveNumbered(const QString& folderIn, const FileWriter& write) {
    const QString folder = QDir::cleanPath(QFileInfo(folderIn).absoluteFilePath());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(native(folder).toStdString()), ec);
    if (ec)
        fail(QStringLiteral("cannot create the folder: %1")
                 .arg(QString::fromLocal8Bit(ec.message().c_str())),
             folder);
    if (!isFolder(folder))
        fail(QStringLiteral("not a folder"), folder);

    TemporaryFile temp(folder);
    temp.write(write, folder);
    for (int n = 1; n <= kMaxNumber; ++n) {
        const QString target = QStringLiteral("%1/Presentation %2.pptx").arg(folder).arg(n);
        struct stat st;
        if (::lstat(native(target).constData(), &st) == 0)
            continue;
        if (placeWithoutReplacing(temp.path(), target) == Placed::Done) {
            temp.release();
            syncFolder(folder);
            return target;
        }
    }
    fail(QStringLiteral("no free name \"Presentation N.pptx\" is left"), folder);
}

void saveReplacing(const QString& pathIn, const FileWriter& write) {
    const QString path = QFileInfo(pathIn).absoluteFilePath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!isFolder(folder))
        fail(QStringLiteral("the folder does not exist"), path);
    TemporaryFile temp(folder);
    temp.write(write, path);
    if (::rename(native(temp.path()).constData(), native(path).constData()) != 0)
        fail(errnoText(errno), path);
    temp.release();
    syncFolder(folder);
}

} // namespace slidemill::pptx
