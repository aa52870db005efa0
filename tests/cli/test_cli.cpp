#include "app/commandline.h"
#include "browser/filelist.h"
#include "cli/batch.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/albumreader.h"
#include "slides/albumoptions.h"
#include "slides/pictureformats.h"
#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"
#include "support/recordinghost.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    PptxHostOptions options;

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

Run run(const QStringList& args, QIODevice* input = nullptr,
        const std::function<void(BatchServices&)>& adjust = {}) {
    Run r;
    FixedLoader loader;
    BatchServices services;
    services.loader = &loader;
    services.input = input;
    services.standardOutputIsTerminal = true;
    services.makeHost = [&r](const PptxHostOptions& options) {
        r.options = options;
        r.host = std::make_shared<RecordingHost>();
        return r.host;
    };
    if (adjust)
        adjust(services);
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.exit = runBatch(QStringList{QStringLiteral("slidemill-build")} + args, out, err, services);
    return r;
}

const QString kTool = QStringLiteral(SLIDEMILL_BINARY_DIR "/slidemill-build");
const QString kWindow = QStringLiteral(SLIDEMILL_BINARY_DIR "/slidemill");

struct Process {
    int exit = -1;
    QByteArray out;
    QString err;
};

QByteArray readAll(int fd) {
    QByteArray bytes;
    char buffer[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

// Runs the tool with its arguments as bytes (QProcess would re-encode them). Standard input
// gets `input` after `inputDelayMs`; standard error goes to errFd when given.
Process runTool(const QStringList& args, const QByteArray& input = {}, int inputDelayMs = 0,
                int errFd = -1) {
    QList<QByteArray> bytes{nativePath(kTool)};
    for (const QString& arg : args)
        bytes << nativePath(arg);
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    int in[2];
    if (!out || !err || ::pipe2(in, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), 1);
    posix_spawn_file_actions_adddup2(&actions, errFd >= 0 ? errFd : fileno(err), 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    QThread::msleep(inputDelayMs);
    if (spawned == 0 && !input.isEmpty())
        (void)!::write(in[1], input.constData(), size_t(input.size()));
    ::close(in[1]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid)
        return {};
    const Process p{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(fileno(out)),
                    QString::fromUtf8(readAll(fileno(err)))};
    std::fclose(out);
    std::fclose(err);
    return p;
}

// Renames with the bytes the names carry, as a test picture's maker cannot write them.
bool renameNative(const QString& from, const QString& to) {
    return ::rename(nativePath(from).constData(), nativePath(to).constData()) == 0;
}

std::filesystem::path fsPath(const QString& path) {
    return nativePath(path).toStdString();
}

// Qt neither lists nor removes files whose names are not UTF-8.
struct BytesFolder {
    QTemporaryDir dir;
    ~BytesFolder() { std::filesystem::remove_all(fsPath(dir.path())); }
    int count() const {
        const std::filesystem::directory_iterator entries(fsPath(dir.path()));
        return int(std::distance(begin(entries), end(entries)));
    }
};

// Makes the entries under root, names as bytes: "a/" a folder, "a -> b" a link to b, anything
// else an empty file, each with the folders it lies in.
bool makeTree(const QString& root, const QStringList& entries) {
    std::error_code e;
    for (const QString& entry : entries) {
        const auto path = fsPath(root + QLatin1Char('/') + entry.section(" -> ", 0, 0));
        const QString target = entry.section(" -> ", 1);
        std::filesystem::create_directories(entry.endsWith('/') ? path : path.parent_path(), e);
        if (!target.isEmpty())
            std::filesystem::create_directory_symlink(fsPath(target), path, e);
        else if (!entry.endsWith('/') && !std::ofstream(path))
            return false;
        if (e)
            return false;
    }
    return true;
}

// What follows each ".TP" in one section of a manual page's source, "\\-" read as "-".
QStringList tagsOf(const QString& source, const QString& section) {
    QStringList tags;
    bool inSection = false, tagNext = false;
    for (QString line : source.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(".SH ")))
            inSection = line == QLatin1String(".SH ") + section;
        else if (tagNext)
            tags << line.replace(QLatin1String("\\-"), QLatin1String("-"));
        tagNext = inSection && line == QLatin1String(".TP");
    }
    return tags;
}

// Every capture of the pattern's first group in the lines, sorted.
QStringList captures(const QStringList& lines, const QString& pattern) {
    QStringList found;
    const QRegularExpression re(pattern);
    for (const QString& line : lines)
        for (const QRegularExpressionMatch& m : re.globalMatch(line))
            found << m.captured(1);
    found.sort();
    return found;
}

// A TIFF as Qt writes it with its Orientation set to 0: libtiff warns about the value on every
// read, readers take the picture as upright, and the build goes on.
QString withOrientationZero(const QString& tiff) {
    QByteArray b = test::readBytes(tiff);
    const auto u16 = [&b](qsizetype at) { return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8); };
    const qsizetype ifd = qsizetype(u16(4) | u16(6) << 16);
    for (int i = 0; i < u16(ifd); ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        if (u16(entry) == 0x0112) {
            b[entry + 8] = b[entry + 9] = 0;
            return test::writeBytes(QFileInfo(tiff).path(), QFileInfo(tiff).fileName(), b);
        }
    }
    return {};
}

// A picture of every format the loader reads; the libraries under Qt's reader warn about the
// TIFF's header.
// The same through QProcess, whose standard output is a pipe.
Process runToolIntoPipe(const QStringList& args) {
    QProcess p;
    p.start(kTool, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

QStringList temporaryFiles(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral(".~slidemill-*")}, QDir::Hidden | QDir::Files);
}

