#pragma once

#include <QList>
#include <QString>

namespace slidemill {

// One mounted volume as Drive1 shows it.
struct Volume {
    QString name;       // label or device name
    QString mountPoint; // absolute path
};

// The machine's volumes; tests put their own in its place.
class Volumes {
public:
    virtual ~Volumes() = default;
    virtual QList<Volume> list() = 0;
    // The volume's current folder: the process's working folder when it lies on the volume,
    // else the mount point. Throws RuntimeError 68 when the volume cannot be read.
    virtual QString currentFolder(const QString& mountPoint) = 0;
};

// The index of the volume that holds path: the longest mount point it lies under, -1 for none.
qsizetype volumeHolding(const QList<Volume>& volumes, const QString& path);

} // namespace slidemill
