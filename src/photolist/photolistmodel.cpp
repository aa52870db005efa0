#include "photolist/photolistmodel.h"

#include "core/checked.h"
#include "core/namepattern.h"
#include "core/nativepath.h"
#include "core/previews.h"
#include "core/runtimeerror.h"

#include <QHash>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <vector>

namespace slidemill {

PhotoListModel::PhotoListModel(QObject* parent) : QAbstractListModel(parent), selection_(this) {}

int PhotoListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

bool isFolder(const QString& path) {
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder (the pictures `picturesIn` finds in it, none without a reader), a picture by its
// name as the file list tells one, or something else.
void sortOutFile(const QString& path, const FolderReader& picturesIn, DroppedFiles& files) {
    static const NamePattern pictures(kPicturePattern);
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    // %00 names no file: the name would end there.
    if (path.contains(QChar(0))) {
        ++files.others;
    } else if (isFolder(path)) {
        ++files.folders;
        if (!picturesIn)
            return;
        try {
            const QStringList found = picturesIn(path);
            files.pictures << found;
            files.fromFolders += int(found.size());
        } catch (const RuntimeError&) {
            ++files.unreadableFolders;
        }
    } else if (!name.isEmpty() && pictures.matches(name)) {
        files.pictures << path;
    } else {
        ++files.others;
    }
}

} // namespace

DroppedFiles droppedFiles(const QMimeData& data, const FolderReader& picturesIn) {
    DroppedFiles dropped;
    // One URL a line, lines starting with # are comments.
    for (const QByteArray& line : data.data(kUriList).split('\n')) {
        const QByteArray text = line.trimmed();
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(text);
        const QString host = url.host();
        if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0 ||
            !(host.isEmpty() || host == QLatin1String("localhost"))) {
            ++dropped.others;
            continue;
        }
        sortOutFile(pathFromNative(
                        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())),
                    picturesIn, dropped);
    }
    return dropped;
}

DroppedFiles givenFiles(const QStringList& paths, const FolderReader& picturesIn) {
    DroppedFiles given;
    for (const QString& path : paths)
        sortOutFile(path, picturesIn, given);
    return given;
}

QVariant PhotoListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const QString& path = paths_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return printablePath(path);
    case kPreviewPathRole:
        return path;
    case kCaptionRole:
        return own_.value(path).caption;
    case kTurnsRole:
        return own_.value(path).quarterTurns;
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole: {
        const std::optional<Preview> preview =
            previews_ ? previews_->find(path) : std::optional<Preview>();
        const QStringList lines =
            previewLines(path, preview ? &*preview : nullptr,
                         QStringLiteral("%1 of %2").arg(index.row() + 1).arg(count()));
        return role == Qt::ToolTipRole ? previewToolTip(lines, preview ? &*preview : nullptr)
                                       : lines.join(QLatin1Char('\n'));
    }
    default:
        return {};
    }
}

void PhotoListModel::setPreviews(PreviewSource* previews) {
    if (previews_)
        disconnect(previews_, nullptr, this, nullptr);
    previews_ = previews;
    if (previews_)
        connect(previews_, &PreviewSource::made, this, &PhotoListModel::previewMade);
}

void PhotoListModel::previewMade(const QString& path) {
    for (int row = 0; row < count(); ++row) {
        if (paths_[row] == path)
            Q_EMIT dataChanged(index(row), index(row),
                               {Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
    }
}

Qt::ItemFlags PhotoListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? QAbstractListModel::flags(index) : Qt::ItemIsDropEnabled;
}

QStringList PhotoListModel::mimeTypes() const {
    return {kUriList};
}

// Never a move: the file manager would take the files away once they were dropped.
Qt::DropActions PhotoListModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::LinkAction;
}

bool PhotoListModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                     const QModelIndex& parent) const {
    return data && !parent.isValid() && (action & supportedDropActions()) &&
           data->hasFormat(kUriList);
}

bool PhotoListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    Q_EMIT filesDropped(droppedFiles(*data, picturesIn_));
    return true;
}

QStringList PhotoListModel::shownTexts() const {
    QStringList out;
    out.reserve(paths_.size());
    for (const QString& path : paths_)
        out << printablePath(path);
    return out;
}

void PhotoListModel::append(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    beginInsertRows({}, count(), count() + int(paths.size()) - 1);
    paths_ += paths;
    endInsertRows();
}

void PhotoListModel::removeAt(int row) {
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    paths_.removeAt(row);
    endRemoveRows();
    // The selection model has made a neighbour current, which the view does not highlight.
    setCurrentRow(-1);
}

void PhotoListModel::clear() {
    beginResetModel();
    paths_.clear();
    endResetModel();
}

