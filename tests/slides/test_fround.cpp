#include "core/runtimeerror.h"
#include "slides/fround.h"

#include <QTest>
#include <cmath>
#include <limits>

using namespace slidemill;

class TestFRound : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rounds_data();
    void rounds();
    void overflows_data();
    void overflows();
};

void TestFRound::rounds_data() {
    QTest::addColumn<double>("quotient"); // rounded to single precision on the way in
    QTest::addColumn<int>("expected");

    QTest::newRow("whole") << 375.0 << 375;
    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("negative whole") << -139.0 << -139;
    QTest::newRow("small fraction") << 0.3 << 1;
    QTest::newRow("height of 640x480") << 479.97 << 480;
    QTest::newRow("just above one") << 1.0000001 << 2;
    QTest::newRow("single-precision hand-over") << 375.00001 << 375;
    QTest::newRow("negative half") << -0.5 << 1;
    QTest::newRow("negative two and a half") << -2.5 << -1;
    QTest::newRow("negative left of a wide picture") << -140.5 << -139;
    QTest::newRow("-1515.5") << -1515.5 << -1514;
    QTest::newRow("top fraction") << 32766.2 << 32767;
    QTest::newRow("top") << 32767.0 << 32767;
    QTest::newRow("bottom") << -32768.0 << -32768;
    QTest::newRow("below bottom with fraction") << -32768.5 << -32767;
    QTest::newRow("fraction lifts back into range") << -32769.5 << -32768;
}

void TestFRound::rounds() {
    QFETCH(double, quotient);
    QFETCH(int, expected);
    const float x = static_cast<float>(quotient);
    QCOMPARE(int(fRoundUp(x)), expected);
}

void TestFRound::overflows_data() {
    QTest::addColumn<float>("x");

    QTest::newRow("32767.5") << 32767.5f;
    QTest::newRow("32768") << 32768.0f;
    QTest::newRow("-32769") << -32769.0f;
    QTest::newRow("-32770.5") << -32770.5f;
    QTest::newRow("huge") << 1e10f;
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity();
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN();
}

void TestFRound::overflows() {
    QFETCH(float, x);
    try {
        fRoundUp(x);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(errOverflow));
    }
}

QTEST_APPLESS_MAIN(TestFRound)
#include "test_fround.moc"
