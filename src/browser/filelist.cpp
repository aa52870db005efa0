#include "browser/filelist.h"

#include "core/folderscan.h"
#include "core/nativepath.h"
#include "core/previews.h"

namespace slidemill {

namespace {

constexpr int kNameRole = Qt::UserRole;

} // namespace

// An entry's preview is not held by it but asked for when wanted, so that a folder of many
// files lists as fast as ever.
class FileList::Entry : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    QVariant data(int role) const override {
        if (role != kPreviewPathRole && role != Qt::ToolTipRole &&
            role != Qt::AccessibleDescriptionRole)
            return QListWidgetItem::data(role);
        const auto* list = static_cast<const FileList*>(listWidget());
        return list ? list->previewData(this, role) : QVariant();
    }
};

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Every row has the same height: a folder of many files lays out at once.
    setUniformItemSizes(true);
    setAccessibleName(QStringLiteral("Files"));
}

void FileList::setPath(const QString& path) {
    described_.clear();
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
        auto* item = new Entry(printablePath(name), this);
        item->setData(kNameRole, name);
    }
    setUpdatesEnabled(true);
}

QString FileList::name(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(kNameRole).toString() : QString();
}

void FileList::setPreviews(PreviewSource* previews) {
    if (previews_)
        disconnect(previews_, nullptr, this, nullptr);
    previews_ = previews;
    if (previews_)
        connect(previews_, &PreviewSource::made, this, &FileList::previewMade);
}

QVariant FileList::previewData(const QListWidgetItem* item, int role) const {
    const QString path = path_ + QLatin1Char('/') + item->data(kNameRole).toString();
    if (role == kPreviewPathRole)
        return path;
    const std::optional<Preview> preview =
        previews_ ? previews_->find(path) : std::optional<Preview>();
    described_.insert(path, item);
    const QStringList lines = previewLines(path, preview ? &*preview : nullptr);
    return role == Qt::ToolTipRole ? previewToolTip(lines, preview ? &*preview : nullptr)
                                   : lines.join(QLatin1Char('\n'));
}

// The entries' data comes from the previews: the list's model is told that it changed.
void FileList::previewMade(const QString& path) {
    const auto described = described_.constFind(path);
    if (described == described_.cend())
        return;
    const QModelIndex index = indexFromItem(*described);
    if (index.isValid())
        Q_EMIT model()->dataChanged(index, index, {Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
}

} // namespace slidemill
