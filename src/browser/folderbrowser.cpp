#include "browser/folderbrowser.h"

#include "app/handler.h"
#include "browser/drivelist.h"
#include "browser/filelist.h"
#include "browser/folderlist.h"
#include "browser/volumes.h"

#include <QDir>

namespace slidemill {

FolderBrowser::FolderBrowser(DriveList* drive1, FolderList* dir1, FileList* file1,
                             Volumes& volumes, MessageBoxes& boxes, QWidget* window)
    : QObject(window), drive1_(drive1), dir1_(dir1), file1_(file1), volumes_(volumes),
      boxes_(boxes), window_(window) {
    connect(dir1_, &FolderList::changed, this,
            [this] { runHandler(boxes_, window_, [this] { Dir1_Change(); }); });
}

void FolderBrowser::start() { dir1_->setPath(QDir::currentPath()); }

void FolderBrowser::Drive1_Change() {}

void FolderBrowser::Dir1_Change() { file1_->setPath(dir1_->path()); }

} // namespace slidemill
