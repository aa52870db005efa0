#include "photolist/photolistwidget.h"

#include <QScrollBar>

namespace slidemill {

PhotoListWidget::PhotoListWidget(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
}

void PhotoListWidget::setHorizontalExtent(int pixels) {
    extent_ = pixels;
    applyExtent();
}

QStringList PhotoListWidget::texts() const {
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out << item(i)->text();
    return out;
}

void PhotoListWidget::updateGeometries() {
    QListWidget::updateGeometries();
    applyExtent();
}

void PhotoListWidget::applyExtent() {
    QScrollBar* bar = horizontalScrollBar();
    const int range = qMax(0, extent_ - viewport()->width());
    bar->setRange(0, range);
    bar->setPageStep(viewport()->width());
    bar->setSingleStep(qMax(1, fontMetrics().averageCharWidth()));
}

} // namespace slidemill
