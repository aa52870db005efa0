#include "support/formdriver.h"

#include "support/recordinghost.h"

#include <QPushButton>
#include <QTest>

namespace slidemill::test {

bool FormDriver::open() {
    if (!newHost)
        newHost = [] { return std::make_unique<RecordingHost>(); };
    form = std::make_unique<Form1>(Services{boxes, volumes, loader, [this] { return newHost(); }});
    form->show();
    return QTest::qWaitForWindowExposed(form.get());
}

void FormDriver::click(const char* button) {
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
}

void FormDriver::clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                      list->visualItemRect(list->item(row)).center());
}

void FormDriver::doubleClickRow(QListWidget* list, int row) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void FormDriver::selectRows(QListWidget* list, const QList<int>& rows) {
    for (qsizetype i = 0; i < rows.size(); ++i)
        clickRow(list, rows[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
}

QStringList FormDriver::texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace slidemill::test