QStringList writePictures(const QString& dir) {
    using namespace slidemill::test;
    const QStringList paths{
        makePicture(dir, QStringLiteral("photo.png"), "png", 640, 480),
        makePicture(dir, QStringLiteral("photo.jpg"), "jpg", 480, 640),
        makePicture(dir, QStringLiteral("photo.gif"), "gif", 120, 90),
        makePicture(dir, QStringLiteral("photo.bmp"), "bmp", 100, 100),
        withOrientationZero(makePicture(dir, QStringLiteral("photo.tif"), "tiff", 1024, 768)),
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
    void windowCommandLine_data();
    void windowCommandLine();
    void decodingLibrary_data();
    void decodingLibrary();
    void dynamicSection_data();
    void dynamicSection();
    void builds_data();
    void builds();
    void keepGoing_data();
    void keepGoing();
    void lists_data();
    void lists();
    void progress_data();
    void progress();
    void progressOnATerminal();
    void beyondLibreOffice_data();
    void beyondLibreOffice();
    void namesAreBytes_data();
    void namesAreBytes();
    void manPages_data();
    void manPages();
    void endToEnd_data();
    void endToEnd();
    void musicReadByLibreOffice_data();
    void musicReadByLibreOffice();
    void videoAndPdf_data();
    void videoAndPdf();
    void endToEndFailureLeavesOutput_data();
    void endToEndFailureLeavesOutput();
    void outputRefused_data();
    void outputRefused();
    void fileSizeLimit();
    void interruptedSave_data();
    void interruptedSave();

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
    QTest::newRow("unknown option") << QStringList{"-o", "x.pptx", "--three", "a.png"} << 2
                                    << QString() << "Unknown option '--three'\n";
    QTest::newRow("unknown short option")
        << QStringList{"-x", "-o", "x.pptx"} << 2 << QString() << "Unknown option '-x'\n";
    QTest::newRow("list and pictures")
        << QStringList{"-o", "x.pptx", "--from", "list.txt", "a.png"} << 2 << QString() << "both";
    QTest::newRow("standard output is a terminal")
        << QStringList{"-o", "-", "a.png"} << 2 << QString() << "terminal";
    QTest::newRow("no pictures") << QStringList{"-o", "x.pptx"} << 2 << QString()
                                 << "slidemill-build: no pictures given\n";
    const QString none = dir_.filePath(QStringLiteral("none"));
    QVERIFY(makeTree(dir_.path(), {"none/notes.txt", "none/sub/a.png"}));
    QTest::newRow("a folder of no pictures")
        << QStringList{"-o", "x.pptx", none} << 2 << QString()
        << "slidemill-build: warning: left out 1 file that is not a picture: notes.txt\n"
           "slidemill-build: no pictures given: " +
               none + " holds none\n";
    QTest::newRow("--ppi below the range")
        << QStringList{"--ppi", "49", "-o", "x.pptx", "a.png"} << 2 << QString() << "--ppi";
    QTest::newRow("--ppi above the range")
        << QStringList{"--ppi=1201", "-o", "x.pptx", "a.png"} << 2 << QString() << "--ppi";
    QTest::newRow("--ppi not a whole number")
        << QStringList{"--ppi", "+220", "-o", "x.pptx", "a.png"} << 2 << QString() << "--ppi";
    QTest::newRow("--ppi twice") << QStringList{"--ppi", "96",     "--ppi", "original",
                                                "-o",    "x.pptx", "a.png"}
                                 << 2 << QString() << "more than one --ppi";

    // The album options.
    QTest::newRow("--four with --two") << QStringList{"--four", "--two", "-o", "x.pptx", "a.png"}
                                       << 2 << QString() << "--four and --two";
    QTest::newRow("empty --title") << QStringList{"--title", " ", "-o", "x.pptx", "a.png"} << 2
                                   << QString() << "--title is empty";
    QTest::newRow("--subtitle alone") << QStringList{"--subtitle", "x", "-o", "x.pptx", "a.png"}
                                      << 2 << QString() << "--subtitle needs";
    QTest::newRow("two titles") << QStringList{"--title", "a",      "--title", "b",
                                               "-o",      "x.pptx", "a.png"}
                                << 2 << QString() << "more than one --title";
    QTest::newRow("empty --caption") << QStringList{"--caption=", "-o", "x.pptx", "a.png"} << 2
                                     << QString() << "--caption needs";
    QTest::newRow("--caption with --description")
        << QStringList{"--caption", "name", "--description", "-o", "x.pptx", "a.png"} << 2
        << QString() << "--caption and --description";
    QTest::newRow("--title without its text")
        << QStringList{"-o", "x.pptx", "a.png", "--title"} << 2 << QString() << "--title";
    // Layouts exclude one another, named in the order given.
    QTest::newRow("--fit with --two") << QStringList{"--fit", "--two", "-o", "x.pptx", "a.png"} << 2
                                      << QString() << "--fit and --two given together";
    QTest::newRow("--fill with --four") << QStringList{"--four", "-o", "x.pptx", "--fill", "a.png"}
                                        << 2 << QString() << "--four and --fill given together";
    QTest::newRow("--fill with --fit") << QStringList{"--fill", "--fit", "-o", "x.pptx", "a.png"}
                                       << 2 << QString() << "--fill and --fit";
    QTest::newRow("--description with --caption")
        << QStringList{"--description", "--caption=date", "-o", "x.pptx", "a.png"} << 2 << QString()
        << "--description and --caption";
    QTest::newRow("--background by name")
        << QStringList{"--background", "navy", "-o", "x.pptx", "a.png"} << 2 << QString()
        << "--background takes white, black or #RRGGBB, not 'navy'";
    QTest::newRow("--advance negative")
        << QStringList{"--advance", "-1", "-o", "x.pptx", "a.png"} << 2 << QString()
        << "--advance takes a whole number of seconds from 0 to 3600 or fit, not '-1'";
    QTest::newRow("--advance fit without music")
        << QStringList{"--advance", "fit", "-o", "x.pptx", "a.png"} << 2 << QString()
        << "--advance fit needs --music";
    QTest::newRow("empty --music")
        << QStringList{"--music", "a.mp3", "--music=", "-o", "x.pptx", "a.png"} << 2 << QString()
        << "a --music file name is empty";
    QTest::newRow("--caption-size above the range")
        << QStringList{"--caption", "date", "--caption-size", "97", "-o", "x.pptx", "a.png"} << 2
        << QString() << "--caption-size takes a whole number of points from 6 to 96, not '97'";
    QTest::newRow("two --background")
        << QStringList{"--background", "black", "--background", "white", "-o", "x.pptx", "a.png"}
        << 2 << QString() << "more than one --background";
    QTest::newRow("--video-size for a deck")
        << QStringList{"--video-size", "1280x720", "-o", "x.pptx", "a.png"} << 2 << QString()
        << "--video-size needs an output ending in .mp4";
    QTest::newRow("an odd --video-size")
        << QStringList{"--video-size", "1279x720", "-o", "x.mp4", "a.png"} << 2 << QString()
        << "--video-size 1279x720 is not WIDTHxHEIGHT";
    QTest::newRow("the window's own setting") << QStringList{"--folder", "/tmp", "-o", "x.pptx"}
                                              << 2 << QString() << "Unknown option '--folder'";
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
    QTest::addColumn<int>("ppi");
    QTest::addColumn<QString>("err"); // no picture placed: the build stops

    QTest::newRow("one photo per slide")
        << QStringList{"-o", "out.pptx", "c.png", "a.png", "b.png"}
        << QStringList{"c.png", "a.png", "b.png"} << 3 << 0 << 220 << QString();
    QTest::newRow("two per slide, described")
        << QStringList{"--two", "--description", "-o", "out.pptx", "a.png", "b.png", "c.png"}
        << QStringList{"a.png", "b.png", "c.png"} << 2 << 3 << 220 << QString();
    QTest::newRow("a picture named like an option")
        << QStringList{"-o", "out.pptx", "--", "--two"} << QStringList{"--two"} << 1 << 0 << 220
        << QString();
    QTest::newRow("--ppi at its least") << QStringList{"--ppi", "50", "-o", "out.pptx", "a.png"}
                                        << QStringList{"a.png"} << 1 << 0 << 50 << QString();
    QTest::newRow("--ppi at its most") << QStringList{"-o", "out.pptx", "--ppi=1200", "a.png"}
                                       << QStringList{"a.png"} << 1 << 0 << 1200 << QString();
    QTest::newRow("--ppi original") << QStringList{"--ppi", "original", "-o", "out.pptx", "a.png"}
                                    << QStringList{"a.png"} << 1 << 0 << 0 << QString();
    QTest::newRow("four per slide, named, titled, 16:9")
        << QStringList{"--four",   "--caption", "name",  "--title", "Crete", "--wide", "-o",
                       "out.pptx", "a.png",     "b.png", "c.png",   "d.png", "e.png"}
        << QStringList{"a.png", "b.png", "c.png", "d.png", "e.png"} << 3 << 5 << 220 << QString();
    QTest::newRow("a text under two per slide")
        << QStringList{"--two", "--caption", "Crete 2026", "-o", "out.pptx", "a.png"}
        << QStringList{"a.png"} << 1 << 1 << 220 << QString();
    QTest::newRow("fitted, 16:9, captions of 28 points")
        << QStringList{"--fit", "--wide", "--caption", "name",  "--caption-size",
                       "28",    "-o",     "out.pptx",  "a.png", "b.png"}
        << QStringList{"a.png", "b.png"} << 2 << 2 << 220 << QString();
    QTest::newRow("a show, by name")
        << QStringList{"--fill",  "--background", "black", "--advance", "5",
                       "--loop",  "--sort",       "name",  "-o",        "out.pptx",
                       "b10.png", "b9.png",       "a.png"}
        << QStringList{"a.png", "b9.png", "b10.png"} << 3 << 0 << 220 << QString();
    // In the tree builds() makes under $T.
    QTest::newRow("the --help example")
        << QStringList{"--fill",       "--background", "black",     "--caption",  "date",
                       "--sort",       "date",         "--advance", "5",          "--loop",
                       "--transition", "fade",         "-o",        "party.ppsx", "$T/Party"}
        << QStringList{"$T/Party/a.jpeg", "$T/Party/b9.JPG", "$T/Party/b10.png"} << 3 << 0 << 220
        << QString();
    QTest::newRow("--recursive: a folder before its subfolders, a link back up read once")
        << QStringList{"--recursive", "-o", "out.pptx", "x.png", "$T/Party/"}
        << QStringList{"x.png",
                       "$T/Party/a.jpeg",
                       "$T/Party/b9.JPG",
                       "$T/Party/b10.png",
                       "$T/Party/sub/d.png",
                       "$T/Party/sub/deeper/e.png",
                       "$T/Party/Sub2/f.png"}
        << 7 << 0 << 220 << QString();
    QTest::newRow("a video and a text file left out")
        << QStringList{"-o", "out.pptx", "$T/photos/VID_20250713.MOV", "$T/photos/a.png",
                       "$T/photos/notes.txt"}
        << QStringList{"$T/photos/a.png"} << 1 << 0 << 220
        << "slidemill-build: warning: left out 2 files that are not pictures: VID_20250713.MOV, "
           "notes.txt\n";
    QTest::newRow("more than ten left out, in the file list's order, as bytes")
        << QStringList{"-o", "out.pptx", "$T/many"} << QStringList{"$T/many/p.png"} << 1 << 0 << 220
        << "slidemill-build: warning: left out 12 files that are not pictures: a\\xff.txt, n1.txt, "
           "n2.txt, n3.txt, n4.txt, n5.txt, n6.txt, n7.txt, n8.txt, n9.txt and 2 more\n";
    QTest::newRow("--keep-going past a folder that cannot be read")
        << QStringList{"--recursive", "--keep-going", "-o", "out.pptx", "$T/Locked"}
        << QStringList{"$T/Locked/a.png", "$T/Locked/sub/c.png"} << 2 << 0 << 220
        << "slidemill-build: warning: left out: Run-time error '75': Path/File access error "
           "($T/Locked/locked)\n";
    QTest::newRow("a folder that cannot be read stops the build")
        << QStringList{"--recursive", "-o", "out.pptx", "$T/Locked"} << QStringList{} << 0 << 0
        << 220
        << "slidemill-build: Run-time error '75': Path/File access error ($T/Locked/locked)\n";
}

void TestCli::builds() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, placed);
    QFETCH(int, slides);
    QFETCH(int, boxes);
    QFETCH(int, ppi);
    QFETCH(QString, err);

    BytesFolder folder;
    const QString root = folder.dir.path();
    QStringList tree{"Party/b10.png",
                     "Party/b9.JPG",
                     "Party/a.jpeg",
                     "Party/.hidden.png",
                     "Party/sub/d.png",
                     "Party/sub/back -> ..",
                     "Party/sub/deeper/e.png",
                     "Party/sub/deeper/up -> ../..",
                     "Party/Sub2/f.png",
                     "Party/empty/",
                     "photos/VID_20250713.MOV",
                     "photos/a.png",
                     "photos/notes.txt",
                     "many/p.png",
                     pathFromNative("many/a\xff.txt"),
                     "Locked/a.png",
                     "Locked/locked/b.png",
                     "Locked/sub/c.png"};
    for (int i = 1; i <= 11; ++i)
        tree << QStringLiteral("many/n%1.txt").arg(i);
    QVERIFY(makeTree(root, tree));
    const QByteArray locked = nativePath(root + "/Locked/locked");
    QCOMPARE(::chmod(locked.constData(), 0), 0);
    const auto unlock = qScopeGuard([&locked] { ::chmod(locked.constData(), 0700); });
    args.replaceInStrings(QStringLiteral("$T"), root);
    placed.replaceInStrings(QStringLiteral("$T"), root);
    Run r;
    {
        const test::AsNobody nobody(root); // the locked folder stays shut for root too
        r = run(args);
    }
    QCOMPARE(r.err, err.replace(QStringLiteral("$T"), root));
    QCOMPARE(r.exit, placed.isEmpty() ? 1 : 0);
    QCOMPARE(!r.host, placed.isEmpty());
    if (placed.isEmpty())
        return;
    QCOMPARE(r.options.outputPath, args[args.indexOf(QStringLiteral("-o")) + 1]);
    QCOMPARE(r.options.outputDescriptor, -1);
    QVERIFY(!r.options.keepOnFailure);
    QVERIFY(!r.options.opener);
    QCOMPARE(r.options.pixelsPerInch, ppi);
    QCOMPARE(r.picturesPlaced(), placed);
    QCOMPARE(r.count(QStringLiteral("Slides.Add(")), slides);
    QCOMPARE(r.count(QStringLiteral("Shapes.AddTextbox(")), boxes);
    // A size given reaches every caption.
    if (const qsizetype at = args.indexOf(QStringLiteral("--caption-size")); at >= 0)
        QCOMPARE(r.count(QStringLiteral("Font.Size = ") + args[at + 1]), boxes);
    QCOMPARE(r.host->calls.last(), QStringLiteral("End"));
}

