#pragma once

#include "browser/volumes.h"

#include <QComboBox>

namespace slidemill {

// Drive1: the machine's volumes, each shown by its name and mount point.
// changed() is its Change: raised when another volume becomes the chosen one, whether the
// user picked it with the mouse or the keyboard; filling the list raises nothing.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    // The chosen volume's mount point.
    QString drive() const;

    // Shows these volumes and chooses the one at index, without raising changed().
    void setVolumes(const QList<Volume>& volumes, int index);
    // Where the list is read again each time it drops down, so media plugged in since show.
    void setSource(Volumes* volumes) { source_ = volumes; }

    void showPopup() override;

Q_SIGNALS:
    void changed();

private:
    Volumes* source_ = nullptr;
};

} // namespace slidemill
