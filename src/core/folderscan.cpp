#include "core/folderscan.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace slidemill {

void throwFolderError(int err, const QString& path) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        throw RuntimeError::withFile(errPathNotFound, path);
    case EIO:
    case ENOMEDIUM:
    case ENXIO:
    case ENODEV:
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN:
    case ETIMEDOUT:
        throw RuntimeError::withFile(errDeviceUnavailable, path);
    default:
        throw RuntimeError::withFile(errPathFileAccess, path);
    }
}

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

FolderEntries scanFolder(const QString& path) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(nativePath(path).constData()));
    if (!dir)
        throwFolderError(errno, path);
    const int fd = dirfd(dir.get());

    FolderEntries entries;
    for (;;) {
        errno = 0;
        const dirent* e = readdir(dir.get());
        if (!e) {
            if (errno != 0)
                throwFolderError(errno, path);
            break;
        }
        if (e->d_name[0] == '.')
            continue; // hidden, and . and ..
        bool isDir = e->d_type == DT_DIR;
        bool isFile = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            // Links count as what they point to; a dangling one is left out.
            struct stat st;
            if (fstatat(fd, e->d_name, &st, 0) != 0)
                continue;
            isDir = S_ISDIR(st.st_mode);
            isFile = S_ISREG(st.st_mode);
        }
        if (isDir)
            entries.folders.append(pathFromNative(e->d_name));
        else if (isFile)
            entries.files.append(pathFromNative(e->d_name));
    }
    return entries;
}

QString workingFolder() {
    // getcwd: QDir::currentPath would decode the bytes lossily.
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), std::size_t(buffer.size()))) {
        if (errno != ERANGE)
            return QStringLiteral("/");
        buffer.resize(buffer.size() * 2);
    }
    return pathFromNative(buffer.constData());
}

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Case-folded names compared character by character, except that runs of digits compare by
// their value: img2 before img10.
int naturalCompare(QStringView a, QStringView b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei] == QLatin1Char('0'))
                ++ei;
            while (ej < b.size() && b[ej] == QLatin1Char('0'))
                ++ej;
            qsizetype si = ei, sj = ej;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (; si < ei; ++si, ++sj) {
                if (a[si] != b[sj])
                    return a[si] < b[sj] ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

} // namespace

void sortNames(QStringList& names) {
    // Folded once per name rather than once per comparison.
    std::vector<std::pair<QString, qsizetype>> keyed;
    keyed.reserve(std::size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        keyed.emplace_back(names[i].toCaseFolded(), i);
    std::sort(keyed.begin(), keyed.end(), [&](const auto& x, const auto& y) {
        const int c = naturalCompare(x.first, y.first);
        if (c != 0)
            return c < 0;
        // Names that differ only in case or leading zeros still get a fixed order.
        const int raw = names[x.second].compare(names[y.second]);
        return raw != 0 ? raw < 0 : x.second < y.second;
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const auto& [key, index] : keyed)
        sorted.append(names[index]);
    names = std::move(sorted);
}

} // namespace slidemill