// --keep-going: a picture that cannot be used is left out with one warning line naming it,
// whether measuring it fails or decoding it does later; the deck holds the rest.
void TestCli::keepGoing_data() {
    QTest::addColumn<QStringList>("culprits");
    QTest::addColumn<bool>("good"); // the usable pictures given too
    QTest::addColumn<QString>("why");
    QTest::newRow("not a picture")
        << QStringList{"notes.jpg"} << true << "Run-time error '481': Invalid picture";
    QTest::newRow("a missing file") << QStringList{"gone.jpg"} << true << "Run-time error '53'";
    QTest::newRow("noise found out only when decoded")
        << QStringList{"noise.heic"} << true
        << "Run-time error '481': Invalid picture: the picture's data cannot be decoded";
    QTest::newRow("none usable") << QStringList{"notes.jpg", "noise.heic"} << false
                                 << "Run-time error '481'";
}

void TestCli::keepGoing() {
    QFETCH(QStringList, culprits);
    QFETCH(bool, good);
    QFETCH(QString, why);
    QTemporaryDir dir;
    QStringList pictures = good ? writePictures(dir.path()) : QStringList();
    const int usable = int(pictures.size());
    QStringList bad;
    for (const QString& name : culprits) {
        const QString path = dir.filePath(name);
        if (name.startsWith(QLatin1String("notes")))
            test::writeBytes(dir.path(), name, "shopping list\n");
        if (name.startsWith(QLatin1String("noise"))) {
            QImage blank(64, 48, QImage::Format_RGB32);
            blank.fill(Qt::white);
            QByteArray heic = test::heifBytes(blank);
            const qsizetype mdat = heic.indexOf("mdat") + 4;
            heic.replace(mdat, heic.size() - mdat, QByteArray(heic.size() - mdat, '\x5a'));
            test::writeBytes(dir.path(), name, heic);
        }
        bad << path;
        pictures.insert(qMin<qsizetype>(1, pictures.size()), path);
    }
    const QString deck = dir.filePath(QStringLiteral("deck.pptx"));
    const Process p = runTool(QStringList{"--keep-going", "-o", deck} + pictures);
    const QStringList lines = p.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(p.exit, usable > 0 ? 0 : 1);
    QCOMPARE(lines.size(), bad.size() + (usable > 0 ? 0 : 1));
    for (qsizetype i = 0; i < bad.size(); ++i) {
        QVERIFY2(lines[i].startsWith(QStringLiteral("slidemill-build: warning: left out: ") + why),
                 qPrintable(lines[i]));
        QVERIFY2(lines.filter(QStringLiteral("(%1)").arg(bad[i])).size() == 1, qPrintable(p.err));
    }
    if (usable == 0) {
        QVERIFY(!QFileInfo::exists(deck));
        return;
    }
    int slides = 0;
    for (const test::ZipEntry& e : test::zipEntries(deck))
        slides += e.name.startsWith(QLatin1String("ppt/slides/slide")) ? 1 : 0;
    QCOMPARE(slides, usable);
    VERIFY_VALID_PPTX({deck});
}

// A list of pictures, one a line, from a file or standard input ("-"); blank lines skipped.
// Relative paths are taken from the list file's folder, from the current one for "-".
void TestCli::lists_data() {
    QTest::addColumn<QString>("from");    // a name in the temp folder, or "-"
    QTest::addColumn<QByteArray>("text"); // empty: no such file
    QTest::addColumn<QStringList>("placed");
    QTest::addColumn<QStringList>("captions"); // the texts placed, in order
    QTest::newRow("file") << "list.txt"
                          << QByteArray("b.png\r\n\r\n  \n/photos/with space.jpg\na.png")
                          << QStringList{"b.png", "/photos/with space.jpg", "a.png"}
                          << QStringList();
    QTest::newRow("standard input")
        << "-" << QByteArray("x.png\n\ny.png\n") << QStringList{"x.png", "y.png"} << QStringList();
    QTest::newRow("a folder") << "folder.txt" << QByteArray("Party\nc.png\n")
                              << QStringList{"Party/a.png", "Party/b.png", "c.png"}
                              << QStringList();
    QTest::newRow("missing file") << "absent.txt" << QByteArray() << QStringList{} << QStringList();
    // No pictures: a usage error.
    QTest::newRow("blank lines only")
        << "blank.txt" << QByteArray("\n  \r\n") << QStringList{} << QStringList();
    QTest::newRow("nothing on standard input")
        << "-" << QByteArray("\n") << QStringList{} << QStringList();
    // As find -print0 writes: refused, not built from the name before the NUL.
    QTest::newRow("NUL-separated") << "nul.txt" << QByteArray("a.png\n/p/b.png\0c.png\0", 20)
                                   << QStringList{} << QStringList();
    QTest::newRow("NUL-separated on standard input")
        << "-" << QByteArray("a.png\0b.png\0", 12) << QStringList{} << QStringList();
    // A line's own caption after a tab: its photo's, or each of its folder's pictures'; a path
    // listed twice keeps each line's.
    QTest::newRow("captions after a tab")
        << "captions.txt"
        << QByteArray("b.png\tHarbour at dusk\r\na.png\nParty\tDay two\nb.png\tAgain\n")
        << QStringList{"b.png", "a.png", "Party/a.png", "Party/b.png", "b.png"}
        << QStringList{"Harbour at dusk", "Day two", "Day two", "Again"};
    QTest::newRow("a caption in UTF-8, an empty one the rule's")
        << "-" << QByteArray("x.png\tCaf\xC3\xA9\ny.png\t\n") << QStringList{"x.png", "y.png"}
        << QStringList{"Caf\u00E9"};
}

