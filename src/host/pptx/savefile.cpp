#include "host/pptx/savefile.h"

#include "core/faults.h"
#include "core/nativepath.h"
#include "host/pptx/saveerror.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace slidemill::pptx {

namespace {

constexpr int kMaxNumber = 99999;
constexpr char kTempPrefix[] = ".~slidemill-";
constexpr char kTempSuffix[] = ".pptx.tmp";

[[noreturn]] void failErrno(const QString& file) {
    failSaveErrno(errno, file);
}

// Temporary files the signal handler removes: a fixed table it can read without locks.
struct Slot {
    // 0 free, 1 being filled, 2 holds a path.
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
Slot g_slots[16];

int claimSlot(const QByteArray& path) {
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < int(std::size(g_slots)); ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_slots[i].path, path.constData(), std::size_t(path.size()) + 1);
            g_slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0)
        g_slots[slot].state.store(0);
}

extern "C" void removeOnSignal(int signal) {
    const int saved = errno;
    for (Slot& s : g_slots) {
        if (s.state.load() == 2)
            ::unlink(s.path);
    }
    errno = saved;
    // The handler was reset on entry: the signal, delivered again once this returns, ends
    // the process as it would have.
    ::raise(signal);
}

mode_t currentUmask() {
    // Read, not set: setting it would race with other threads creating files.
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found)
            return mode_t(mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// In a sticky folder anyone may write to (/tmp), a link is anyone's: the kernel follows it
// only when it belongs to the follower or to the folder's owner. We resolve links ourselves
// and write into the target's folder, where that rule never applies, so we apply it here.
bool plantedByAnother(const QByteArray& link, const struct stat& st) {
    struct stat folder;
    if (::stat(folderOf(link).constData(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid;
}

// The file a path finally names: symbolic links followed, the last one also when it
// points at nothing yet.
QByteArray throughLinks(QByteArray path, const QString& reportAs) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (plantedByAnother(path, st))
            failSave(QStringLiteral("a link in a shared folder owned by someone else"), reportAs);
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), std::size_t(target.size()));
        if (n < 0)
            failErrno(reportAs);
        target.truncate(n);
        path = target.startsWith('/') ? target : folderOf(path) + '/' + target;
    }
    failSaveErrno(ELOOP, reportAs);
}

// Removes the temporary files of saves into `folder` that no live process holds: whoever
// writes one holds an exclusive lock on it until it has its final name.
void removeStale(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int dfd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        const QByteArrayView name(e->d_name);
        if (!name.startsWith(kTempPrefix) || !name.endsWith(kTempSuffix))
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held, named;
        // Still the same file under that name once locked: its writer is gone.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// The new name on the disk: a failure leaves the deck's name at the mercy of a crash, and the
// save fails. A folder that may not be opened for reading (write and search permission only),
// or whose file system syncs no folders, has nothing more to be done.
void syncFolder(const QByteArray& folder, const QString& reportAs) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != EACCES && errno != EPERM)
            failSave(
                QStringLiteral("the folder cannot be synced to the disk: %1").arg(errnoText(errno)),
                reportAs);
        return;
    }
    int error = injectedFault(IoCall::Sync, "/");
    if (!error && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    ::close(fd);
    if (error)
        failSave(
            QStringLiteral("the folder cannot be synced to the disk: %1").arg(errnoText(error)),
            reportAs);
}

enum class Placed { Done, Taken };

// Gives `from` the name `to` unless `to` exists. Tries the atomic ways first; file systems
// without them (FAT media have no hard links) get an exclusive reservation of the name.
Placed placeWithoutReplacing(const QByteArray& src, const QByteArray& dst, const QString& to) {
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return Placed::Done;
    if (errno == EEXIST)
        return Placed::Taken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        failErrno(to);

    if (::link(src.constData(), dst.constData()) == 0) {
        ::unlink(src.constData());
        return Placed::Done;
    }
    if (errno == EEXIST)
        return Placed::Taken;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS)
        failErrno(to);

    const int fd = ::open(dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return Placed::Taken;
        failErrno(to);
    }
    ::close(fd);
    if (::rename(src.constData(), dst.constData()) != 0) {
        const int error = errno;
        ::unlink(dst.constData());
        failSaveErrno(error, to);
    }
    return Placed::Done;
}

