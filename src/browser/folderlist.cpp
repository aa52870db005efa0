#include "browser/folderlist.h"

#include "core/folderscan.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QDir>
#include <QKeyEvent>
#include <QStyle>

namespace slidemill {

namespace {

constexpr int kPathRole = Qt::UserRole;

bool liesUnder(const QString& path, const QString& root) {
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

QString joined(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setAccessibleName(QStringLiteral("Folders"));
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openRow(row(item)); });
}

void FolderList::setPath(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    setPath(clean, !root_.isEmpty() && liesUnder(clean, root_) ? root_ : QStringLiteral("/"));
}

void FolderList::setPath(const QString& path, const QString& root) {
    const QString clean = QDir::cleanPath(path);
    QString top = QDir::cleanPath(root);
    if (!liesUnder(clean, top))
        top = QStringLiteral("/");
    if (clean == path_ && top == root_)
        return;

    // Read first: a folder that cannot be read leaves the list as it was.
    QStringList subfolders = scanFolder(clean).folders;
    sortNames(subfolders);

    const bool moved = clean != path_;
    path_ = clean;
    root_ = top;

    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QString indentStep = QStringLiteral("  ");
    setUpdatesEnabled(false);
    clear();
    QString folder = top;
    QString indent;
    auto* first = new QListWidgetItem(open, printablePath(top), this);
    first->setData(kPathRole, top);
    const QString rest = clean.mid(top.size());
    for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        indent += indentStep;
        folder = joined(folder, part);
        auto* item = new QListWidgetItem(open, indent + printablePath(part), this);
        item->setData(kPathRole, folder);
    }
    const int currentRow = count() - 1;
    indent += indentStep;
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(closed, indent + printablePath(name), this);
        item->setData(kPathRole, joined(clean, name));
    }
    setCurrentRow(currentRow);
    setUpdatesEnabled(true);

    if (moved)
        Q_EMIT changed();
}

QString FolderList::folderAt(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(kPathRole).toString() : QString();
}

void FolderList::openRow(int row) {
    const QString folder = folderAt(row);
    if (folder.isEmpty())
        return;
    try {
        setPath(folder);
    } catch (const RuntimeError& e) {
        Q_EMIT openFailed(e.number(), e.text(), e.file());
    }
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace slidemill
