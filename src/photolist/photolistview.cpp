#include "photolist/photolistview.h"

#include "photolist/photolistmodel.h"

#include <QAccessible>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace slidemill {

namespace {

// Every row is as wide as the extent. Qt's list takes the widest row for the width of what it
// scrolls over, so the extent alone sets the sideways range. A second range of our own beside
// the list's, taken from the texts, fought it near the viewport's width: each one shown or hid
// the scroll bar, resized the viewport and called for the other again, without end.
class ExtentWideRows : public QStyledItemDelegate {
public:
    explicit ExtentWideRows(PhotoListView* view) : QStyledItemDelegate(view), view_(view) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {view_->horizontalExtent(), QStyledItemDelegate::sizeHint(option, index).height()};
    }

private:
    const PhotoListView* view_;
};

} // namespace

PhotoListView::PhotoListView(PhotoListModel* photos, QWidget* parent)
    : QListView(parent), photos_(photos) {
    setModel(photos);
    QItemSelectionModel* own = selectionModel();
    setSelectionModel(photos->selectionModel());
    delete own;
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    setItemDelegate(new ExtentWideRows(this));
    // Each entry is one line, so one row's height serves all: the list does not shape every
    // entry's text to lay them out.
    setUniformItemSizes(true);
    // Files from a file manager are dropped on the list as a whole and go to its end.
    setDragDropMode(QAbstractItemView::DropOnly);
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
}

void PhotoListView::setHorizontalExtent(int pixels) {
    extent_ = pixels;
    // A step of an average character, not of a whole row.
    horizontalScrollBar()->setSingleStep(qMax(1, fontMetrics().averageCharWidth()));
    doItemsLayout();
}

// Data changes only when entries trade places, and every entry shows on one line, so every
// row keeps its height and place: repainting what the list shows will do. Qt's list would lay
// out all rows again and measure every changed one, most of a second on a full list after a
// press of UP or DOWN. A preview made changes nothing that is painted.
void PhotoListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                const QList<int>& roles) {
    if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
        viewport()->update();
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
        event.setFirstRow(topLeft.row());
        event.setLastRow(bottomRight.row());
        event.setFirstColumn(0);
        event.setLastColumn(0);
        QAccessible::updateAccessibility(&event);
    }
#endif
}

// A change of selection repaints what the list shows. Qt's list measures the rows of every
// selected run, which on a pass over a full list of scattered runs takes most of a second.
QRegion PhotoListView::visualRegionForSelection(const QItemSelection& selection) const {
    return selection.isEmpty() ? QRegion() : QRegion(viewport()->rect());
}

} // namespace slidemill
