#pragma once

#include <QListWidget>
#include <QStringList>

namespace slidemill {

// List1: the photo list, unsorted, extended selection, with a horizontal scroll range that
// only UpdateListExtent sets (Qt's list would otherwise size it to the content).
class PhotoListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit PhotoListWidget(QWidget* parent = nullptr);

    // Width in pixels over which the list scrolls sideways; 0 when never set.
    int horizontalExtent() const { return extent_; }
    void setHorizontalExtent(int pixels);

    QStringList texts() const;

protected:
    void updateGeometries() override;

private:
    void applyExtent();
    int extent_ = 0;
};

} // namespace slidemill
