#include "photolist/photolistmodel.h"

#include "core/checked.h"
#include "core/nativepath.h"

#include <algorithm>
#include <vector>

namespace slidemill {

PhotoListModel::PhotoListModel(QObject* parent) : QAbstractListModel(parent), selection_(this) {}

int PhotoListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PhotoListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return printablePath(paths_[index.row()]);
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
    Q_EMIT dataChanged(index(first), index(lastMoved), {Qt::DisplayRole});
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
