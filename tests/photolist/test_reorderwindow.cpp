#include "app/form1.h"
#include "host/recordinghost.h"
#include "photolist/photolistwidget.h"
#include "slides/picturemetrics.h"
#include "support/fakevolumes.h"
#include "support/scriptedboxes.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

using Rows = QList<int>;

// cmdUp and cmdDown on the window: entries put in List1 through File1 and cmdAdd, rows
// selected by clicks, the buttons clicked.
class TestReorderWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    test::ScriptedMessageBoxes boxes_;
    std::unique_ptr<test::FakeVolumes> volumes_;
    HeaderPictureLoader loader_;
    std::unique_ptr<Form1> form_;

    template <class T> T* control(const char* name) {
        T* w = form_->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QListWidget* list1() { return control<QListWidget>("List1"); }
    void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }
    // Plain click on the first row, Ctrl+click on the rest: the last one clicked is current.
    void selectRows(QListWidget* list, const Rows& rows) {
        for (qsizetype i = 0; i < rows.size(); ++i)
            clickRow(list, rows[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    }
    // The photo list as the letters of its file names.
    QString order() {
        QString s;
        for (int i = 0; i < list1()->count(); ++i)
            s += list1()->item(i)->text().right(5).left(1);
        return s;
    }
    Rows selected() {
        Rows rows;
        for (int i = 0; i < list1()->count(); ++i) {
            if (list1()->item(i)->isSelected())
                rows << i;
        }
        return rows;
    }

private Q_SLOTS:
    void initTestCase() {
        for (const char* name : {"A.png", "B.png", "C.png", "D.png", "E.png"}) {
            QFile f(dir_.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }
    void init() {
        volumes_ = std::make_unique<test::FakeVolumes>(dir_.path());
        form_ = std::make_unique<Form1>(
            Services{boxes_, *volumes_, loader_, [] { return std::make_unique<RecordingHost>(); }});
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QListWidget* file1 = control<QListWidget>("File1");
        QCOMPARE(file1->count(), 5);
        selectRows(file1, {0, 1, 2, 3, 4});
        QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
        QCOMPARE(order(), QStringLiteral("ABCDE"));
    }
    void cleanup() { form_.reset(); }

    void pressOnce_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("orderAfter");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::addColumn<int>("currentAfter");
        QTest::newRow("up 0,2,3") << "cmdUp" << Rows{0, 2, 3} << "ACDBE" << Rows{0, 1, 2} << 2;
        QTest::newRow("up 1,3") << "cmdUp" << Rows{1, 3} << "BADCE" << Rows{0, 2} << 2;
        QTest::newRow("up 3,4") << "cmdUp" << Rows{3, 4} << "ABDEC" << Rows{2, 3} << 3;
        QTest::newRow("up 4") << "cmdUp" << Rows{4} << "ABCED" << Rows{3} << 3;
        QTest::newRow("down 1,2") << "cmdDown" << Rows{1, 2} << "ADBCE" << Rows{2, 3} << 2;
        QTest::newRow("down 0,2,4") << "cmdDown" << Rows{0, 2, 4} << "BADCE" << Rows{1, 3, 4} << 1;
        // The last row clicked stays current.
        QTest::newRow("down 3,4") << "cmdDown" << Rows{3, 4} << "ABCDE" << Rows{3, 4} << 4;
    }
    void pressOnce() {
        QFETCH(QString, button);
        QFETCH(Rows, rows);
        selectRows(list1(), rows);
        QTest::mouseClick(control<QPushButton>(qPrintable(button)), Qt::LeftButton);
        QTEST(order(), "orderAfter");
        QTEST(selected(), "selectedAfter");
        QTEST(list1()->currentRow(), "currentAfter");
        // The count label is not touched by a move.
        QCOMPARE(control<QWidget>("Label1")->property("text").toString(),
                 QStringLiteral("Added 5"));
    }

    // The selection travels: pressing again carries the same entries on until they gather,
    // and a click afterwards lands on the entry the view shows there.
    void pressesGather() {
        selectRows(list1(), {2, 4});
        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(control<QPushButton>("cmdUp"), Qt::LeftButton);
        QCOMPARE(order(), QStringLiteral("CEABD"));
        QCOMPARE(selected(), (Rows{0, 1}));
        clickRow(list1(), 3);
        QCOMPARE(list1()->currentItem()->text(), dir_.filePath(QStringLiteral("B.png")));
        QCOMPARE(selected(), Rows{3});
    }
};

QTEST_MAIN(TestReorderWindow)
#include "test_reorderwindow.moc"
