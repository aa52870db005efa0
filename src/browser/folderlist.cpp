#include "browser/folderlist.h"

#include <QDir>

namespace slidemill {

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {}

void FolderList::setPath(const QString& path) {
    if (path == path_)
        return;
    path_ = path;
    clear();
    addItem(path);
    Q_EMIT changed();
}

} // namespace slidemill
