#pragma once

#include "browser/volumes.h"

#include <QHash>

namespace slidemill::test {

// Plays the machine's volumes. Each volume has a fixed current folder and can be made to
// fail: unavailable (68) for a number of calls, or failing with another error every time.
class FakeVolumes : public Volumes {
public:
    FakeVolumes() = default;
    // One volume, "Fake", mounted at folder, whose current folder is folder itself.
    explicit FakeVolumes(const QString& folder);

    // Adds a volume; its current folder is the mount point unless given.
    void add(const QString& name, const QString& mountPoint, const QString& currentFolder = {});
    // The next times calls for this volume raise 68; -1 for every call.
    void setUnavailable(const QString& mountPoint, int times);
    // Every call for this volume raises this error number (0: none).
    void setFailure(const QString& mountPoint, int number);
    void setCurrentFolder(const QString& mountPoint, const QString& folder);
    // How often currentFolder was asked for this volume.
    int calls(const QString& mountPoint) const { return state_.value(mountPoint).calls; }

    QList<Volume> list() override { return volumes_; }
    QString currentFolder(const QString& mountPoint) override;

private:
    struct State {
        QString currentFolder;
        int unavailable = 0;
        int failure = 0;
        int calls = 0;
    };
    QList<Volume> volumes_;
    QHash<QString, State> state_;
};

} // namespace slidemill::test
