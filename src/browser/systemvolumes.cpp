#include "browser/systemvolumes.h"

#include "core/folderscan.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cerrno>
#include <dirent.h>

namespace slidemill {

namespace {

// mountinfo writes space, tab, newline and backslash as \ooo.
QString unescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '7' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.append(
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return pathFromNative(out);
}

bool under(const QString& path, QLatin1StringView folder) {
    return path == folder ||
           (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

bool isSystemFolder(const QString& mountPoint) {
    if (under(mountPoint, QLatin1StringView("/run/media")))
        return false;
    for (const char* folder :
         {"/boot", "/dev", "/etc", "/proc", "/run", "/snap", "/sys", "/usr", "/var"}) {
        if (under(mountPoint, QLatin1StringView(folder)))
            return true;
    }
    return false;
}

bool isNetworkType(const QString& type) {
    static const QSet<QString> network = {
        QStringLiteral("nfs"),        QStringLiteral("nfs4"),        QStringLiteral("cifs"),
        QStringLiteral("smb3"),       QStringLiteral("smbfs"),       QStringLiteral("ncpfs"),
        QStringLiteral("afs"),        QStringLiteral("ceph"),        QStringLiteral("glusterfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.rclone"), QStringLiteral("davfs"),
        QStringLiteral("fuse.davfs2")};
    return network.contains(type);
}

} // namespace

QList<MountEntry> parseMountInfo(const QByteArray& text) {
    QList<MountEntry> mounts;
    QHash<QString, qsizetype> byMountPoint;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super
        const qsizetype dash = fields.indexOf("-");
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        MountEntry entry{unescapeMountField(fields[4]), unescapeMountField(fields[dash + 1]),
                         unescapeMountField(fields[dash + 2])};
        if (!entry.mountPoint.startsWith(QLatin1Char('/')))
            continue;
        const auto seen = byMountPoint.constFind(entry.mountPoint);
        if (seen != byMountPoint.cend()) {
            mounts[*seen] = entry;
        } else {
            byMountPoint.insert(entry.mountPoint, mounts.size());
            mounts.append(entry);
        }
    }
    return mounts;
}

QList<Volume> browsableVolumes(const QList<MountEntry>& mounts,
                               const QHash<QString, QString>& labels) {
    QList<Volume> volumes;
    for (const MountEntry& m : mounts) {
        const bool root = m.mountPoint == QLatin1String("/");
        const bool blockDevice =
            m.source.startsWith(QLatin1String("/dev/")) && m.fsType != QLatin1String("squashfs");
        if (!root && (isSystemFolder(m.mountPoint) || !(blockDevice || isNetworkType(m.fsType))))
            continue;
        QString name = labels.value(m.source);
        if (name.isEmpty())
            name =
                blockDevice ? m.source.mid(m.source.lastIndexOf(QLatin1Char('/')) + 1) : m.source;
        volumes.append({name, m.mountPoint});
    }
    return volumes;
}

QList<MountEntry> SystemVolumes::mounts() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A proc file reports no size: read to its end.
    return parseMountInfo(file.readAll());
}

QList<Volume> SystemVolumes::list() {
    QList<MountEntry> entries = mounts();
    // Labels come as links named by label; sources are matched by the device they resolve to.
    QHash<QString, QString> labels;
    QDirIterator it(QStringLiteral("/dev/disk/by-label"), QDir::System | QDir::Files);
    while (it.hasNext()) {
        it.next();
        QString label = it.fileName();
        label.replace(QLatin1String("\\x20"), QLatin1String(" "));
        labels.insert(it.fileInfo().canonicalFilePath(), label);
    }
    if (!labels.isEmpty()) {
        QHash<QString, QString> bySource;
        for (const MountEntry& m : entries) {
            const QString device = QFileInfo(m.source).canonicalFilePath();
            if (labels.contains(device))
                bySource.insert(m.source, labels.value(device));
        }
        labels = bySource;
    }
    QList<Volume> volumes = browsableVolumes(entries, labels);
    if (volumes.isEmpty())
        volumes.append({QStringLiteral("/"), QStringLiteral("/")});
    return volumes;
}

QString SystemVolumes::currentFolder(const QString& mountPoint) {
    const QList<MountEntry> now = mounts();
    // The root is always there, even where the mount table does not show it (a chroot).
    const bool mounted = mountPoint == QLatin1String("/") || now.isEmpty() ||
                         std::any_of(now.cbegin(), now.cend(), [&](const MountEntry& m) {
                             return m.mountPoint == mountPoint;
                         });
    if (!mounted)
        throw RuntimeError::withFile(errDeviceUnavailable, mountPoint);

    // Reading the mount point is what tells a missing medium from a present one.
    DIR* dir = opendir(nativePath(mountPoint).constData());
    if (!dir) {
        const int err = errno;
        if (err == EACCES || err == EPERM)
            throw RuntimeError::withFile(errPathFileAccess, mountPoint);
        throw RuntimeError::withFile(errDeviceUnavailable, mountPoint);
    }
    errno = 0;
    const bool readable = readdir(dir) != nullptr || errno == 0;
    closedir(dir);
    if (!readable)
        throw RuntimeError::withFile(errDeviceUnavailable, mountPoint);

    const QString cwd = workingFolder();
    const QList<Volume> volumes = list();
    const qsizetype holder = volumeHolding(volumes, cwd);
    if (holder >= 0 && volumes[holder].mountPoint == mountPoint)
        return cwd;
    return mountPoint;
}

} // namespace slidemill
