#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "support/formdriver.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

using Rows = QList<int>;

// cmdUp and cmdDown on the window: entries put in List1 through File1 and cmdAdd, rows
// selected by clicks, the buttons clicked. The moves themselves are tested on the list model.
class TestReorderWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<test::FormDriver> w_;

    PhotoListView* list1() { return w_->control<PhotoListView>("List1"); }
    PhotoListModel* photos() { return list1()->photos(); }
    // The photo list as the letters of its file names.
    QString order() {
        QString s;
        for (const QString& t : w_->texts(list1()))
            s += t.right(5).left(1);
        return s;
    }
    Rows selected() { return photos()->selectedRows(); }

private Q_SLOTS:
    void initTestCase() {
        for (const char* name : {"A.png", "B.png", "C.png", "D.png", "E.png"}) {
            QFile f(dir_.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }
    void init() {
        w_ = std::make_unique<test::FormDriver>();
        w_->volumes.add(QStringLiteral("Fake"), dir_.path());
        QVERIFY(w_->open());
        w_->selectRows(w_->list("File1"), {0, 1, 2, 3, 4});
        w_->click("cmdAdd");
        QCOMPARE(order(), QStringLiteral("ABCDE"));
    }
    void cleanup() { w_.reset(); }

    void pressOnce_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("orderAfter");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::addColumn<int>("currentAfter");
        QTest::newRow("up 0,2,3") << "cmdUp" << Rows{0, 2, 3} << "ACDBE" << Rows{0, 1, 2} << 2;
        QTest::newRow("down 0,2,4") << "cmdDown" << Rows{0, 2, 4} << "BADCE" << Rows{1, 3, 4} << 1;
        // The last row clicked stays current.
        QTest::newRow("down 3,4") << "cmdDown" << Rows{3, 4} << "ABCDE" << Rows{3, 4} << 4;
    }
    void pressOnce() {
        QFETCH(QString, button);
        QFETCH(Rows, rows);
        w_->selectRows(list1(), rows);
        w_->click(qPrintable(button));
        QTEST(order(), "orderAfter");
        QTEST(selected(), "selectedAfter");
        QTEST(photos()->currentRow(), "currentAfter");
        // The count label is not touched by a move.
        QCOMPARE(w_->control<QWidget>("Label1")->property("text").toString(),
                 QStringLiteral("Added 5"));
    }

    // The selection travels: pressing again carries the same entries on until they gather,
    // and a click afterwards lands on the entry the view shows there.
    void pressesGather() {
        w_->selectRows(list1(), {2, 4});
        for (int i = 0; i < 4; ++i)
            w_->click("cmdUp");
        QCOMPARE(order(), QStringLiteral("CEABD"));
        QCOMPARE(selected(), (Rows{0, 1}));
        w_->clickRow(list1(), 3);
        QCOMPARE(photos()->paths().value(photos()->currentRow()),
                 dir_.filePath(QStringLiteral("B.png")));
        QCOMPARE(selected(), Rows{3});
    }
};

QTEST_MAIN(TestReorderWindow)
#include "test_reorderwindow.moc"
