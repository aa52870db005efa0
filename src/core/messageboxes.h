#pragma once

#include <QString>

class QWidget;

namespace slidemill {

// Message box styles and replies as the handlers speak of them: a button set plus an icon.
enum MessageBoxStyle : int { mbOkOnly = 0, mbYesNo = 4, mbExclamation = 48, mbInformation = 64 };
enum MessageBoxReply : int { mbReplyOk = 1, mbReplyYes = 6, mbReplyNo = 7 };

inline const QString kAppTitle = QStringLiteral("Slidemill");

// Modal message boxes; tests put a scripted user in their place.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Returns the reply code: 1 OK, 6 Yes, 7 No.
    virtual int show(QWidget* parent, const QString& text, const QString& title, int style) = 0;
};

} // namespace slidemill
