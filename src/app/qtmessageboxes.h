#pragma once

#include "core/messageboxes.h"

namespace slidemill {

// QMessageBox, modal over the window.
class QtMessageBoxes : public MessageBoxes {
public:
    int show(QWidget* parent, const QString& text, const QString& title, int style) override;
};

} // namespace slidemill