// A hidden file beside the final name, readable by its owner alone until it is complete.
class TemporarySave : public SaveFile {
public:
    TemporarySave(const QByteArray& folder, const QString& reportAs)
        : folder_(folder), reportAs_(reportAs) {
        removeStale(folder_);
        for (;;) {
            path_ = folder_ + '/' + kTempPrefix +
                    QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                        .rightJustified(16, '0') +
                    kTempSuffix;
            // Claimed before the file exists, so that a signal at any moment after it is
            // made removes it; the name is random, so nobody else's file is ever named here.
            slot_ = claimSlot(path_);
            fd_ =
                ::open(path_.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0) {
                const int error = errno;
                releaseSlot(std::exchange(slot_, -1));
                if (error == EEXIST)
                    continue;
                failSaveErrno(error, reportAs_);
            }
            // Where the file system has no locks, no other save can take it for stale either.
            ::flock(fd_, LOCK_EX);
            // Another save may have taken it for stale before it was locked: then the name
            // is gone, and another is tried.
            struct stat held, named;
            if (::fstat(fd_, &held) == 0 && ::lstat(path_.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino)
                break;
            ::close(fd_);
            releaseSlot(std::exchange(slot_, -1));
        }
    }
    ~TemporarySave() override {
        if (fd_ < 0)
            return;
        if (!named_)
            ::unlink(path_.constData());
        releaseSlot(slot_);
        ::close(fd_);
    }

    int fd() const override { return fd_; }
    QString name() const override { return reportAs_; }

protected:
    // Mode and owner, then the bytes on the disk, before any name is given.
    void prepare(const struct stat* replaced) {
        if (replaced) {
            if (::fchown(fd_, replaced->st_uid, replaced->st_gid) != 0)
                (void)!::fchown(fd_, uid_t(-1), replaced->st_gid);
            if (::fchmod(fd_, replaced->st_mode & 07777) != 0)
                failErrno(reportAs_);
        } else if (::fchmod(fd_, 0666 & ~currentUmask()) != 0) {
            failErrno(reportAs_);
        }
        if (const int fault = injectedFault(IoCall::Sync, {}))
            failSaveErrno(fault, reportAs_);
        if (::fsync(fd_) != 0)
            failErrno(reportAs_);
    }
    void named() {
        named_ = true;
        syncFolder(folder_, reportAs_);
    }

    QByteArray folder_;
    QString reportAs_;
    QByteArray path_;

private:
    int fd_ = -1;
    int slot_ = -1;
    bool named_ = false;
};

class NumberedSave : public TemporarySave {
public:
    using TemporarySave::TemporarySave;
    FileIdentity target() const override { return {}; }

    QString commit(const std::function<bool(const FileIdentity&)>&) override {
        prepare(nullptr);
        for (int n = 1; n <= kMaxNumber; ++n) {
            const QByteArray target = folder_ + "/Presentation " + QByteArray::number(n) + ".pptx";
            struct stat st;
            if (::lstat(target.constData(), &st) == 0)
                continue;
            const QString path = pathFromNative(target);
            if (placeWithoutReplacing(path_, target, path) == Placed::Done) {
                named();
                return path;
            }
        }
        failSave(QStringLiteral("no free name \"Presentation N.pptx\" is left"), reportAs_);
    }
};

[[noreturn]] void notRegular(const QString& path) {
    failSave(QStringLiteral("the output is not a regular file"), path);
}

class ReplacingSave : public TemporarySave {
public:
    ReplacingSave(const QByteArray& target, const QString& reportAs)
        : TemporarySave(folderOf(target), reportAs), target_(target) {}

    FileIdentity target() const override {
        struct stat st;
        return ::stat(target_.constData(), &st) == 0 ? identityOf(st) : FileIdentity{};
    }

    QString commit(const std::function<bool(const FileIdentity&)>& isPicture) override {
        struct stat st;
        const bool exists = ::stat(target_.constData(), &st) == 0;
        if (!exists && errno != ENOENT)
            failErrno(reportAs_);
        if (exists && !S_ISREG(st.st_mode))
            notRegular(reportAs_);
        if (exists && isPicture && isPicture(identityOf(st)))
            failSave(QStringLiteral("the output is one of the pictures"), reportAs_);
        prepare(exists ? &st : nullptr);
        if (::rename(path_.constData(), target_.constData()) != 0)
            failErrno(reportAs_);
        named();
        return pathFromNative(target_);
    }

private:
    QByteArray target_;
};

class StreamSave : public SaveFile {
public:
    StreamSave(int fd, const QString& name) : fd_(fd), name_(name) {}
    int fd() const override { return fd_; }
    QString name() const override { return name_; }
    FileIdentity target() const override {
        struct stat st;
        return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? identityOf(st) : FileIdentity{};
    }
    QString commit(const std::function<bool(const FileIdentity&)>&) override {
        struct stat st;
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return {};
        if (const int fault = injectedFault(IoCall::Sync, {}))
            failSaveErrno(fault, name_);
        if (::fsync(fd_) != 0)
            failErrno(name_);
        return {};
    }

private:
    int fd_;
    QString name_;
};

} // namespace

std::unique_ptr<SaveFile> SaveFile::numbered(const QString& folderIn) {
    const QString folder = QDir::cleanPath(QFileInfo(folderIn).absoluteFilePath());
    const QByteArray native = nativePath(folder);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(native.toStdString()), ec);
    if (ec)
        failSave(QStringLiteral("cannot create the folder: %1")
                     .arg(QString::fromLocal8Bit(ec.message().c_str())),
                 folder);
    struct stat st;
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        failSave(QStringLiteral("not a folder"), folder);
    return std::make_unique<NumberedSave>(native, folder);
}

std::unique_ptr<SaveFile> SaveFile::replacing(const QString& pathIn) {
    const QString path = QFileInfo(pathIn).absoluteFilePath();
    const QByteArray target = throughLinks(nativePath(path), path);
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            notRegular(path);
    } else if (errno != ENOENT) {
        failErrno(path);
    }
    if (::stat(folderOf(target).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        failSave(QStringLiteral("the folder does not exist"), path);
    return std::make_unique<ReplacingSave>(target, path);
}

std::unique_ptr<SaveFile> SaveFile::stream(int fd, const QString& name) {
    return std::make_unique<StreamSave>(fd, name);
}

void removeUnfinishedSavesOnSignal() {
    // A write past the file-size limit then fails with EFBIG, reported as a full disk is,
    // instead of ending the process with the temporary file left behind.
    ::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = removeOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace slidemill::pptx
