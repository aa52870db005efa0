#include "photolist/reorder.h"

#include "core/runtimeerror.h"

#include <QListWidget>
#include <QTest>

using namespace slidemill;

using Rows = QList<int>;

namespace {

// A list of the given texts with the given rows selected and the given current row.
void fill(QListWidget& list, const QString& texts, const Rows& selected, int current = -1) {
    list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const QChar c : texts)
        list.addItem(QString(c));
    list.selectionModel()->setCurrentIndex(list.model()->index(current, 0),
                                           QItemSelectionModel::NoUpdate);
    for (int row : selected)
        list.item(row)->setSelected(true);
}

QString order(const QListWidget& list) {
    QString s;
    for (int i = 0; i < list.count(); ++i)
        s += list.item(i)->text();
    return s;
}

Rows selectedRows(const QListWidget& list) {
    Rows rows;
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i)->isSelected())
            rows.append(i);
    }
    return rows;
}

void press(QListWidget& list, bool up) {
    up ? moveSelectedUp(list) : moveSelectedDown(list);
}

} // namespace

class TestReorder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void onePass_data() {
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("texts");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<int>("currentBefore");
        QTest::addColumn<QString>("orderAfter");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::addColumn<int>("currentAfter");

        // The five-entry examples; a current index of 4 before shows "unchanged".
        QTest::newRow("up 0,2,3") << true << "ABCDE" << Rows{0, 2, 3} << 4 << "ACDBE"
                                  << Rows{0, 1, 2} << 2;
        QTest::newRow("up 1,3") << true << "ABCDE" << Rows{1, 3} << 4 << "BADCE" << Rows{0, 2} << 2;
        QTest::newRow("up 3,4") << true << "ABCDE" << Rows{3, 4} << 0 << "ABDEC" << Rows{2, 3} << 3;
        QTest::newRow("up last only") << true << "ABCDE" << Rows{4} << 0 << "ABCED" << Rows{3} << 3;
        QTest::newRow("down 1,2") << false << "ABCDE" << Rows{1, 2} << 4 << "ADBCE" << Rows{2, 3}
                                  << 2;
        QTest::newRow("down 0,2,4")
            << false << "ABCDE" << Rows{0, 2, 4} << 4 << "BADCE" << Rows{1, 3, 4} << 1;
        QTest::newRow("down block at bottom")
            << false << "ABCDE" << Rows{3, 4} << 1 << "ABCDE" << Rows{3, 4} << 1;

        // Nothing can move: the list, the selection and the current index stay as they were.
        QTest::newRow("up empty") << true << "" << Rows{} << -1 << "" << Rows{} << -1;
        QTest::newRow("down empty") << false << "" << Rows{} << -1 << "" << Rows{} << -1;
        QTest::newRow("up none selected") << true << "ABC" << Rows{} << 1 << "ABC" << Rows{} << 1;
        QTest::newRow("down none selected")
            << false << "ABC" << Rows{} << 2 << "ABC" << Rows{} << 2;
        QTest::newRow("up block at top")
            << true << "ABCDE" << Rows{0, 1} << 3 << "ABCDE" << Rows{0, 1} << 3;

        // Runs move as a whole; the pinned run stays while a later run moves.
        QTest::newRow("up pinned and a run")
            << true << "ABCDEF" << Rows{0, 3, 4} << 5 << "ABDECF" << Rows{0, 2, 3} << 3;
        QTest::newRow("down run and pinned")
            << false << "ABCDEF" << Rows{1, 2, 5} << 0 << "ADBCEF" << Rows{2, 3, 5} << 2;
        // Equal texts are entries of their own.
        QTest::newRow("up duplicates") << true << "AAB" << Rows{2} << 0 << "ABA" << Rows{1} << 1;
    }
    void onePass() {
        QFETCH(bool, up);
        QFETCH(QString, texts);
        QFETCH(Rows, selected);
        QFETCH(int, currentBefore);
        QListWidget list;
        fill(list, texts, selected, currentBefore);
        press(list, up);
        QTEST(order(list), "orderAfter");
        QTEST(selectedRows(list), "selectedAfter");
        QTEST(list.currentRow(), "currentAfter");
    }

    // A spread selection gathers at the top (or bottom) in its old order, then stays put.
    void repeatedPresses_data() {
        QTest::addColumn<bool>("up");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("gathered");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::newRow("up") << true << Rows{2, 5, 7} << "CFHABDEGIJ" << Rows{0, 1, 2};
        QTest::newRow("down") << false << Rows{0, 3, 4} << "BCFGHIJADE" << Rows{7, 8, 9};
    }
    void repeatedPresses() {
        QFETCH(bool, up);
        QFETCH(Rows, selected);
        QListWidget list;
        fill(list, QStringLiteral("ABCDEFGHIJ"), selected);
        for (int i = 0; i < 10; ++i)
            press(list, up);
        QTEST(order(list), "gathered");
        QTEST(selectedRows(list), "selectedAfter");
        const int current = list.currentRow();
        press(list, up);
        QTEST(order(list), "gathered");
        QCOMPARE(list.currentRow(), current);
    }

    // The largest list the window holds; more entries cannot be addressed.
    void tooManyEntries() {
        QListWidget list;
        QStringList texts;
        for (int i = 0; i < 32768; ++i)
            texts.append(QString::number(i));
        list.addItems(texts);
        list.item(5)->setSelected(true);
        try {
            moveSelectedUp(list);
            QFAIL("no overflow raised");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), 6);
        }
        QCOMPARE(list.item(5)->text(), QStringLiteral("5"));
        QVERIFY(list.item(5)->isSelected());
    }
};

QTEST_MAIN(TestReorder)
#include "test_reorder.moc"