void TestCli::lists() {
    QFETCH(QString, from);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, placed);
    QFETCH(QStringList, captions);
    QVERIFY(makeTree(dir_.path(), {"Party/b.png", "Party/a.png", "Party/clip.mov"}));
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
    if (text.contains('\0')) {
        QCOMPARE(r.exit, 1);
        const QString name = from == QLatin1String("-") ? QStringLiteral("standard input") : from;
        const int line = text.left(text.indexOf('\0')).count('\n') + 1;
        QCOMPARE(r.err, QStringLiteral("slidemill-build: Run-time error '75': Path/File access "
                                       "error: line %1 holds a NUL byte; the list takes one path "
                                       "a line (find -print, not -print0) (%2)\n")
                            .arg(line)
                            .arg(name));
        QVERIFY(!r.host);
        return;
    }
    if (placed.isEmpty()) {
        QCOMPARE(r.exit, 2);
        const QString name = from == QLatin1String("-") ? QStringLiteral("standard input") : from;
        QVERIFY2(
            r.err.startsWith(
                QStringLiteral("slidemill-build: no pictures given: %1 names none\n").arg(name)),
            qPrintable(r.err));
        QVERIFY(!r.host);
        return;
    }
    QCOMPARE(r.exit, 0);
    if (from != QLatin1String("-"))
        for (QString& path : placed)
            if (!path.startsWith(QLatin1Char('/')))
                path = dir_.filePath(path);
    QCOMPARE(r.picturesPlaced(), placed);
    QStringList texts;
    for (const QString& call : r.host->calls)
        if (call.startsWith(QLatin1String("TextRange.Text = ")))
            texts << call.mid(17);
    QCOMPARE(texts, captions);
}

// A progress line on a terminal once the run has taken a second, cleared at the end; nothing
// else unless --verbose.
void TestCli::progress_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<int>("startMs"); // the clock then moves 50 ms per photo
    QTest::addColumn<QString>("err");

    const QStringList three{"-o", "absent/out.pptx", "a.png", "b.png", "c.png"};
    const QString lines =
        QStringLiteral("\rphoto 1 of 3, 7 MB written\rphoto 3 of 3, 7 MB written");
    const QString cleared = QLatin1Char('\r') + QString(26, QLatin1Char(' ')) + QLatin1Char('\r');
    QTest::newRow("quick, terminal") << three << true << 0 << QString();
    QTest::newRow("long, terminal") << three << true << 1000 << lines + cleared;
    QTest::newRow("long, terminal, --quiet")
        << QStringList{"--quiet"} + three << true << 1000 << QString();
    QTest::newRow("long, no terminal") << three << false << 1000 << QString();
    QTest::newRow("--verbose") << QStringList{"--two", "--verbose"} + three << false << 0
                               << "slidemill-build: wrote absent/out.pptx: 2 slides, 7.5 MB\n";
    QTest::newRow("failure, terminal")
        << QStringList{"-o", "absent/out.pptx", "a.png", "b.png", "bad.png"} << true << 1000
        << lines + cleared + "slidemill-build: Run-time error '481': Invalid picture (bad.png)\n";
}

void TestCli::progress() {
    QFETCH(QStringList, args);
    QFETCH(bool, terminal);
    QFETCH(int, startMs);
    QFETCH(QString, err);

    qint64 now = startMs - 50;
    const Run r = run(args, nullptr, [&](BatchServices& s) {
        s.errIsTerminal = terminal;
        s.elapsedMs = [&now] { return now += 50; };
        s.bytesWritten = [] { return qint64(7500000); };
    });
    QCOMPARE(r.err, err);
}

// A deck LibreOffice cannot open gets one line of warning after it is written.
void TestCli::beyondLibreOffice_data() {
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("entries");
    QTest::addColumn<QString>("err");

    const QStringList two{"a.png", "b.png"};
    const QString limits =
        QStringLiteral("; LibreOffice opens no package of 4 GiB or more, nor one "
                       "of more than 65,535 entries (about 21,840 photos)\n");
    const QString warning = QStringLiteral("slidemill-build: warning: out.pptx ");
    QTest::newRow("at both limits") << two << Q_INT64_C(0xFFFFFFFF) << qint64(65535) << QString();
    QTest::newRow("4 GiB") << two << Q_INT64_C(0x100000000) << qint64(14)
                           << warning + "is 4.0 GiB" + limits;
    QTest::newRow("65,536 entries")
        << two << qint64(8000000) << qint64(65536) << warning + "holds 65,536 zip entries" + limits;
    QTest::newRow("both") << two << Q_INT64_C(5000000000) << qint64(98315)
                          << warning + "is 4.7 GiB and holds 98,315 zip entries" + limits;
    QTest::newRow("a failed build")
        << QStringList{"a.png", "bad.png"} << Q_INT64_C(5000000000) << qint64(98315)
        << "slidemill-build: Run-time error '481': Invalid picture "
           "(bad.png)\n";
}

void TestCli::beyondLibreOffice() {
    QFETCH(QStringList, pictures);
    QFETCH(qint64, bytes);
    QFETCH(qint64, entries);
    QFETCH(QString, err);
    const Run r = run(QStringList{"-o", "out.pptx"} + pictures, nullptr, [&](BatchServices& s) {
        s.bytesWritten = [bytes] { return bytes; };
        s.entriesWritten = [entries] { return entries; };
    });
    QCOMPARE(r.err, err);
}

// The real tool on a pseudo-terminal, its list arriving after a second as from a slow pipe.
// The tool counts the second from its own start, which came before the wait began, so a slow
// start cannot keep the line away.
void TestCli::progressOnATerminal() {
    QTemporaryDir dir;
    const QStringList pictures = writePictures(dir.path());
    QVERIFY(!pictures.isEmpty());
    int master = -1, slave = -1;
    QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
    const Process p = runTool({"-o", dir.filePath(QStringLiteral("deck.pptx")), "--from", "-"},
                              pictures.join(QLatin1Char('\n')).toUtf8(), 1100, slave);
    ::close(slave);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QByteArray shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, n);
    ::close(master);
    QCOMPARE(p.exit, 0);
    static const QRegularExpression progress(
        QStringLiteral("^(\\rphoto [1-7] of 7, \\d+ MB written *)+\\r +\\r$"));
    QVERIFY2(progress.match(QString::fromUtf8(shown)).hasMatch(), shown.constData());
}

// Names that are not UTF-8, from the command line, a list or a folder, reach the file system
// unchanged.
void TestCli::namesAreBytes_data() {
    QTest::addColumn<QString>("from");
    QTest::newRow("command line") << "command line";
    QTest::newRow("list, relative to its folder") << "list";
    QTest::newRow("their folder") << "folder";
}

void TestCli::namesAreBytes() {
    QFETCH(QString, from);
    const bool fromList = from == QLatin1String("list");
    BytesFolder folder;
    const QTemporaryDir& dir = folder.dir;
    // Two pictures whose names differ only in bytes that are not UTF-8.
    const QString a = dir.filePath(pathFromNative("photo\xff.png"));
    const QString b = dir.filePath(pathFromNative("photo\xfe.jpg"));
    QVERIFY(renameNative(test::makePicture(dir.path(), "a.png", "png", 640, 480), a));
    QVERIFY(renameNative(test::makeOrientedJpeg(dir.path(), "b.jpg", 480, 640, 6), b));
    const QString sub = dir.filePath(pathFromNative("out\xfe"));
    QCOMPARE(::mkdir(nativePath(sub).constData(), 0700), 0);
    const QString deck = sub + pathFromNative("/deck\xff\n.pptx");
    QStringList args{"-o", deck, a, b};
    if (fromList) {
        test::writeBytes(dir.path(), "list.txt", "photo\xff.png\nphoto\xfe.jpg\n");
        args = QStringList{"-o", deck, "--from", dir.filePath("list.txt")};
    }
    if (from == QLatin1String("folder"))
        args = QStringList{"--recursive", "-o", deck, dir.path()};
    const Process p = runTool(args);
    QCOMPARE(p.err, QString());
    QCOMPARE(p.exit, 0);
    QCOMPARE(folder.count(), fromList ? 4 : 3);
    const QString plain = dir.filePath("deck.pptx");
    QVERIFY(renameNative(deck, plain));
    int media = 0;
    for (const test::ZipEntry& e : test::zipEntries(plain))
        media += e.name.startsWith(QLatin1String("ppt/media/"));
    QCOMPARE(media, 2);
}

