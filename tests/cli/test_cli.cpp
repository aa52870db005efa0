#include "cli/batch.h"
#include "core/runtimeerror.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"
#include "support/recordinghost.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

namespace {

// Every picture is 640 x 480 pixels unless its name says "bad".
class FixedLoader : public PictureLoader {
public:
    Picture load(const QString& path) override {
        if (path.contains(QLatin1String("bad")))
            throw RuntimeError::withFile(errInvalidPicture, path);
        Picture p;
        p.path = path;
        p.widthHimetric = 16933;
        p.heightHimetric = 12700;
        return p;
    }
};

// One run of runBatch against a recording host.
struct Run {
    int exit = -1;
    QString out;
    QString err;
    std::shared_ptr<RecordingHost> host;
    QString outputPath;

    QStringList picturesPlaced() const {
        QStringList paths;
        for (const QString& call : host->calls)
            if (call.startsWith(QLatin1String("Shapes.AddPicture(")))
                paths << call.section(QLatin1Char('('), 1).section(QLatin1String(", "), 0, 0);
        return paths;
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& call : host->calls)
            n += call.startsWith(prefix);
        return n;
    }
};

Run run(const QStringList& args, QIODevice* input = nullptr) {
    Run r;
    FixedLoader loader;
    BatchServices services;
    services.loader = &loader;
    services.input = input;
    services.makeHost = [&r](const QString& outputPath) {
        r.outputPath = outputPath;
        r.host = std::make_shared<RecordingHost>();
        return r.host;
    };
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.exit = runBatch(QStringList{QStringLiteral("slidemill-build")} + args, out, err, services);
    return r;
}

const QString kTool = QStringLiteral(SLIDEMILL_BINARY_DIR "/slidemill-build");

struct Process {
    int exit = -1;
    QString out;
    QString err;
};

Process runTool(const QStringList& args) {
    QProcess p;
    p.start(kTool, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// A picture of every format the loader reads.
QStringList writePictures(const QString& dir) {
    using namespace slidemill::test;
    const QStringList paths{
        makePicture(dir, QStringLiteral("photo.png"), "png", 640, 480),
        makePicture(dir, QStringLiteral("photo.jpg"), "jpg", 480, 640),
        makePicture(dir, QStringLiteral("photo.gif"), "gif", 120, 90),
        makePicture(dir, QStringLiteral("photo.bmp"), "bmp", 100, 100),
        makePicture(dir, QStringLiteral("photo.tif"), "tiff", 1024, 768),
        makePicture(dir, QStringLiteral("drawing.wmf"), "wmf", 192, 96),
        makePicture(dir, QStringLiteral("drawing.emf"), "emf", 189, 302),
    };
    return paths.contains(QString()) ? QStringList() : paths;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void builds_data();
    void builds();
    void lists_data();
    void lists();
    void endToEnd_data();
    void endToEnd();
    void endToEndFailureLeavesOutput_data();
    void endToEndFailureLeavesOutput();

private:
    QTemporaryDir dir_;
};

// Usage errors and the informational options: nothing is built for any of them.
void TestCli::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString usage = QStringLiteral("Usage: slidemill-build");
    QTest::newRow("help") << QStringList{"--help"} << 0 << usage << QString();
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QStringLiteral("slidemill-build " SLIDEMILL_VERSION "\n")
                             << QString();
    QTest::newRow("nothing") << QStringList{} << 2 << QString() << "no output file";
    QTest::newRow("-o without value") << QStringList{"-o"} << 2 << QString() << "-o";
    QTest::newRow("two outputs") << QStringList{"-o", "x.pptx", "-o", "y.pptx"} << 2 << QString()
                                 << "more than one output";
    QTest::newRow("unknown option")
        << QStringList{"-o", "x.pptx", "--three", "a.png"} << 2 << QString() << "three";
    QTest::newRow("list and pictures")
        << QStringList{"-o", "x.pptx", "--from", "list.txt", "a.png"} << 2 << QString() << "both";
}

void TestCli::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const Run r = run(args);
    QCOMPARE(r.exit, exit);
    QVERIFY(!r.host);
    if (exit == 0) {
        QVERIFY2(r.out.startsWith(out), qPrintable(r.out));
        QCOMPARE(r.err, QString());
    } else {
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(QLatin1String("slidemill-build: ")), qPrintable(r.err));
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QVERIFY(r.err.contains(QLatin1String("Usage: slidemill-build")));
    }
}

void TestCli::builds_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("placed");
    QTest::addColumn<int>("slides");
    QTest::addColumn<int>("boxes");

    QTest::newRow("no pictures") << QStringList{"-o", "out.pptx"} << QStringList{} << 0 << 0;
    QTest::newRow("one photo per slide") << QStringList{"-o", "out.pptx", "c.png", "a.png", "b.png"}
                                         << QStringList{"c.png", "a.png", "b.png"} << 3 << 0;
    QTest::newRow("two per slide, described")
        << QStringList{"--two", "--description", "-o", "out.pptx", "a.png", "b.png", "c.png"}
        << QStringList{"a.png", "b.png", "c.png"} << 2 << 3;
    QTest::newRow("a picture named like an option")
        << QStringList{"-o", "out.pptx", "--", "--two"} << QStringList{"--two"} << 1 << 0;
}