void PhotoListModel::reorder(const QStringList& paths) {
    if (paths == paths_ || paths.size() != paths_.size())
        return;
    // Each entry's flags follow it; equal paths are matched first to first.
    const int n = count();
    std::vector<char> wasSelected(std::size_t(n), 0);
    for (const int row : selectedRows())
        wasSelected[std::size_t(row)] = 1;
    const int current = currentRow();
    QHash<QString, QList<int>> from;
    for (int row = n - 1; row >= 0; --row)
        from[paths_[row]].prepend(row);
    std::vector<char> selected(std::size_t(n), 0);
    int newCurrent = -1;
    for (int to = 0; to < n; ++to) {
        QList<int>& rows = from[paths[to]];
        if (rows.isEmpty())
            return; // not a permutation: nothing changes
        const int was = rows.takeFirst();
        selected[std::size_t(to)] = wasSelected[std::size_t(was)];
        if (was == current)
            newCurrent = to;
    }
    paths_ = paths;
    Q_EMIT dataChanged(index(0), index(n - 1));
    setSelectedFlags(selected);
    setCurrentRow(newCurrent);
}

void PhotoListModel::removeEntries(QList<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        if (row < 0 || row >= count())
            continue;
        beginRemoveRows({}, row, row);
        paths_.removeAt(row);
        endRemoveRows();
    }
}

void PhotoListModel::moveEntries(QList<int> rows, int before) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int row) { return row < 0 || row >= count(); });
    if (rows.isEmpty())
        return;
    before = std::clamp(before, 0, count());
    QStringList moved, kept;
    int at = -1;
    for (int row = 0, next = 0; row <= count(); ++row) {
        if (row == before)
            at = int(kept.size());
        if (row == count())
            break;
        if (next < rows.size() && rows[next] == row) {
            moved << paths_[row];
            ++next;
        } else {
            kept << paths_[row];
        }
    }
    QStringList order = kept.mid(0, at) + moved + kept.mid(at);
    reorder(order);
}

OwnSettings PhotoListModel::ownSettings(int row) const {
    return row >= 0 && row < count() ? own_.value(paths_[row]) : OwnSettings();
}

void PhotoListModel::setOwnSettings(int row, const OwnSettings& own) {
    if (row < 0 || row >= count() || ownSettings(row) == own)
        return;
    const QString path = paths_[row];
    if (own == OwnSettings())
        own_.remove(path);
    else
        own_.insert(path, own);
    for (int r = 0; r < count(); ++r)
        if (paths_[r] == path)
            Q_EMIT dataChanged(index(r), index(r), {kCaptionRole, kTurnsRole});
}

QList<OwnSettings> PhotoListModel::allOwnSettings() const {
    QList<OwnSettings> all;
    all.reserve(paths_.size());
    for (const QString& path : paths_)
        all << own_.value(path);
    return all;
}

void PhotoListModel::forgetOwnSettings() {
    if (own_.isEmpty())
        return;
    own_.clear();
    if (count() > 0)
        Q_EMIT dataChanged(index(0), index(count() - 1), {kCaptionRole, kTurnsRole});
}

bool PhotoListModel::isSelected(int row) const {
    return selection_.isSelected(index(row));
}

QList<int> PhotoListModel::selectedRows() const {
    QList<int> rows;
    for (const QItemSelectionRange& range : selection_.selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void PhotoListModel::setSelected(int row, bool selected) {
    selection_.select(index(row),
                      selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

int PhotoListModel::currentRow() const {
    return selection_.currentIndex().row();
}

void PhotoListModel::setCurrentRow(int row) {
    selection_.setCurrentIndex(index(row), QItemSelectionModel::NoUpdate);
}

void PhotoListModel::moveSelectedUp() {
    runPass(-1);
}

void PhotoListModel::moveSelectedDown() {
    runPass(+1);
}

// step -1 runs the up pass, +1 the down pass; both are the same walk seen from either end.
// The selection model answers one flag at a time in time proportional to the number of
// selected runs, so the pass reads all flags once, walks them, and writes them back once.
void PhotoListModel::runPass(int step) {
    const std::int16_t count = narrow16(paths_.size());
    const std::int16_t last = sub16(count, 1);
    if (count <= 0)
        return;
    std::vector<char> selected(std::size_t(count), 0);
    for (const int row : selectedRows())
        selected[std::size_t(row)] = 1;

    int seen = step < 0 ? 0 : last;
    int current = -1;
    int first = count, lastMoved = -1;
    for (int n = 0; n <= last; ++n) {
        const int i = step < 0 ? n : last - n;
        if (!selected[std::size_t(i)])
            continue;
        const bool pinned = i == seen;
        seen -= step;
        if (pinned)
            continue;
        const int to = i + step;
        paths_.swapItemsAt(i, to);
        selected[std::size_t(i)] = 0;
        selected[std::size_t(to)] = 1;
        current = to;
        first = std::min({first, i, to});
        lastMoved = std::max({lastMoved, i, to});
    }
    if (current < 0)
        return;
    Q_EMIT dataChanged(index(first), index(lastMoved));
    setSelectedFlags(selected);
    setCurrentRow(current);
}

void PhotoListModel::setSelectedFlags(const std::vector<char>& selected) {
    const int n = int(selected.size());
    QItemSelection runs;
    for (int i = 0; i < n;) {
        if (!selected[std::size_t(i)]) {
            ++i;
            continue;
        }
        int end = i;
        while (end + 1 < n && selected[std::size_t(end + 1)])
            ++end;
        runs.select(index(i), index(end));
        i = end + 1;
    }
    // Clearing first and then selecting: in one step the selection model would compare every
    // old run with every new one.
    selection_.clearSelection();
    selection_.select(runs, QItemSelectionModel::Select);
}

} // namespace slidemill