// The window's --help and --version need no display, and neither does a usage error: an
// option neither it nor Qt knows. What cannot be written to standard output is an error.
void TestCli::windowCommandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("fullDisk"); // standard output is /dev/full

    const QString full = QStringLiteral("cannot write to standard output: %1\n")
                             .arg(QString::fromLocal8Bit(std::strerror(ENOSPC)));
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << "Usage: slidemill [OPTION]... [PHOTO|FOLDER|DECK]...\n"
                          << QString() << kWindow << false;
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QStringLiteral("slidemill " SLIDEMILL_VERSION "\n") << QString()
                             << kWindow << false;
    QTest::newRow("help after photos") << QStringList{"a.jpg", "--help"} << 0 << "Usage: slidemill"
                                       << QString() << kWindow << false;
    QTest::newRow("unknown option")
        << QStringList{"-platform", "offscreen", "a.jpg", "--three"} << 2 << QString()
        << "slidemill: unknown option '--three'\nTry 'slidemill --help'.\n"
        << kWindow << false;
    QTest::newRow("unknown option, no display")
        << QStringList{"--bogus"} << 2 << QString()
        << "slidemill: unknown option '--bogus'\nTry 'slidemill --help'.\n"
        << kWindow << false;
    QTest::newRow("Qt's option without its value")
        << QStringList{"a.jpg", "-style"} << 2 << QString()
        << "slidemill: option '-style' needs a value\nTry 'slidemill --help'.\n"
        << kWindow << false;
    QTest::newRow("help to a full disk")
        << QStringList{"--help"} << 1 << QString() << "slidemill: " + full << kWindow << true;
    QTest::newRow("the batch tool's help to a full disk")
        << QStringList{"--help"} << 1 << QString() << "slidemill-build: " + full << kTool << true;
    QTest::newRow("the batch tool's version to a full disk")
        << QStringList{"--version"} << 1 << QString() << "slidemill-build: " + full << kTool
        << true;
}

void TestCli::windowCommandLine() {
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, program);
    QFETCH(bool, fullDisk);
    QProcess window;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(display));
    window.setProcessEnvironment(env);
    if (fullDisk)
        window.setStandardOutputFile(QStringLiteral("/dev/full"));
    window.start(program, args);
    QVERIFY(window.waitForFinished(30000));
    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), exit);
    const QString printed = QString::fromUtf8(window.readAllStandardOutput());
    QVERIFY2(out.isEmpty() ? printed.isEmpty() : printed.startsWith(out), qPrintable(printed));
    QCOMPARE(QString::fromUtf8(window.readAllStandardError()), err);
}

// The decoding libraries are loaded only when a picture must be decoded: the dynamic loader's
// own account (LD_DEBUG) says whether libvips or libheif came into the process. A module that
// cannot be used fails only the builds that decode, with an error of its own that says why,
// never as the picture's fault.
void TestCli::decodingLibrary_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("module");  // empty: found as the programs find it
    QTest::addColumn<QString>("refused"); // why the module is refused; empty: the build is made
    QTest::addColumn<bool>("loaded");

    const QString tool = QStringLiteral("slidemill-build");
    QTest::newRow("--ppi original")
        << tool << QStringList{"--ppi", "original", "-o", "deck.pptx", "big.jpg", "small.png"}
        << QString() << QString() << false;
    QTest::newRow("every picture small enough already")
        << tool << QStringList{"-o", "deck.pptx", "small.png", "small.jpg", "drawing.wmf"}
        << QString() << QString() << false;
    QTest::newRow("resized") << tool << QStringList{"--ppi", "96", "-o", "deck.pptx", "big.jpg"}
                             << QString() << QString() << true;
    QTest::newRow("HEIC converted, --ppi original")
        << tool << QStringList{"--ppi", "original", "-o", "deck.pptx", "photo.heic"} << QString()
        << QString() << true;
    QTest::newRow("the window's --help")
        << QStringLiteral("slidemill") << QStringList{"--help"} << QString() << QString() << false;
    QTest::newRow("no module, nothing to decode")
        << tool << QStringList{"--ppi", "original", "-o", "deck.pptx", "big.jpg"}
        << "absent/slidemill-decoding.so" << QString() << false;
    QTest::newRow("no module") << tool << QStringList{"-o", "deck.pptx", "small.png", "big.jpg"}
                               << "absent/slidemill-decoding.so"
                               << QStringLiteral("No such file or directory") << false;
    QTest::newRow("not a module") << tool << QStringList{"-o", "deck.pptx", "big.jpg"} << "notes.so"
                                  << QStringLiteral("not an ELF file") << false;
    // Mapped past its end, a module cut short ends the program with SIGBUS.
    for (const int size : {64, 4096, 55656})
        QTest::addRow("the module cut short at %d bytes", size)
            << tool << QStringList{"-o", "deck.pptx", "big.jpg"}
            << QStringLiteral("short-%1.so").arg(size) << QStringLiteral("cut short") << false;
    QTest::newRow("a module of another interface")
        << tool << QStringList{"-o", "deck.pptx", "big.jpg"} << "foreign.so"
        << QStringLiteral("its interface is %1, this program's %2")
               .arg(SLIDEMILL_DECODING_ABI ^ 0x5a5a5a5au, 8, 16, QLatin1Char('0'))
               .arg(SLIDEMILL_DECODING_ABI, 8, 16, QLatin1Char('0'))
        << true;
}

void TestCli::decodingLibrary() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, module);
    QFETCH(QString, refused);
    QFETCH(bool, loaded);
    QTemporaryDir dir;
    QVERIFY(!test::makePicture(dir.path(), QStringLiteral("big.jpg"), "jpg", 3000, 2000).isEmpty());
    QVERIFY(!test::makePicture(dir.path(), QStringLiteral("small.png"), "png", 320, 240).isEmpty());
    QVERIFY(!test::makePicture(dir.path(), QStringLiteral("small.jpg"), "jpg", 240, 320).isEmpty());
    QVERIFY(
        !test::makePicture(dir.path(), QStringLiteral("drawing.wmf"), "wmf", 192, 96).isEmpty());
    QImage blank(64, 48, QImage::Format_RGB32);
    blank.fill(Qt::white);
    test::writeBytes(dir.path(), QStringLiteral("photo.heic"), test::heifBytes(blank));
    test::writeBytes(dir.path(), QStringLiteral("notes.so"), "shopping list\n");
    const QByteArray built =
        test::readBytes(QStringLiteral(SLIDEMILL_BINARY_DIR "/slidemill-decoding.so"));
    for (const int size : {64, 4096, 55656})
        test::writeBytes(dir.path(), QStringLiteral("short-%1.so").arg(size), built.left(size));
    // The same module but for its interface number: what one built from another interface
    // looks like to the program.
    QByteArray foreign = built;
    char ours[4], theirs[4];
    qToLittleEndian<quint32>(SLIDEMILL_DECODING_ABI, ours);
    qToLittleEndian<quint32>(SLIDEMILL_DECODING_ABI ^ 0x5a5a5a5au, theirs);
    QVERIFY(foreign.contains(QByteArrayView(ours, 4)));
    foreign.replace(QByteArrayView(ours, 4), QByteArrayView(theirs, 4));
    test::writeBytes(dir.path(), QStringLiteral("foreign.so"), foreign);
    const QString err =
        refused.isEmpty()
            ? QString()
            : QStringLiteral("slidemill-build: Run-time error '48': Error in loading DLL: the "
                             "decoding module %1 does not match this program: %2 (big.jpg)\n")
                  .arg(dir.filePath(module), refused);
    const int exit = refused.isEmpty() ? 0 : 1;

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SLIDEMILL_DECODING_MODULE"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    env.insert(QStringLiteral("LD_DEBUG_OUTPUT"), dir.filePath(QStringLiteral("ld")));
    if (!module.isEmpty())
        env.insert(QStringLiteral("SLIDEMILL_DECODING_MODULE"), dir.filePath(module));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(SLIDEMILL_BINARY_DIR "/") + program, args);
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), err);
    QCOMPARE(p.exitCode(), exit);
    QCOMPARE(QFileInfo::exists(dir.filePath(QStringLiteral("deck.pptx"))),
             exit == 0 && program == QLatin1String("slidemill-build"));

    QString account;
    for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("ld.*")}))
        account += QString::fromUtf8(test::readBytes(dir.filePath(name)));
    QVERIFY2(account.contains(QLatin1String("file=libQt6Core.so")), "no LD_DEBUG account");
    QCOMPARE(account.contains(QLatin1String("file=libvips.so")), loaded);
    QCOMPARE(account.contains(QLatin1String("file=libheif.so")), loaded);
}

