#pragma once

#include <QListView>

namespace slidemill {

class PhotoListModel;

// List1: shows the photo list, extended selection, on the list's own selection and current
// entry. Its horizontal scroll range is what UpdateListExtent sets, less the viewport's width.
class PhotoListView : public QListView {
    Q_OBJECT
public:
    explicit PhotoListView(PhotoListModel* photos, QWidget* parent = nullptr);

    PhotoListModel* photos() const { return photos_; }

    // Width in pixels over which the list scrolls sideways; 0 when never set.
    int horizontalExtent() const { return extent_; }
    void setHorizontalExtent(int pixels);

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

private:
    PhotoListModel* photos_;
    int extent_ = 0;
};

} // namespace slidemill
