#pragma once

#include "browser/volumes.h"

#include <QByteArray>
#include <QHash>

namespace slidemill {

// One line of /proc/self/mountinfo, the fields we use.
struct MountEntry {
    QString mountPoint;
    QString fsType;
    QString source;
};

// Parses /proc/self/mountinfo text; malformed lines are skipped. Mount points stacked on the
// same folder keep only the last, the one that is visible.
QList<MountEntry> parseMountInfo(const QByteArray& text);

// The mounts a user browses: the root file system, other disk partitions (/home), removable
// and network media. Kernel and pseudo file systems, system folders and snap images are left
// out. labels maps a device path to its label.
QList<Volume> browsableVolumes(const QList<MountEntry>& mounts,
                               const QHash<QString, QString>& labels = {});

// The volumes of this machine, read from the kernel's mount table.
class SystemVolumes : public Volumes {
public:
    QList<Volume> list() override;
    // 68 when the mount point is no longer mounted or cannot be opened for want of its
    // device; 75 when it is there but access is denied.
    QString currentFolder(const QString& mountPoint) override;

private:
    static QList<MountEntry> mounts();
};

} // namespace slidemill
