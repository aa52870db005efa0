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
    std::function<std::unique_ptr<SavingHost>()> newHost;
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
    QAbstractItemView* view(const char* name) const { return control<QAbstractItemView>(name); }
    void click(const char* button);
    // A click the user gives while the program is busy: queued until events are taken again.
    static void postClick(QWidget* widget);
    static void clickRow(QAbstractItemView* list, int row, Qt::KeyboardModifiers mods = {});
    static void doubleClickRow(QAbstractItemView* list, int row);
    // A plain click on the first row, Ctrl+click on the rest: the last one is current.
    static void selectRows(QAbstractItemView* list, const QList<int>& rows);
    // The rows as the list shows them.
    static QStringList texts(const QAbstractItemView* list);
};

} // namespace slidemill::test
