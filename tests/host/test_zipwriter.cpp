// The zip writer read back by Python's zipfile and unzip, through each kind of output, with the
// ZIP64 records reached by lowered limits.

#include "host/pptx/zipwriter.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <future>
#include <unistd.h>

using namespace slidemill;
using pptx::ZipLimits;

Q_DECLARE_METATYPE(ZipLimits)

namespace {

// Deflates to a few KiB whatever its size.
QByteArray contents(qsizetype size) {
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char('a' + (i * 7 + i / 64) % 26);
    return b;
}

// Central headers that send readers to a ZIP64 field: those needing version 4.5.
int zip64Headers(const QByteArray& zip) {
    int n = 0;
    for (qsizetype at = 0; (at = zip.indexOf("PK\x01\x02", at)) >= 0; at += 4)
        n += at + 6 < zip.size() && zip[at + 6] == 45;
    return n;
}

} // namespace

class TestZipWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readBack_data() {
        QTest::addColumn<QString>("into");
        QTest::addColumn<QStringList>("entries"); // how each is added, and its size
        QTest::addColumn<int>("copies");          // of that list, one after the other
        QTest::addColumn<ZipLimits>("limits");
        QTest::addColumn<int>("zip64Entries");
        QTest::addColumn<bool>("zip64End");
        const ZipLimits format;
        const ZipLimits small{4096, format.entries};
        for (const QString into : {"file", "write-only file", "pipe"}) {
            const auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(QStringLiteral("%1, into a %2").arg(name, into)))
                       << into;
            };
            row("stored and deflated") << QStringList{"deflate 3000", "store 2000", "file 2500"}
                                       << 1 << format << 0 << false;
            row("stored past the size limit, the offsets after it too")
                << QStringList{"store 5000", "deflate 300", "file 200"} << 1 << small << 3 << true;
            row("a file past the size limit")
                << QStringList{"file 5000", "store 10"} << 1 << small << 2 << true;
            // Its local header holds both sizes, the directory only the one too large.
            row("deflated past the size limit, compressed under it")
                << QStringList{"deflate 100000", "file 10"} << 1 << small << 1 << false;
        }
        QTest::newRow("the directory past the offset limit")
            << "file" << QStringList{"store 3000", "store 3000"} << 1 << small << 0 << true;
        QTest::newRow("more entries than the count holds")
            << "file" << QStringList{"store 10", "deflate 10"} << 9
            << ZipLimits{format.sizeOrOffset, 16} << 0 << true;
        QTest::newRow("65,536 entries")
            << "pipe" << QStringList{"store 1"} << 65536 << format << 0 << true;
    }
    void readBack() {
        QFETCH(QString, into);
        QFETCH(QStringList, entries);
        QFETCH(int, copies);
        QFETCH(ZipLimits, limits);
        QFETCH(int, zip64Entries);
        QFETCH(bool, zip64End);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.zip"));
        int out = -1;
        int pipe[2] = {-1, -1};
        std::future<QByteArray> piped;
        if (into == QLatin1String("pipe")) {
            QCOMPARE(::pipe2(pipe, O_CLOEXEC), 0);
            out = pipe[1];
            piped = std::async(std::launch::async, [from = pipe[0]] {
                QByteArray all;
                char buffer[65536];
                for (ssize_t n; (n = ::read(from, buffer, sizeof buffer)) > 0;)
                    all.append(buffer, n);
                return all;
            });
        } else {
            out =
                ::open(QFile::encodeName(path).constData(),
                       O_CREAT | O_TRUNC | O_CLOEXEC | (into == "file" ? O_RDWR : O_WRONLY), 0644);
        }
        QVERIFY(out >= 0);

        std::vector<pptx::ZipEntry> written;
        {
            pptx::ZipWriter zip(out, path, limits);
            for (int copy = 0; copy < copies; ++copy) {
                for (const QString& entry : entries) {
                    const QString how = entry.section(' ', 0, 0);
                    const QString name = QStringLiteral("%1/%2").arg(how).arg(written.size());
                    const QByteArray data = contents(entry.section(' ', 1).toLongLong());
                    if (how == QLatin1String("deflate")) {
                        written.push_back(zip.addDeflated(name, data));
                    } else if (how == QLatin1String("store")) {
                        written.push_back(zip.addStored(name, data));
                    } else {
                        QFile source(test::writeBytes(dir.path(), "source", data));
                        QVERIFY(source.open(QIODevice::ReadOnly));
                        pptx::WrittenFile file =
                            zip.addStoredFile(name, source.handle(), data.size(), {}, "source");
                        written.push_back(zip.complete(file));
                    }
                }
            }
            zip.finish(written);
        }
        ::close(out);
        if (piped.valid()) {
            test::writeBytes(dir.path(), QStringLiteral("out.zip"), piped.get());
            ::close(pipe[0]);
        }

        QCOMPARE(test::zipReadersComplain({path}), QString());
        QCOMPARE(test::zipEntries(path).size(), written.size());
        const QByteArray bytes = test::readBytes(path);
        QCOMPARE(zip64Headers(bytes), zip64Entries);
        // The ZIP64 end record's locator comes before the end record.
        QCOMPARE(bytes.mid(bytes.size() - 22 - 20, 4) == QByteArray("PK\x06\x07"), zip64End);
    }
};

QTEST_MAIN(TestZipWriter)
#include "test_zipwriter.moc"
