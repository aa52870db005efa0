#include "photolist/photolistview.h"

#include "photolist/photolistmodel.h"

#include <QAccessible>
#include <QScrollBar>

namespace slidemill {

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
}

void PhotoListView::setHorizontalExtent(int pixels) {
    extent_ = pixels;
    applyExtent();
}

void PhotoListView::updateGeometries() {
    QListView::updateGeometries();
    applyExtent();
}

// Data changes only when entries trade places, and every entry shows on one line, so every
// row keeps its height and place: repainting what the list shows will do. Qt's list would lay
// out all rows again and measure every changed one, most of a second on a full list after a
// press of UP or DOWN.
void PhotoListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                const QList<int>&) {
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

void PhotoListView::applyExtent() {
    QScrollBar* bar = horizontalScrollBar();
    const int range = qMax(0, extent_ - viewport()->width());
    bar->setRange(0, range);
    bar->setPageStep(viewport()->width());
    bar->setSingleStep(qMax(1, fontMetrics().averageCharWidth()));
}

} // namespace slidemill
