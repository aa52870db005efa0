#include "browser/folderbrowser.h"

#include "browser/drivelist.h"
#include "browser/filelist.h"
#include "browser/folderlist.h"
#include "browser/volumes.h"
#include "core/folderscan.h"
#include "core/messageboxes.h"
#include "core/runtimeerror.h"

namespace slidemill {

FolderBrowser::FolderBrowser(DriveList* drive1, FolderList* dir1, FileList* file1, Volumes& volumes,
                             MessageBoxes& boxes, ErrorReport report, QWidget* window)
    : QObject(window), drive1_(drive1), dir1_(dir1), file1_(file1), volumes_(volumes),
      boxes_(boxes), report_(std::move(report)), window_(window) {
    drive1_->setSource(&volumes_);
    connect(drive1_, &DriveList::changed, this, [this] { guarded([this] { Drive1_Change(); }); });
    connect(dir1_, &FolderList::changed, this, [this] { guarded([this] { Dir1_Change(); }); });
    // A folder the user opened but that could not be read: reported like any handler error.
    connect(dir1_, &FolderList::openFailed, this,
            [this](int number, const QString& text, const QString& file) {
                report_(RuntimeError(number, text, file));
            });
}

void FolderBrowser::start() {
    guarded([this] {
        const QList<Volume> volumes = volumes_.list();
        qsizetype index = volumeHolding(volumes, workingFolder());
        if (index < 0 && !volumes.isEmpty())
            index = 0;
        drive1_->setVolumes(volumes, int(index));
        if (index >= 0) {
            const QString mountPoint = volumes[index].mountPoint;
            dir1_->setPath(volumes_.currentFolder(mountPoint), mountPoint);
        }
    });
}

void FolderBrowser::Drive1_Change() {
    for (;;) {
        try {
            const QString mountPoint = drive1_->drive();
            dir1_->setPath(volumes_.currentFolder(mountPoint), mountPoint);
            return;
        } catch (const RuntimeError& e) {
            if (e.number() != errDeviceUnavailable) {
                boxes_.show(window_, e.text(), kAppTitle, mbOkOnly | mbExclamation);
                return;
            }
            if (boxes_.show(window_, kDiskMissingText, kDiskMissingTitle,
                            mbExclamation + mbYesNo) != mbReplyYes)
                return;
        }
    }
}

void FolderBrowser::guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const RuntimeError& e) {
        report_(e);
    }
}

void FolderBrowser::Dir1_Change() {
    file1_->setPath(dir1_->path());
}

} // namespace slidemill
