#include "browser/filelist.h"

#include "browser/folderscan.h"

namespace slidemill {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Every row has the same height: a folder of many files lays out at once.
    setUniformItemSizes(true);
    setAccessibleName(QStringLiteral("Files"));
}

void FileList::setPath(const QString& path) {
    clear();
    path_ = path;
    const NamePattern pattern(kPattern);
    QStringList names;
    for (QString& name : scanFolder(path).files) {
        if (pattern.matches(name))
            names.append(std::move(name));
    }
    sortNames(names);
    setUpdatesEnabled(false);
    addItems(names);
    setUpdatesEnabled(true);
}

} // namespace slidemill
