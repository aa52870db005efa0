#include "core/checked.h"
#include "core/runtimeerror.h"

#include <QTest>

using namespace slidemill;

class TestRuntimeError : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void report_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("standard text") << 6 << QString() << "Run-time error '6':\n\nOverflow";
        QTest::newRow("with file") << 481 << "/p/a.png"
                                   << "Run-time error '481':\n\nInvalid picture\n\n/p/a.png";
        QTest::newRow("unknown number") << 9999 << QString()
                                        << "Run-time error '9999':\n\nApplication-defined or "
                                           "object-defined error";
    }
    void report() {
        QFETCH(int, number);
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QCOMPARE(RuntimeError::withFile(number, file).report(), expected);
    }

    void checkedArithmetic_data() {
        QTest::addColumn<long long>("a");
        QTest::addColumn<long long>("b");
        QTest::addColumn<bool>("overflows");
        QTest::newRow("top") << 32766LL << 1LL << false;
        QTest::newRow("past top") << 32767LL << 1LL << true;
        QTest::newRow("two past 32766") << 32766LL << 2LL << true;
        QTest::newRow("bottom") << -32767LL << -1LL << false;
        QTest::newRow("past bottom") << -32768LL << -1LL << true;
    }
    void checkedArithmetic() {
        QFETCH(long long, a);
        QFETCH(long long, b);
        QFETCH(bool, overflows);
        try {
            QCOMPARE(add16(a, b), a + b);
            QVERIFY(!overflows);
        } catch (const RuntimeError& e) {
            QVERIFY(overflows);
            QCOMPARE(e.number(), 6);
        }
    }
};

QTEST_GUILESS_MAIN(TestRuntimeError)
#include "test_runtimeerror.moc"
