#pragma once

#include <QObject>

class QWidget;

namespace slidemill {

class DriveList;
class FolderList;
class FileList;
class Volumes;
class MessageBoxes;

// Keeps Drive1, Dir1 and File1 in step.
class FolderBrowser : public QObject {
    Q_OBJECT
public:
    FolderBrowser(DriveList* drive1, FolderList* dir1, FileList* file1, Volumes& volumes,
                  MessageBoxes& boxes, QWidget* window);
    // Puts the three lists on the process's current volume and folder.
    void start();

    void Drive1_Change();
    void Dir1_Change();

private:
    DriveList* drive1_;
    FolderList* dir1_;
    FileList* file1_;
    Volumes& volumes_;
    MessageBoxes& boxes_;
    QWidget* window_;
};

} // namespace slidemill