// A library search path that is empty, relative or "." is taken from the folder the program
// is started in: a library planted there would be run. And a program exports none of its own
// symbols, the module only its entry point: nothing of ours is bound across by name.
void TestCli::dynamicSection_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("exports"); // of ours
    for (const char* file : {"slidemill", "slidemill-build"})
        QTest::newRow(file) << QString::fromLatin1(file) << QStringList();
    QTest::newRow("slidemill-decoding.so")
        << QStringLiteral("slidemill-decoding.so") << QStringList{"slidemill_decoding_open"};
}

void TestCli::dynamicSection() {
    QFETCH(QString, file);
    QFETCH(QStringList, exports);
    const auto run = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QString();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    const QString path = QStringLiteral(SLIDEMILL_BINARY_DIR "/") + file;
    const QString dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), path});
    QVERIFY2(dynamic.contains(QLatin1String("(NEEDED)")), "no dynamic section read");
    static const QRegularExpression searchPath(
        QStringLiteral(R"(\((?:RPATH|RUNPATH)\).*\[(.*)\])"));
    for (auto m = searchPath.globalMatch(dynamic); m.hasNext();) {
        for (const QString& entry : m.next().captured(1).split(QLatin1Char(':')))
            QVERIFY2(entry.startsWith(QLatin1Char('/')) ||
                         entry.startsWith(QLatin1String("$ORIGIN")),
                     qPrintable(QStringLiteral("search path entry '%1'").arg(entry)));
    }
    const QString defined =
        run(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), path});
    QVERIFY2(defined.contains(QLatin1String(" _end")), "no symbols read");
    QStringList ours;
    for (const QString& line : defined.split(QLatin1Char('\n')))
        if (line.contains(QLatin1String("slidemill")))
            ours << line.section(QLatin1Char(' '), -1);
    QCOMPARE(ours, exports);
}

// The manual pages read without a warning and name every picture format; the window's gives
// its file pattern, the batch tool's the options and error numbers --help gives. Checked
// rather than generated: the pages are prose around these lists, and a test keeps the prose
// honest where a generated list would only keep itself so.
void TestCli::manPages_data() {
    QTest::addColumn<QString>("page");
    QTest::newRow("slidemill-build") << "slidemill-build";
    QTest::newRow("slidemill") << "slidemill";
}

void TestCli::manPages() {
    QFETCH(QString, page);
    const QString path = QStringLiteral(SLIDEMILL_BINARY_DIR "/man/%1.1").arg(page);
    QProcess man;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    man.setProcessEnvironment(env);
    man.start(QStringLiteral("man"), {"--warnings", "-l", path});
    if (!man.waitForStarted())
        QSKIP("man is not installed");
    QVERIFY(man.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(man.readAllStandardError()), QString());
    QCOMPARE(man.exitCode(), 0);
    QVERIFY(man.readAllStandardOutput().contains("NAME"));

    const QString source = QString::fromUtf8(test::readBytes(path));
    for (int i = 0; i < int(PictureFormat::Count); ++i) {
        const QString name = QLatin1String(kPictureFormats[i].name);
        QVERIFY2(source.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(name))),
                 qPrintable(name));
    }
    const bool window = page == QLatin1String("slidemill");
    if (window) {
        const QString pattern = FileList::kPattern;
        QVERIFY2(source.simplified().contains(
                     QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' '))),
                 qPrintable(pattern));
        // Every key the window reads from its settings file, and no other.
        QStringList keys;
        for (const AlbumOption& row : albumOptions())
            if (row.settingsKey && !row.perAlbum)
                keys << QLatin1String(row.settingsKey);
        keys.sort();
        QCOMPARE(captures(tagsOf(source, "SETTINGS"), QStringLiteral("^\\.BI ([a-z-]+)=")), keys);
    }

    QStringList helpOptions, helpNumbers;
    for (const QString& line : (window ? windowUsage() : batchUsage()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("  -")))
            helpOptions << line.trimmed().section(QLatin1String("  "), 0, 0);
        else if (line.startsWith(QLatin1String("  ")))
            helpNumbers << line;
    }
    const QString option = QStringLiteral("(?:^|[ ,\"])(--?[a-z-]+)");
    QCOMPARE(captures(tagsOf(source, "OPTIONS"), option), captures(helpOptions, option));
    QCOMPARE(captures(tagsOf(source, "DIAGNOSTICS"), QStringLiteral("^\\.B (\\d+)$")),
             captures(helpNumbers, QStringLiteral("^  (\\d+)  ")));
}

void TestCli::endToEnd_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("toStandardOutput"); // through a pipe
    QTest::addColumn<QString>("name");

    const QString pptx = QStringLiteral("deck.pptx");
    QTest::newRow("one photo per slide") << QStringList{} << 7 << false << pptx;
    QTest::newRow("two per slide, described")
        << QStringList{"--two", "--description"} << 4 << false << pptx;
    QTest::newRow("to standard output") << QStringList{"--two"} << 4 << true << pptx;
    QTest::newRow("a show that runs itself, as a slide show file")
        << QStringList{"--fill",       "--background", "black",     "--caption", "date",
                       "--sort",       "date",         "--advance", "5",         "--loop",
                       "--transition", "fade",         "--title",   "Party"}
        << 8 << false << QStringLiteral("party.ppsx");
    QTest::newRow("fitted, 16:9, grey, named, by name")
        << QStringList{"--fit",  "--wide", "--grey",       "--caption", "name",
                       "--sort", "name",   "--background", "#1d3557"}
        << 7 << false << pptx;
}

void TestCli::endToEnd() {
    QFETCH(QStringList, options);
    QFETCH(int, pages);
    QFETCH(bool, toStandardOutput);
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QStringList pictures = writePictures(dir.path());
    QCOMPARE(pictures.size(), 7);
    const QString deck = dir.filePath(name);
    const Process p = toStandardOutput
                          ? runToolIntoPipe(options + QStringList{"-o", "-"} + pictures)
                          : runTool(options + QStringList{"-o", deck} + pictures);
    QCOMPARE(p.err, QString());
    QCOMPARE(p.exit, 0);
    if (toStandardOutput)
        test::writeBytes(dir.path(), name, p.out);
    else
        QCOMPARE(p.out, QByteArray());

    // The deck remembers its album: the options but the order, which its photos keep.
    Album album;
    for (qsizetype i = 0; i < options.size(); ++i) {
        const QString name = options[i].mid(2);
        const AlbumOption* row = findAlbumOption(name);
        QVERIFY(row);
        QCOMPARE(row->give(album, row->argument ? options.value(++i) : "true"), QString());
    }
    HeaderPictureLoader loader;
    const QStringList order = sortedPhotos(pictures, album.sort, loader);
    album.sort = SortOrder::Given;
    const std::optional<AlbumRecipe> recipe = readAlbumRecipe(deck);
    QVERIFY(recipe);
    QVERIFY(recipe->album == album);
    QStringList paths;
    for (const RecipePhoto& photo : recipe->photos) {
        paths << photo.path;
        QCOMPARE(photo.source, RecipePhoto::Source::File);
    }
    QCOMPARE(paths, order);

    // Each outside check skips where its tool is missing, once the other was made.
    const test::CheckResult pdf = test::convertToPdf({deck}, dir.path());
    if (!pdf.skipped) {
        QVERIFY2(pdf.ok, qPrintable(pdf.output));
        QCOMPARE(test::pdfPageCount(test::pdfPathFor(deck, dir.path())), pages);
    }
    VERIFY_VALID_PPTX({deck});
    if (pdf.skipped)
        QSKIP("LibreOffice is not installed");
}

// What LibreOffice keeps of the music, as it writes the deck down again: each file embedded, a
// media object for it on the first slide only, played by the slide after the one before, and
// a lone file's repeat. Its format has no count of slides a sound plays across: it keeps none.
void TestCli::musicReadByLibreOffice_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("music");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("repeats");
    QTest::newRow("one file, looping")
        << QStringList{"--loop", "--advance", "fit"} << QStringList{"song.mp3"} << "loop.pptx" << 1;
    QTest::newRow("as a slide show file")
        << QStringList{"--loop"} << QStringList{"song.mp3"} << "show.ppsx" << 1;
    QTest::newRow("two files, one after the other")
        << QStringList{"--advance", "fit"} << QStringList{"song.mp3", "tone.wav"} << "two.pptx"
        << 0;
}

