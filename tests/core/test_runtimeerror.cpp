#include "core/checked.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QTest>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <system_error>

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
        QTest::newRow("file name cannot add a line")
            << 53 << QString::fromUtf8("/p/a\nRun-time error '0':\t\u202E.png")
            << "Run-time error '53':\n\nFile not found\n\n/p/a\\nRun-time error "
               "'0':\\t\\u{202e}.png";
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

    // What crosses a thread's boundary as a RuntimeError, naming the picture.
    void fromAnything_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("allocation failed") << 0 << "Run-time error '7': Out of memory (/p/a.png)";
        QTest::newRow("no thread")
            << 1
            << "Run-time error '75': Path/File access error: cannot start a thread: "
               "Resource temporarily unavailable (/p/a.png)";
        QTest::newRow("any other") << 2 << "Run-time error '51': Internal error: odd (/p/a.png)";
        QTest::newRow("ours, naming no file") << 3 << "Run-time error '481': bad (/p/a.png)";
        QTest::newRow("ours, naming its own") << 4 << "Run-time error '75': bad (/q/b.png)";
        QTest::newRow("not even an exception")
            << 5 << "Run-time error '51': Internal error (/p/a.png)";
    }
    void fromAnything() {
        QFETCH(int, kind);
        std::exception_ptr thrown;
        try {
            switch (kind) {
            case 0:
                throw std::bad_alloc();
            case 1:
                throw std::system_error(EAGAIN, std::generic_category(), "cannot start a thread");
            case 2:
                throw std::runtime_error("odd");
            case 3:
                throw RuntimeError(481, QStringLiteral("bad"));
            case 4:
                throw RuntimeError(75, QStringLiteral("bad"), QStringLiteral("/q/b.png"));
            default:
                throw 42;
            }
        } catch (...) {
            thrown = std::current_exception();
        }
        QTEST(RuntimeError::from(thrown, QStringLiteral("/p/a.png")).oneLine(), "expected");
    }

    // Any bytes survive the trip through a QString, and show as \xNN where not UTF-8.
    void nativePathRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8") << QByteArray("/p/\xC3\xA9t\xC3\xA9.jpg")
                               << QString::fromUtf8("/p/été.jpg");
        QTest::newRow("latin-1") << QByteArray("/p/\xE9t\xE9.jpg") << "/p/\\xe9t\\xe9.jpg";
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xB2\x80") << "\\xed\\xb2\\x80";
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << "\\xc0\\xaf";
        QTest::newRow("cut sequence") << QByteArray("a\xF0\x9F\x98") << "a\\xf0\\x9f\\x98";
        QTest::newRow("emoji") << QByteArray("\xF0\x9F\x98\x80")
                               << QString::fromUtf8("\xF0\x9F\x98\x80");
    }
    void nativePathRoundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString path = pathFromNative(bytes);
        QCOMPARE(nativePath(path), bytes);
        QCOMPARE(printablePath(path), shown);
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
