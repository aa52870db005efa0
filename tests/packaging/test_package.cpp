// The Debian package that scripts/package.sh makes of the Release tree, read back with dpkg-deb:
// what it installs, what it says of itself, and that what it installs runs. Not a suite of
// ctest's: scripts/check-package.sh makes the package and runs this on it, as
//   SLIDEMILL_PACKAGE=build/release/package/slidemill_VERSION_ARCH.deb test_package

#include "core/namepattern.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

namespace {

struct Run {
    int exit = -1;
    QString out;
    QString err;
};

// The program run without a display, as a package's test machine has none, finding its
// decoding module as it would installed.
Run run(const QString& program, const QStringList& args, const QString& in = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SLIDEMILL_DECODING_MODULE"})
        env.remove(QLatin1String(name));
    p.setProcessEnvironment(env);
    if (!in.isEmpty())
        p.setWorkingDirectory(in);
    p.start(program, args);
    if (!p.waitForFinished(300000))
        return {-1, {}, program + QStringLiteral(" did not finish: ") + p.errorString()};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

const QString kDesktopEntry = QStringLiteral("usr/share/applications/io.example.Slidemill.desktop");
const QString kMetainfo = QStringLiteral("usr/share/metainfo/io.example.Slidemill.metainfo.xml");

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString deb_;
    // Where dpkg-deb -x put what the package installs.
    QString root_;

    QString field(const QString& name) {
        const Run r = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb_, name});
        return r.out.trimmed();
    }
    QString installed(const QString& path) { return root_ + QLatin1Char('/') + path; }

