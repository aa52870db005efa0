#include "app/qtmessageboxes.h"

#include <QMessageBox>

namespace slidemill {

int QtMessageBoxes::show(QWidget* parent, const QString& text, const QString& title, int style) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (style & 0x70) {
    case mbExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case mbInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    if ((style & 7) == mbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? mbReplyYes : mbReplyNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return mbReplyOk;
}

} // namespace slidemill
