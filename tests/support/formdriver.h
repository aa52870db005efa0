#pragma once

#include "app/form1.h"
#include "slides/picturemetrics.h"
#include "support/fakevolumes.h"
#include "support/scriptedboxes.h"

#include <QListWidget>

namespace slidemill::test {

// A shown Form1 on test doubles, and the user's hand on it: clicks on buttons and rows.
class FormDriver {
public:
    ScriptedMessageBoxes boxes;
    FakeVolumes volumes;
    HeaderPictureLoader loader;
    std::function<std::unique_ptr<PresentationHost>()> newHost;
    std::unique_ptr<Form1> form;

    // Shows a new window; false when it never appears.
    bool open();

    template <class T> T* control(const char* name) const {
        T* w = form->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QListWidget* list(const char* name) const { return control<QListWidget>(name); }
    void click(const char* button);
    static void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods = {});
    static void doubleClickRow(QListWidget* list, int row);
    // A plain click on the first row, Ctrl+click on the rest: the last one is current.
    static void selectRows(QListWidget* list, const QList<int>& rows);
    static QStringList texts(const QListWidget* list);
};

} // namespace slidemill::test
