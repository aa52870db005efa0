#pragma once

#include <QComboBox>

namespace slidemill {

// Drive1: the machine's volumes.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);
    // The chosen volume's mount point.
    QString drive() const;
};

} // namespace slidemill
