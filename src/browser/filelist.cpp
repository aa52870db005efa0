#include "browser/filelist.h"

#include <QDir>

namespace slidemill {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void FileList::setPath(const QString& path) {
    QDir dir(path);
    dir.setNameFilters(kPattern.split(QLatin1Char(';')));
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    path_ = path;
    clear();
    addItems(dir.entryList());
}

} // namespace slidemill