void TestCli::musicReadByLibreOffice() {
    QFETCH(QStringList, options);
    QFETCH(QStringList, music);
    QFETCH(QString, name);
    QFETCH(int, repeats);
    QTemporaryDir dir;
    const QStringList pictures = writePictures(dir.path()).mid(0, 2);
    for (const QString& file : music) {
        const QString made = test::makeMusic(dir.path(), file, 2);
        if (made.isEmpty())
            QSKIP("ffmpeg is not installed");
        options << QStringLiteral("--music") << made;
    }
    const QString deck = dir.filePath(name);
    const Process p = runTool(options + QStringList{"-o", deck} + pictures);
    QCOMPARE(p.err, QString());
    QCOMPARE(p.exit, 0);
    VERIFY_VALID_PPTX({deck});
    const test::CheckResult odp = test::convertTo({deck}, dir.path(), QStringLiteral("odp"));
    if (odp.skipped)
        QSKIP("LibreOffice is not installed");
    QVERIFY2(odp.ok, qPrintable(odp.output));
    const QString converted = test::convertedPathFor(deck, dir.path(), QStringLiteral("odp"));
    const QByteArray content = test::partOf(converted, QStringLiteral("content.xml"));
    QVERIFY(!content.isEmpty());
    const qsizetype secondPage = content.indexOf("<draw:page draw:name=\"page2\"");
    QVERIFY(secondPage > 0);
    for (qsizetype k = 0; k < music.size(); ++k) {
        const QString extension = music[k].section(QLatin1Char('.'), 1);
        const QByteArray part =
            QStringLiteral("ppt/media/media%1.%2").arg(k + 1).arg(extension).toUtf8();
        QVERIFY2(!test::partOf(converted, QString::fromUtf8(part)).isEmpty(), part.constData());
        const qsizetype plugin = content.indexOf("<draw:plugin xlink:href=\"" + part + '"');
        QVERIFY2(plugin > 0 && plugin < secondPage, part.constData());
    }
    QCOMPARE(content.count("anim:command=\"play\""), music.size());
    QCOMPARE(content.count("presentation:node-type=\"after-previous\" "
                           "presentation:preset-class=\"media-call\""),
             music.size());
    QCOMPARE(content.count("<anim:audio "), music.size());
    QCOMPARE(content.count("smil:repeatCount=\"indefinite\""), repeats);
}

// The show as a video and the slides as a PDF, read back by the tools people check them with.
void TestCli::videoAndPdf_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("name");
    // A video's streams, frames and length in seconds (-1: the music's); a PDF's text and
    // pages.
    QTest::addColumn<QString>("streams");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("count");

    QTest::newRow("video, 4:3, held slides") << QStringList{"--advance", "3"} << "show.mp4"
                                             << "h264" << QSize(1440, 1080) << 12.0 << 4;
    QTest::newRow("video, 16:9, fades, a title, music shorter than the show")
        << QStringList{"--wide", "--fit",   "--transition", "fade",         "--title",
                       "Summer", "--music", "song.mp3",     "--video-size", "640x360"}
        << "show.mp4"
        << "h264 aac" << QSize(640, 360) << 25.0 << 5;
    QTest::newRow("video, pushes, music fitted")
        << QStringList{"--two",     "--transition", "push",         "--music", "song.mp3",
                       "--advance", "fit",          "--video-size", "320x240"}
        << "show.mp4"
        << "h264 aac" << QSize(320, 240) << -1.0 << 2;
    QTest::newRow("pdf, four a slide, named")
        << QStringList{"--four", "--caption", "name"} << "deck.pdf"
        << "photo" << QSize(720, 540) << 0.0 << 1;
    QTest::newRow("pdf, 16:9, a title, black, greys")
        << QStringList{"--wide", "--title", "Summer", "--background", "black", "--grey"}
        << "deck.pdf"
        << "Summer" << QSize(960, 540) << 0.0 << 5;
}

void TestCli::videoAndPdf() {
    QFETCH(QStringList, options);
    QFETCH(QString, name);
    QFETCH(QString, streams);
    QFETCH(QSize, size);
    QFETCH(double, seconds);
    QFETCH(int, count);
    QTemporaryDir dir;
    // What a video or a PDF can draw: no WMF or EMF.
    const QStringList pictures = writePictures(dir.path()).mid(0, 4);
    QCOMPARE(pictures.size(), 4);
    const qsizetype music = options.indexOf(QStringLiteral("song.mp3"));
    if (music >= 0) {
        options[music] = test::makeMusic(dir.path(), QStringLiteral("song.mp3"), 8);
        if (options[music].isEmpty())
            QSKIP("ffmpeg is not installed");
    }
    const QString out = dir.filePath(name);
    const Process p = runTool(options + QStringList{"-o", out} + pictures);
    QCOMPARE(p.err, QString());
    QCOMPARE(p.exit, 0);
    QCOMPARE(temporaryFiles(dir.path()), QStringList());
    const auto tool = [](const QString& program, const QStringList& args) {
        QProcess run;
        run.start(program, args);
        if (!run.waitForFinished(120000))
            return QStringList{QStringLiteral("not run")};
        return QStringList{QString::fromUtf8(run.readAllStandardOutput()),
                           QString::fromUtf8(run.readAllStandardError())};
    };

    if (name.endsWith(QLatin1String(".mp4"))) {
        const QStringList probed =
            tool(QStringLiteral("ffprobe"), {"-v", "error", "-count_packets", "-show_entries",
                                             "stream=codec_name,width,height,nb_read_packets:"
                                             "format=duration",
                                             "-of", "compact=p=0:nk=1", out});
        if (probed.size() < 2)
            QSKIP("ffprobe is not installed");
        const QStringList lines = probed[0].trimmed().split(QLatin1Char('\n'));
        if (seconds < 0)
            seconds =
                tool(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=duration",
                                                 "-of", "csv=p=0", options[music]})
                    .value(0)
                    .toDouble();
        QStringList codecs;
        for (const QString& line : lines.mid(0, lines.size() - 1))
            codecs << line.section(QLatin1Char('|'), 0, 0);
        QCOMPARE(codecs.join(QLatin1Char(' ')), streams);
        const QStringList video = lines.first().split(QLatin1Char('|'));
        QCOMPARE(QSize(video.value(1).toInt(), video.value(2).toInt()), size);
        // Within a frame of the show's length, and a held slide stored as few frames.
        QVERIFY2(std::abs(lines.last().toDouble() - seconds) <= 1.0 / 30, qPrintable(lines.last()));
        const int frames = video.value(3).toInt();
        QVERIFY2(frames > 0 && frames < seconds * 30 / 2, qPrintable(video.value(3)));
        QCOMPARE(tool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", out, "-f", "null", "-"}),
                 (QStringList{QString(), QString()}));
        return;
    }
    const QStringList info = tool(QStringLiteral("pdfinfo"), {out});
    if (info.size() < 2)
        QSKIP("poppler-utils is not installed");
    QVERIFY2(info[0].contains(QRegularExpression(QStringLiteral("Pages: +%1\n").arg(count))),
             qPrintable(info[0]));
    QVERIFY2(info[0].contains(QRegularExpression(
                 QStringLiteral("Page size: +%1 x %2 pts").arg(size.width()).arg(size.height()))),
             qPrintable(info[0]));
    QCOMPARE(info[1], QString());
    QVERIFY2(tool(QStringLiteral("pdftotext"), {out, "-"}).value(0).contains(streams),
             qPrintable(streams));
    // Every picture, once, at its size in the deck or smaller.
    const QStringList images = tool(QStringLiteral("pdfimages"), {"-list", out})
                                   .value(0)
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(images.size() >= 2 + 4, qPrintable(images.join(QLatin1Char('\n'))));
    for (const QString& line : images.mid(2)) {
        const QStringList cells = line.simplified().split(QLatin1Char(' '));
        if (cells.value(2) != QLatin1String("image"))
            continue;
        QVERIFY2(cells.value(3).toInt() <= 1024 && cells.value(4).toInt() <= 768, qPrintable(line));
    }
}

