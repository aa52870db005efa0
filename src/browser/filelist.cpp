#include "browser/filelist.h"

#include "browser/folderscan.h"
#include "core/nativepath.h"

namespace slidemill {

namespace {

constexpr int kNameRole = Qt::UserRole;

} // namespace

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
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(printablePath(name), this);
        item->setData(kNameRole, name);
    }
    setUpdatesEnabled(true);
}

QString FileList::name(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(kNameRole).toString() : QString();
}

} // namespace slidemill
