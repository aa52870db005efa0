#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace slidemill {

class DriveList;
class FolderList;
class FileList;
class Volumes;
class MessageBoxes;
class RuntimeError;

// How the window reports an error that a browser handler does not trap.
using ErrorReport = std::function<void(const RuntimeError&)>;

inline const QString kDiskMissingText =
    QStringLiteral("Your disk is not available. Do you want to try again?");
inline const QString kDiskMissingTitle = QStringLiteral("Disk Missing");

// Keeps Drive1, Dir1 and File1 in step.
class FolderBrowser : public QObject {
    Q_OBJECT
public:
    FolderBrowser(DriveList* drive1, FolderList* dir1, FileList* file1, Volumes& volumes,
                  MessageBoxes& boxes, ErrorReport report, QWidget* window);
    // Puts the three lists on the process's current volume and folder.
    void start();

    // A new volume: Dir1 moves to its current folder, asking to try again while the volume
    // does not answer. Errors end here; the lists stay where they were.
    void Drive1_Change();
    // A new folder: File1 lists it. Traps nothing.
    void Dir1_Change();

private:
    // Runs a handler in the default error mode: what it does not trap goes to report_.
    void guarded(const std::function<void()>& body);

    DriveList* drive1_;
    FolderList* dir1_;
    FileList* file1_;
    Volumes& volumes_;
    MessageBoxes& boxes_;
    ErrorReport report_;
    QWidget* window_;
};

} // namespace slidemill