void TestCli::endToEndFailureLeavesOutput_data() {
    QTest::addColumn<QByteArray>("existing"); // empty: no file there before
    QTest::addColumn<QString>("culprit");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("output");

    const QString deck = QStringLiteral("deck.pptx");
    QTest::newRow("not a picture, new output") << QByteArray() << "notes.png"
                                               << "Run-time error '481': Invalid picture" << deck;
    QTest::newRow("missing picture, output kept") << QByteArray("an older deck") << "gone.jpg"
                                                  << "Run-time error '53': File not found" << deck;
    QTest::newRow("missing picture named in bytes")
        << QByteArray() << pathFromNative("gone\xff\n.jpg") << "Run-time error '53': File not found"
        << deck;
    // libpng reports the header's error on standard error itself; only ours is shown.
    QTest::newRow("broken PNG header") << QByteArray() << "broken.png"
                                       << "Run-time error '481': Invalid picture" << deck;
    // Measured whole, but its pixels cannot be drawn: found only as the frames are made.
    QTest::newRow("broken PNG data, video kept")
        << QByteArray("an older video") << "damaged.png"
        << "Run-time error '481': Invalid picture: its pixels cannot be decoded"
        << "show.mp4";
    QTest::newRow("a drawing, in a PDF")
        << QByteArray() << "drawing.wmf"
        << "Run-time error '481': Invalid picture: a WMF or EMF drawing is shown only in a "
           "presentation"
        << "deck.pdf";
    QTest::newRow("missing picture, new PDF") << QByteArray() << "gone.jpg"
                                              << "Run-time error '53': File not found"
                                              << "deck.pdf";
    QTest::newRow("music that is no music, video kept")
        << QByteArray("an older video") << "song.mp3"
        << "Run-time error '481': Invalid picture: not music Slidemill can store: it is not MP3, "
           "M4A or WAV"
        << "show.mp4";
}

void TestCli::endToEndFailureLeavesOutput() {
    QFETCH(QByteArray, existing);
    QFETCH(QString, culprit);
    QFETCH(QString, message);
    QFETCH(QString, output);

    QTemporaryDir dir;
    QStringList pictures = writePictures(dir.path());
    QVERIFY(!pictures.isEmpty());
    const QString bad = dir.filePath(culprit);
    if (culprit.startsWith(QLatin1String("notes")))
        test::writeBytes(dir.path(), culprit, "shopping list\n");
    if (culprit.startsWith(QLatin1String("broken"))) {
        QByteArray png = test::readBytes(pictures[0]);
        png[29] = char(png[29] ^ 0xFF); // the IHDR chunk's CRC
        test::writeBytes(dir.path(), culprit, png);
    }
    if (culprit.startsWith(QLatin1String("damaged"))) {
        QByteArray png = test::readBytes(pictures[0]);
        const qsizetype data = png.indexOf("IDAT") + 4;
        for (qsizetype i = data + 8; i < data + 64; ++i)
            png[i] = char(png[i] ^ 0x5A);
        test::writeBytes(dir.path(), culprit, png);
    }
    // A video or a PDF draws no WMF or EMF.
    if (!output.endsWith(QLatin1String(".pptx")))
        pictures = pictures.filter(QRegularExpression(QStringLiteral("\\.(png|jpg|gif|bmp|tif)$")));
    QStringList options{"--two"};
    if (culprit.endsWith(QLatin1String(".mp3"))) {
        test::writeBytes(dir.path(), culprit, "ID3 and then nothing that plays");
        options << QStringLiteral("--music") << bad;
    } else {
        // After the TIFF, whose warnings come first.
        pictures.insert(std::min<qsizetype>(5, pictures.size()), bad);
    }
    const QString deck = dir.filePath(output);
    if (!existing.isEmpty())
        test::writeBytes(dir.path(), output, existing);
    const QStringList before = QDir(dir.path()).entryList(QDir::Files, QDir::Name);

    const Process p = runTool(options + QStringList{"-o", deck} + pictures);
    QCOMPARE(p.exit, 1);
    QCOMPARE(p.err, QStringLiteral("slidemill-build: %1 (%2)\n").arg(message, printablePath(bad)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), before);
    if (!existing.isEmpty())
        QCOMPARE(test::readBytes(deck), existing);
}

// OUT that the save would destroy is refused before anything is built.
void TestCli::outputRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("a FIFO") << "fifo"
                            << "is not a regular file";
    QTest::newRow("one of the pictures") << "picture"
                                         << "is one of the pictures";
    QTest::newRow("a link to one of them") << "link"
                                           << "is one of the pictures";
    QTest::newRow("the list") << "list"
                              << "is the list of pictures";
    QTest::newRow("a link to the list") << "link to list"
                                        << "is the list of pictures";
    QTest::newRow("the list on standard input") << "list on standard input"
                                                << "is the list of pictures";
}

void TestCli::outputRefused() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QStringList pictures = writePictures(dir.path());
    QVERIFY(!pictures.isEmpty());
    QString out = dir.filePath(QStringLiteral("out.pptx"));
    const QString list = test::writeBytes(dir.path(), QStringLiteral("list.txt"),
                                          QFile::encodeName(pictures.join(QLatin1Char('\n'))));
    QStringList inputs = pictures;
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(out).constData(), 0600), 0);
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(pictures[1], out));
    else if (kind == QLatin1String("picture"))
        out = pictures[1];
    else if (kind == QLatin1String("list"))
        out = list;
    else if (kind == QLatin1String("link to list"))
        QVERIFY(QFile::link(list, out));
    if (kind.contains(QLatin1String("list")))
        inputs = QStringList{"--from", kind.endsWith(QLatin1String("input")) ? "-" : list};
    const QByteArray listBytes = test::readBytes(list);
    const QByteArray photo = test::readBytes(pictures[1]);
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);

    Process p;
    if (kind.endsWith(QLatin1String("input"))) {
        QProcess tool;
        tool.setStandardInputFile(list);
        tool.start(kTool, QStringList{"-o", list} + inputs);
        QVERIFY(tool.waitForFinished(60000));
        p = {tool.exitCode(), tool.readAllStandardOutput(),
             QString::fromUtf8(tool.readAllStandardError())};
        out = list;
    } else {
        p = runTool(QStringList{"-o", out} + inputs);
    }
    QCOMPARE(p.exit, 1);
    QCOMPARE(p.err, QStringLiteral("slidemill-build: Run-time error '75': Saving the "
                                   "presentation: the output %1 (%2)\n")
                        .arg(message, out));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    QCOMPARE(test::readBytes(pictures[1]), photo);
    QCOMPARE(test::readBytes(list), listBytes);
}

// A deck larger than the process may write is a full disk, not a silent end by SIGXFSZ.
void TestCli::fileSizeLimit() {
    QTemporaryDir dir;
    const QString photo = test::makePicture(dir.path(), "p.jpg", "jpeg", 1000, 750);
    const QString deck = test::writeBytes(dir.path(), QStringLiteral("deck.pptx"), "old");
    QProcess p;
    p.setChildProcessModifier([] {
        const rlimit limit{16384, 16384};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    p.start(kTool, {"-o", deck, photo, photo});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
             QStringLiteral("slidemill-build: Run-time error '75': Saving the presentation: %1 "
                            "(%2)\n")
                 .arg(QString::fromLocal8Bit(std::strerror(EFBIG)), deck));
    QCOMPARE(test::readBytes(deck), QByteArray("old"));
    QCOMPARE(temporaryFiles(dir.path()), QStringList());
}

// A save ended by a signal leaves no temporary file and the old OUT as it was; one ended by
// SIGKILL leaves its file to the next save into that folder.
void TestCli::interruptedSave_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGKILL") << SIGKILL;
}

void TestCli::interruptedSave() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString photo = test::makePicture(dir.path(), "p.png", "png", 64, 48);
    // A long build: the same photo on 32767 slides.
    const QByteArray line = QFile::encodeName(photo) + '\n';
    test::writeBytes(dir.path(), QStringLiteral("list.txt"), line.repeated(32767));
    const QString deck = test::writeBytes(dir.path(), QStringLiteral("deck.pptx"), "old");

    QProcess p;
    p.start(kTool, {"-o", deck, "--from", dir.filePath(QStringLiteral("list.txt"))});
    QVERIFY(p.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (temporaryFiles(dir.path()).isEmpty() && p.state() == QProcess::Running &&
           waited.elapsed() < 60000)
        QThread::msleep(2);
    QVERIFY2(p.state() == QProcess::Running, "the build ended before it could be interrupted");
    QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
    QVERIFY(p.waitForFinished(60000));
    // Ended by the signal, as without the clean-up.
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    QCOMPARE(test::readBytes(deck), QByteArray("old"));
    if (signal == SIGKILL) {
        QCOMPARE(temporaryFiles(dir.path()).size(), 1);
        QCOMPARE(runTool({"-o", dir.filePath(QStringLiteral("next.pptx")), photo}).exit, 0);
    }
    QCOMPARE(temporaryFiles(dir.path()), QStringList());
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