private Q_SLOTS:
    void initTestCase() {
        deb_ = qEnvironmentVariable("SLIDEMILL_PACKAGE");
        if (deb_.isEmpty())
            QFAIL("no package to check: SLIDEMILL_PACKAGE names none (scripts/check-package.sh "
                  "makes one and names it)");
        QVERIFY2(QFileInfo(deb_).isFile(), qPrintable(deb_ + QStringLiteral(": no such file")));
        QCOMPARE(QFileInfo(deb_).fileName(),
                 QStringLiteral("slidemill_" SLIDEMILL_VERSION "_%1.deb")
                     .arg(run(QStringLiteral("dpkg"), {"--print-architecture"}).out.trimmed()));
        root_ = dir_.filePath(QStringLiteral("root"));
        const Run extracted = run(QStringLiteral("dpkg-deb"), {"-x", deb_, root_});
        QVERIFY2(extracted.exit == 0, qPrintable(extracted.err));
    }

    // Every file, and nothing else, with root's ownership and the usual modes; each icon of the
    // size its folder names.
    void holdsItsFiles() {
        const Run listed = run(QStringLiteral("dpkg-deb"), {"-c", deb_});
        QCOMPARE(listed.exit, 0);
        QStringList files;
        for (const QString& line : listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QVERIFY2(f.size() == 6 && f[1] == QLatin1String("root/root"), qPrintable(line));
            const QString path = f[5].mid(2); // "./usr/..."
            if (f[0].startsWith(QLatin1Char('d'))) {
                QCOMPARE(f[0], QStringLiteral("drwxr-xr-x"));
                continue;
            }
            QCOMPARE(f[0], path.startsWith(QLatin1String("usr/bin/"))
                               ? QStringLiteral("-rwxr-xr-x")
                               : QStringLiteral("-rw-r--r--"));
            files << path;
        }
        QStringList expected{"usr/bin/slidemill",
                             "usr/bin/slidemill-build",
                             "usr/" SLIDEMILL_INSTALL_LIBDIR "/slidemill/slidemill-decoding.so",
                             "usr/share/doc/slidemill/changelog.gz",
                             "usr/share/doc/slidemill/copyright",
                             "usr/share/icons/hicolor/scalable/apps/slidemill.svg",
                             "usr/share/man/man1/slidemill-build.1.gz",
                             "usr/share/man/man1/slidemill.1.gz",
                             kDesktopEntry,
                             kMetainfo};
        for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString icon =
                QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/slidemill.png").arg(side);
            expected << icon;
            QCOMPARE(QImage(installed(icon)).size(), QSize(side, side));
        }
        expected.sort();
        files.sort();
        QCOMPARE(files, expected);
    }

    // The control fields; the dependencies come from dpkg-shlibdeps (libvips and libheif from
    // the decoding module), each with the version its library's package information asks for,
    // beside the plug-ins Qt loads at run time.
    void control_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Package") << "Package"
                                 << "^slidemill$";
        QTest::newRow("Version") << "Version"
                                 << "^" SLIDEMILL_VERSION "$";
        QTest::newRow("Section") << "Section"
                                 << "^graphics$";
        QTest::newRow("Maintainer") << "Maintainer"
                                    << "^Slidemill developers <slidemill@example\\.org>$";
        QTest::newRow("Homepage") << "Homepage"
                                  << "^https://";
        QTest::newRow("Description")
            << "Description"
            << "^turn an ordered set of photos into a presentation\\n .{20}";
        QTest::newRow("Depends: Qt Widgets") << "Depends"
                                             << "(^|, )libqt6widgets6 \\(>= 6";
        QTest::newRow("Depends: libvips") << "Depends"
                                          << "(^|, )libvips42 \\(";
        QTest::newRow("Depends: libheif") << "Depends"
                                          << "(^|, )libheif1 \\(>= ";
        QTest::newRow("Depends: libc") << "Depends"
                                       << "(^|, )libc6 \\(>= ";
        QTest::newRow("Depends: Qt's window-system plug-ins") << "Depends"
                                                              << "(^|, )qt6-qpa-plugins(,|$)";
        QTest::newRow("Depends: Qt's TIFF and WebP readers")
            << "Depends"
            << "(^|, )qt6-image-formats-plugins(,|$)";
        QTest::newRow("nothing else unversioned")
            << "Depends"
            << "^((qt6-qpa-plugins|qt6-image-formats-plugins|[a-z0-9.+-]+ \\([<>=]+ [^)]+\\))(, "
               "|$))+$";
        QTest::newRow("Recommends") << "Recommends"
                                    << "^xdg-utils$";
    }
    void control() {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        const QString value = field(name);
        QVERIFY2(value.contains(QRegularExpression(pattern)), qPrintable(name + ": " + value));
        if (name == QLatin1String("Description")) {
            for (const QString& line : value.split(QLatin1Char('\n')))
                QVERIFY2(line.size() <= 80, qPrintable(line));
        }
    }

    // What the package installs runs from where it was put, without a display for what needs
    // none.
    void installedProgramsRun_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out");
        QTest::newRow("slidemill --version")
            << "slidemill" << QStringList{"--version"} << "slidemill " SLIDEMILL_VERSION "\n";
        QTest::newRow("slidemill --help") << "slidemill" << QStringList{"--help"}
                                          << "Usage: slidemill [OPTION]... [PHOTO|FOLDER|DECK]...";
        QTest::newRow("slidemill-build --version") << "slidemill-build" << QStringList{"--version"}
                                                   << "slidemill-build " SLIDEMILL_VERSION "\n";
        QTest::newRow("slidemill-build makes a deck")
            << "slidemill-build" << QStringList{"--two", "-o", "deck.pptx", "a.jpg", "b.png"} << "";
        // Resized by the installed decoding module, found from the program's folder.
        QTest::newRow("slidemill-build resizes")
            << "slidemill-build"
            << QStringList{"--ppi", "50", "--two", "-o", "deck.pptx", "a.jpg", "b.png"} << "";
    }
    void installedProgramsRun() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QTemporaryDir work;
        QVERIFY(
            !test::makePicture(work.path(), QStringLiteral("a.jpg"), "jpg", 640, 480).isEmpty());
        QVERIFY(
            !test::makePicture(work.path(), QStringLiteral("b.png"), "png", 480, 640).isEmpty());
        const Run r = run(installed(QStringLiteral("usr/bin/") + program), args, work.path());
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QVERIFY2(out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(out), qPrintable(r.out));
        if (out.isEmpty())
            VERIFY_VALID_PPTX({work.filePath(QStringLiteral("deck.pptx"))});
    }

    // The validators of the package, the desktop entry and the AppStream metadata find no
    // error; a validator missing is a failure, since this is the one place they run.
    void validators_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args"); // DEB and ROOT stand for the package and its files
        QTest::addColumn<QString>("package");  // Debian's
        QTest::newRow("lintian") << "lintian" << QStringList{"DEB"} << "lintian";
        QTest::newRow("desktop-file-validate")
            << "desktop-file-validate" << QStringList{"ROOT/" + kDesktopEntry}
            << "desktop-file-utils";
        QTest::newRow("appstreamcli validate")
            << "appstreamcli" << QStringList{"validate", "--no-net", "ROOT/" + kMetainfo}
            << "appstream";
    }
    void validators() {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QString, package);
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QFAIL(qPrintable(
                QStringLiteral("%1 is not installed (Debian package %2)").arg(tool, package)));
        for (QString& arg : args)
            arg = arg == QLatin1String("DEB") ? deb_ : arg.replace(QLatin1String("ROOT"), root_);
        const Run r = run(tool, args);
        const QString said = r.out + r.err;
        // lintian's errors are its lines "E: ..."; desktop-file-validate prints only what it
        // finds; appstreamcli fails on an error or a warning.
        QVERIFY2(r.exit == 0, qPrintable(said));
        QVERIFY2(!said.contains(QRegularExpression(QStringLiteral("(^|\\n)E: |: error: "))),
                 qPrintable(said));
    }

    // Open With: the entry starts the window with the files, for every type the file list
    // shows; the metadata names this version and the README's picture of the window.
    void desktopEntry() {
        QFile entry(installed(kDesktopEntry));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY(text.contains(QLatin1String("\nExec=slidemill %F\n")));
        QVERIFY(QFileInfo::exists(installed("usr/share/icons/hicolor/48x48/apps/slidemill.png")));
        QVERIFY(text.contains(QLatin1String("\nIcon=slidemill\n")));
        const QRegularExpressionMatch line =
            QRegularExpression(QStringLiteral("\\nMimeType=([^\\n]*)\\n")).match(text);
        QVERIFY(line.hasMatch());
        const QStringList types = line.captured(1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        const QMimeDatabase mime;
        for (QString glob : kPicturePattern.split(QLatin1Char(';'))) {
            const QMimeType type = mime.mimeTypeForFile(glob.replace(QLatin1Char('*'), "photo"),
                                                        QMimeDatabase::MatchExtension);
            QStringList names = type.aliases();
            names << type.name();
            QVERIFY2(
                std::ranges::any_of(names, [&](const QString& n) { return types.contains(n); }),
                qPrintable(glob + QStringLiteral(": ") + names.join(QLatin1Char(' '))));
        }
        for (const char* named : {"image/heic", "image/avif", "image/webp"})
            QVERIFY(types.contains(QLatin1String(named)));
    }
    void metainfo() {
        QFile file(installed(kMetainfo));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.contains(QLatin1String(
            "<launchable type=\"desktop-id\">io.example.Slidemill.desktop</launchable>")));
        const QRegularExpressionMatch release =
            QRegularExpression(QStringLiteral("<release version=\"([^\"]+)\" date=\"([^\"]+)\""))
                .match(text);
        QVERIFY(release.hasMatch());
        QCOMPARE(release.captured(1), QStringLiteral(SLIDEMILL_VERSION));
        // The screenshot is the README's picture, at its size.
        const QRegularExpressionMatch shot =
            QRegularExpression(QStringLiteral("<image type=\"source\" width=\"(\\d+)\" "
                                              "height=\"(\\d+)\">https://[^<]+/docs/window.png<"))
                .match(text);
        QVERIFY(shot.hasMatch());
        const QImage window(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../docs/window.png"));
        QCOMPARE(QSize(shot.captured(1).toInt(), shot.captured(2).toInt()), window.size());
    }
};

QTEST_MAIN(TestPackage)
#include "test_package.moc"
