#pragma once

#include "core/messageboxes.h"

#include <QList>
#include <QStringList>

namespace slidemill::test {

// Plays the user at message boxes: answers from a queue (OK when it runs dry) and writes
// down every box shown.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        QString title;
        int style;
    };
    QList<Shown> shown;
    QList<int> replies;

    int show(QWidget*, const QString& text, const QString& title, int style) override {
        shown.append({text, title, style});
        return replies.isEmpty() ? mbReplyOk : replies.takeFirst();
    }
};

} // namespace slidemill::test
