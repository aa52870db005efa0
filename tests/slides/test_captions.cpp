#include "slides/captions.h"

#include <QTest>

using namespace slidemill;

class TestCaptions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void daySpans_data();
    void daySpans();
};

// What two dates share is written once, cut between words, in the locale's order.
void TestCaptions::daySpans_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<QString>("expected");

    const QLocale gb(QLocale::English, QLocale::UnitedKingdom);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("one day") << gb << QDate(2026, 7, 12) << QDate(2026, 7, 12) << "12 July 2026";
    QTest::newRow("one month") << gb << QDate(2026, 7, 12) << QDate(2026, 7, 19)
                               << "12 - 19 July 2026";
    QTest::newRow("days that share a digit")
        << gb << QDate(2026, 7, 2) << QDate(2026, 7, 22) << "2 - 22 July 2026";
    QTest::newRow("two months") << gb << QDate(2026, 7, 28) << QDate(2026, 8, 3)
                                << "28 July - 3 August 2026";
    QTest::newRow("two years") << gb << QDate(2025, 12, 30) << QDate(2026, 1, 2)
                               << "30 December 2025 - 2 January 2026";
    QTest::newRow("month first") << us << QDate(2026, 7, 12) << QDate(2026, 7, 19)
                                 << "July 12 - 19, 2026";
    QTest::newRow("month first, two months")
        << us << QDate(2026, 7, 28) << QDate(2026, 8, 3) << "July 28 - August 3, 2026";
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << QDate(2026, 7, 12)
                            << QDate(2026, 7, 19) << "12 - 19. Juli 2026";
}

void TestCaptions::daySpans() {
    QFETCH(QLocale, locale);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(QString, expected);
    QCOMPARE(dateSpan(first, last, locale), expected);
}

QTEST_APPLESS_MAIN(TestCaptions)
#include "test_captions.moc"