void TestCli::builds() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, placed);
    QFETCH(int, slides);
    QFETCH(int, boxes);

    const Run r = run(args);
    QCOMPARE(r.exit, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.outputPath, QStringLiteral("out.pptx"));
    QCOMPARE(r.picturesPlaced(), placed);
    QCOMPARE(r.count(QStringLiteral("Slides.Add(")), slides);
    QCOMPARE(r.count(QStringLiteral("Shapes.AddTextbox(")), boxes);
    QCOMPARE(r.host->calls.last(), QStringLiteral("End"));
}

// A list of pictures, one a line, from a file or standard input ("-"); blank lines skipped.
void TestCli::lists_data() {
    QTest::addColumn<QString>("from");    // a name in the temp folder, or "-"
    QTest::addColumn<QByteArray>("text"); // empty: no such file
    QTest::addColumn<QStringList>("placed");
    QTest::newRow("file") << "list.txt"
                          << QByteArray("b.png\r\n\r\n  \n/photos/with space.jpg\na.png")
                          << QStringList{"b.png", "/photos/with space.jpg", "a.png"};
    QTest::newRow("standard input")
        << "-" << QByteArray("x.png\n\ny.png\n") << QStringList{"x.png", "y.png"};
    QTest::newRow("missing file") << "absent.txt" << QByteArray() << QStringList{};
}

void TestCli::lists() {
    QFETCH(QString, from);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, placed);
    QBuffer input(&text);
    QVERIFY(input.open(QIODevice::ReadOnly));
    if (from != QLatin1String("-")) {
        from = dir_.filePath(from);
        if (!text.isEmpty())
            test::writeBytes(dir_.path(), QFileInfo(from).fileName(), text);
    }
    const Run r = run({"--two", "-o", "out.pptx", "--from", from}, &input);
    if (text.isEmpty()) {
        QCOMPARE(r.exit, 1);
        QCOMPARE(r.err,
                 QStringLiteral("slidemill-build: Run-time error '53': File not found (%1)\n")
                     .arg(from));
        QVERIFY(!r.host);
        return;
    }
    QCOMPARE(r.exit, 0);
    QCOMPARE(r.picturesPlaced(), placed);
}

void TestCli::endToEnd_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("pages");

    QTest::newRow("one photo per slide") << QStringList{} << 7;
    QTest::newRow("two per slide, described") << QStringList{"--two", "--description"} << 4;
}

void TestCli::endToEnd() {
    QFETCH(QStringList, options);
    QFETCH(int, pages);
    QTemporaryDir dir;
    const QStringList pictures = writePictures(dir.path());
    QCOMPARE(pictures.size(), 7);
    const QString deck = dir.filePath(QStringLiteral("deck.pptx"));
    const Process p = runTool(options + QStringList{"-o", deck} + pictures);
    QCOMPARE(p.err, QString());
    QCOMPARE(p.exit, 0);
    QCOMPARE(p.out, QString());

    const test::CheckResult valid = test::validatePptx({deck});
    QVERIFY2(valid.skipped || valid.ok, qPrintable(valid.output));
    const test::CheckResult pdf = test::convertToPdf({deck}, dir.path());
    if (pdf.skipped)
        QSKIP("LibreOffice is not installed");
    QVERIFY2(pdf.ok, qPrintable(pdf.output));
    QCOMPARE(test::pdfPageCount(test::pdfPathFor(deck, dir.path())), pages);
}

void TestCli::endToEndFailureLeavesOutput_data() {
    QTest::addColumn<QByteArray>("existing"); // empty: no file there before
    QTest::addColumn<QString>("culprit");
    QTest::addColumn<QString>("message");

    QTest::newRow("not a picture, new output") << QByteArray() << "notes.png"
                                               << "Run-time error '481': Invalid picture";
    QTest::newRow("missing picture, output kept") << QByteArray("an older deck") << "gone.jpg"
                                                  << "Run-time error '53': File not found";
}

void TestCli::endToEndFailureLeavesOutput() {
    QFETCH(QByteArray, existing);
    QFETCH(QString, culprit);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QStringList pictures = writePictures(dir.path());
    QVERIFY(!pictures.isEmpty());
    const QString bad = dir.filePath(culprit);
    if (culprit.startsWith(QLatin1String("notes")))
        test::writeBytes(dir.path(), culprit, "shopping list\n");
    pictures.insert(2, bad);
    const QString deck = dir.filePath(QStringLiteral("deck.pptx"));
    if (!existing.isEmpty())
        test::writeBytes(dir.path(), QStringLiteral("deck.pptx"), existing);
    const QStringList before = QDir(dir.path()).entryList(QDir::Files, QDir::Name);

    const Process p = runTool(QStringList{"--two", "-o", deck} + pictures);
    QCOMPARE(p.exit, 1);
    QCOMPARE(p.err, QStringLiteral("slidemill-build: %1 (%2)\n").arg(message, bad));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), before);
    if (!existing.isEmpty())
        QCOMPARE(test::readBytes(deck), existing);
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
