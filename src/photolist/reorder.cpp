#include "photolist/reorder.h"

#include "core/checked.h"

#include <QItemSelectionModel>
#include <QListWidget>
#include <QSignalBlocker>
#include <algorithm>
#include <vector>

namespace slidemill {

namespace {

// The list as the pass sees it: texts and selected flags by row. The pass runs on this copy
// and the list is written once at the end, because the selection model answers one flag at
// a time in time proportional to the number of selected runs.
struct Snapshot {
    QStringList texts;
    std::vector<char> selected;
};

Snapshot read(QListWidget& list, int count) {
    Snapshot s;
    s.texts.reserve(count);
    for (int i = 0; i < count; ++i)
        s.texts.append(list.item(i)->text());
    s.selected.assign(std::size_t(count), 0);
    for (const QItemSelectionRange& range : list.selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            s.selected[std::size_t(row)] = 1;
    }
    return s;
}

// Writes back what the pass changed: only the texts that differ, the selection in one step,
// and the current entry without touching any selected flag.
//
// The list's own notifications are held back while writing: for every text written the view
// would lay out all rows again, and for a selection of many runs it would compare each old
// run with each new one, either way seconds on a full list. Texts only trade places, so every
// row keeps its size and a repaint is all the view needs; a text with a line break would
// change row heights, so then the view is told to lay the rows out again.
void write(QListWidget& list, const Snapshot& before, const Snapshot& after, int current) {
    QAbstractItemModel* model = list.model();
    const int count = int(after.texts.size());
    bool lineBreaks = false;
    int first = count, lastWritten = -1;
    {
        const QSignalBlocker blocker(model);
        for (int i = 0; i < count; ++i) {
            if (after.texts[i] == before.texts[i])
                continue;
            list.item(i)->setText(after.texts[i]);
            lineBreaks = lineBreaks || after.texts[i].contains(QLatin1Char('\n'));
            first = std::min(first, i);
            lastWritten = i;
        }
    }
    if (lineBreaks)
        Q_EMIT model->dataChanged(model->index(first, 0), model->index(lastWritten, 0));

    if (after.selected != before.selected) {
        QItemSelection selection;
        for (int i = 0; i < count;) {
            if (!after.selected[std::size_t(i)]) {
                ++i;
                continue;
            }
            int end = i;
            while (end + 1 < count && after.selected[std::size_t(end + 1)])
                ++end;
            selection.select(model->index(i, 0), model->index(end, 0));
            i = end + 1;
        }
        {
            const QSignalBlocker blocker(list.selectionModel());
            // Clearing and then selecting: in one step the model would compare every old run
            // with every new one.
            list.selectionModel()->clearSelection();
            list.selectionModel()->select(selection, QItemSelectionModel::Select);
        }
        Q_EMIT list.itemSelectionChanged();
    }
    list.selectionModel()->setCurrentIndex(model->index(current, 0), QItemSelectionModel::NoUpdate);
    list.viewport()->update();
}

// step -1 runs the up pass, +1 the down pass; both are the same walk seen from either end.
void runPass(QListWidget& list, int step) {
    const std::int16_t count = narrow16(list.count());
    const std::int16_t last = sub16(count, 1);
    if (count <= 0)
        return;
    const Snapshot before = read(list, count);
    Snapshot s = before;

    int seen = step < 0 ? 0 : last;
    int current = -1;
    for (int n = 0; n <= last; ++n) {
        const int i = step < 0 ? n : last - n;
        if (!s.selected[std::size_t(i)])
            continue;
        const bool pinned = i == seen;
        seen -= step;
        if (pinned)
            continue;
        const int to = i + step;
        s.texts.swapItemsAt(i, to);
        s.selected[std::size_t(i)] = 0;
        s.selected[std::size_t(to)] = 1;
        current = to;
    }
    if (current >= 0)
        write(list, before, s, current);
}

} // namespace

void moveSelectedUp(QListWidget& list) {
    runPass(list, -1);
}

void moveSelectedDown(QListWidget& list) {
    runPass(list, +1);
}

} // namespace slidemill
