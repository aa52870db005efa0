// The zip writer read back by Python's zipfile and unzip, through each kind of output, with the
// ZIP64 records reached by lowered limits.

#include "host/pptx/zipwriter.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <future>
#include <unistd.h>
#include <zlib.h>

using namespace slidemill;
using pptx::ZipLimits;

Q_DECLARE_METATYPE(ZipLimits)

namespace {

// Deflates to a few KiB whatever its size.
QByteArray contents(qsizetype size, qsizetype seed) {
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char('a' + (i * 7 + i / 64 + seed) % 26);
    return b;
}

// Each entry as Python reads it, "name method size crc", then how many need ZIP64 to be read.
QStringList pythonReads(const QString& zip) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, zipfile, zlib\n"
                                 "z = zipfile.ZipFile(sys.argv[1])\n"
                                 "for i in z.infolist():\n"
                                 "    print(i.filename, i.compress_type, i.file_size,\n"
                                 "          zlib.crc32(z.read(i)))\n"
                                 "print('zip64', sum(i.extract_version == 45 for i in "
                                 "z.infolist()))\n"),
                  zip});
    if (!python.waitForFinished(120000) || python.exitCode() != 0)
        return {QString::fromUtf8(python.readAllStandardError())};
    return QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
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
        const QByteArray native = QFile::encodeName(path);
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
                ::open(native.constData(),
                       O_CREAT | O_TRUNC | O_CLOEXEC | (into == "file" ? O_RDWR : O_WRONLY), 0644);
        }
        QVERIFY(out >= 0);

        QStringList expected;
        std::vector<pptx::ZipEntry> written;
        {
            pptx::ZipWriter zip(out, path, limits);
            for (int copy = 0; copy < copies; ++copy) {
                for (const QString& entry : entries) {
                    const QString how = entry.section(' ', 0, 0);
                    const QString name = QStringLiteral("%1/%2").arg(how).arg(written.size());
                    const QByteArray data = contents(entry.section(' ', 1).toLongLong(), copy);
                    if (how == QLatin1String("deflate")) {
                        written.push_back(zip.addDeflated(name, data));
                    } else if (how == QLatin1String("store")) {
                        written.push_back(zip.addStored(name, data));
                    } else {
                        const QString source = test::writeBytes(dir.path(), "source", data);
                        const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY);
                        QVERIFY(fd >= 0);
                        pptx::WrittenFile file =
                            zip.addStoredFile(name, fd, data.size(), {}, source);
                        written.push_back(zip.complete(file));
                        ::close(fd);
                    }
                    expected << QStringLiteral("%1 %2 %3 %4")
                                    .arg(name)
                                    .arg(how == QLatin1String("deflate") ? 8 : 0)
                                    .arg(data.size())
                                    .arg(crc32(0, reinterpret_cast<const Bytef*>(data.constData()),
                                               uInt(data.size())));
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
        expected << QStringLiteral("zip64 %1").arg(zip64Entries);
        QCOMPARE(pythonReads(path), expected);
        // The ZIP64 end record's locator comes before the end record.
        const QByteArray bytes = test::readBytes(path);
        QCOMPARE(bytes.mid(bytes.size() - 22 - 20, 4) == QByteArray("PK\x06\x07"), zip64End);
    }
};

QTEST_MAIN(TestZipWriter)
#include "test_zipwriter.moc"
