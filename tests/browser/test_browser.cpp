#include "browser/drivelist.h"
#include "browser/filelist.h"
#include "browser/folderbrowser.h"
#include "browser/folderlist.h"
#include "core/folderscan.h"
#include "core/messageboxes.h"
#include "core/runtimeerror.h"
#include "support/fakevolumes.h"
#include "support/scriptedboxes.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace slidemill;
using namespace slidemill::test;

namespace {

void touch(const QString& path) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

QStringList texts(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.item(i)->text();
    return out;
}

// The three lists on a window, bound as the main window binds them, over two fake volumes
// A and B in a temp folder. A's current folder is A/photos, B's is B itself.
struct Browser {
    QTemporaryDir tmp;
    QString a, b, aPhotos;
    FakeVolumes volumes;
    ScriptedMessageBoxes boxes;
    QWidget window;
    DriveList* drive1 = new DriveList(&window);
    FolderList* dir1 = new FolderList(&window);
    FileList* file1 = new FileList(&window);
    FolderBrowser* browser = nullptr;

    Browser() {
        a = tmp.filePath(QStringLiteral("A"));
        b = tmp.filePath(QStringLiteral("B"));
        aPhotos = a + QStringLiteral("/photos");
        QDir().mkpath(aPhotos);
        QDir().mkpath(b + QStringLiteral("/sub"));
        touch(aPhotos + QStringLiteral("/one.png"));
        touch(aPhotos + QStringLiteral("/two.jpg"));
        touch(b + QStringLiteral("/three.gif"));
        volumes.add(QStringLiteral("Alpha"), a, aPhotos);
        volumes.add(QStringLiteral("Beta"), b);
        browser = new FolderBrowser(
            drive1, dir1, file1, volumes, boxes,
            [this](const RuntimeError& e) { boxes.show(&window, e.report(), kAppTitle, mbOkOnly); },
            &window);
        browser->start();
    }
    // The user picks the volume at index, as with the keyboard or the drop-down.
    void pick(int index) { drive1->setCurrentIndex(index); }
};

} // namespace

class TestBrowser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pattern_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::newRow("upper case extension") << "a.GIF" << true;
        QTest::newRow("png") << "c.png" << true;
        QTest::newRow("mixed case") << "Scan.TiF" << true;
        QTest::newRow("wmf") << "x.wmf" << true;
        QTest::newRow("emf") << "x.EMF" << true;
        for (const char* phone :
             {"b.jpeg", "b.JPE", "f.tiff", "p.HEIC", "p.heif", "p.avif", "p.WebP"})
            QTest::newRow(phone) << phone << true;
        QTest::newRow("heics is not heic") << "p.heics" << false;
        QTest::newRow("extension inside the name") << "x.jpg.txt" << false;
        QTest::newRow("only the extension") << ".png" << true;
        QTest::newRow("no dot") << "png" << false;
    }
    void pattern() {
        QFETCH(QString, name);
        QTEST(NamePattern(FileList::kPattern).matches(name), "listed");
    }

    // Pattern, hidden files, folders, links and order on a real folder.
    void fileListOnFolder() {
        QTemporaryDir tmp;
        for (const char* name : {"a.GIF", "b.jpeg", "c.png", "d.txt", ".hidden.png", "img10.jpg",
                                 "img2.jpg", "Zeta.bmp", "alpha.tif", "Beta.emf"})
            touch(tmp.filePath(QString::fromLatin1(name)));
        QDir(tmp.path()).mkdir(QStringLiteral("folder.png"));
        QFile::link(tmp.filePath(QStringLiteral("c.png")),
                    tmp.filePath(QStringLiteral("link.png")));
        QFile::link(tmp.filePath(QStringLiteral("gone")), tmp.filePath(QStringLiteral("dead.png")));

        FileList file1;
        file1.setPath(tmp.path());
        QCOMPARE(texts(file1), (QStringList{"a.GIF", "alpha.tif", "b.jpeg", "Beta.emf", "c.png",
                                            "img2.jpg", "img10.jpg", "link.png", "Zeta.bmp"}));
        QCOMPARE(file1.path(), tmp.path());
        QCOMPARE(file1.selectionMode(), QAbstractItemView::ExtendedSelection);
    }

    // A folder that cannot be read empties the list and still names that folder, so no name
    // of the old folder is ever joined with the new one.
    void fileListMissingFolder() {
        QTemporaryDir tmp;
        touch(tmp.filePath(QStringLiteral("a.png")));
        FileList file1;
        file1.setPath(tmp.path());
        file1.item(0)->setSelected(true);
        const QString missing = tmp.filePath(QStringLiteral("missing"));
        try {
            file1.setPath(missing);
            QFAIL("no error");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), int(errPathNotFound));
            QCOMPARE(e.file(), missing);
        }
        QCOMPARE(file1.count(), 0);
        QCOMPARE(file1.path(), missing);
    }

    void folderListShowsPathThenSubfolders() {
        QTemporaryDir tmp;
        const QString root = tmp.path();
        for (const char* sub : {"x/y/b", "x/y/A", "x/y/.hidden", "x/y/c10", "x/y/c9"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        touch(root + QStringLiteral("/x/y/file.png"));

        FolderList dir1;
        QSignalSpy changed(&dir1, &FolderList::changed);
        dir1.setPath(root + QStringLiteral("/x/y/"), root);
        QCOMPARE(dir1.path(), root + QStringLiteral("/x/y"));
        QCOMPARE(texts(dir1), (QStringList{root, "  x", "    y", "      A", "      b", "      c9",
                                           "      c10"}));
        QCOMPARE(dir1.currentRow(), 2);
        QCOMPARE(dir1.folderAt(1), root + QStringLiteral("/x"));
        QCOMPARE(dir1.folderAt(6), root + QStringLiteral("/x/y/c10"));
        QCOMPARE(changed.count(), 1);

        // The same folder again is no change.
        dir1.setPath(root + QStringLiteral("/x/y"));
        QCOMPARE(changed.count(), 1);

        // Opening a folder, down and up, keeps the volume's root at the top.
        dir1.openRow(3);
        QCOMPARE(dir1.path(), root + QStringLiteral("/x/y/A"));
        dir1.openRow(0);
        QCOMPARE(dir1.path(), root);
        QCOMPARE(texts(dir1), (QStringList{root, "  x"}));
        QCOMPARE(changed.count(), 3);
    }

    void folderListUnreadableFolderStays() {
        QTemporaryDir tmp;
        FolderList dir1;
        dir1.setPath(tmp.path(), tmp.path());
        const QStringList before = texts(dir1);
        QSignalSpy changed(&dir1, &FolderList::changed);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, dir1.setPath(tmp.filePath("missing")));
        QCOMPARE(dir1.path(), tmp.path());
        QCOMPARE(texts(dir1), before);
        QCOMPARE(changed.count(), 0);
    }

    // Choosing a volume, then the first again, returns to its current folder in the system's
    // sense, not to the folder last shown on it; the file selection never survives a move.
    void volumeChangeMovesLists() {
        Browser w;
        w.file1->item(0)->setSelected(true);
        w.dir1->setPath(w.a);
        QCOMPARE(w.file1->path(), w.a);
        QVERIFY(w.file1->selectedItems().isEmpty());

        w.pick(1);
        QCOMPARE(w.dir1->path(), w.b);
        QCOMPARE(w.dir1->root(), w.b);
        QCOMPARE(texts(*w.file1), QStringList{"three.gif"});
        w.file1->item(0)->setSelected(true);

        w.pick(0);
        QCOMPARE(w.dir1->path(), w.aPhotos);
        QCOMPARE(w.file1->path(), w.aPhotos);
        QVERIFY(w.file1->selectedItems().isEmpty());
        QVERIFY(w.boxes.shown.isEmpty());
    }

    // The user's answers to "Disk Missing" while the volume stays unavailable a number of
    // times: Yes tries again, No leaves Dir1 and File1 where they were.
    void diskMissing_data() {
        QTest::addColumn<int>("unavailable");
        QTest::addColumn<QList<int>>("replies");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("moved");
        // Three Yes while still unavailable, the fourth once the medium is in.
        QTest::newRow("Yes until ready") << 4 << QList<int>{6, 6, 6, 6} << 4 << true;
        QTest::newRow("No at once") << -1 << QList<int>{7} << 1 << false;
        QTest::newRow("Yes twice, then No") << -1 << QList<int>{6, 6, 7} << 3 << false;
    }
    void diskMissing() {
        QFETCH(int, unavailable);
        QFETCH(QList<int>, replies);
        QFETCH(int, questions);
        QFETCH(bool, moved);
        Browser w;
        w.file1->item(1)->setSelected(true);
        w.volumes.setUnavailable(w.b, unavailable);
        w.boxes.replies = replies;
        w.pick(1);

        QCOMPARE(w.boxes.shown.size(), questions);
        for (const auto& box : w.boxes.shown) {
            QCOMPARE(box.text,
                     QStringLiteral("Your disk is not available. Do you want to try again?"));
            QCOMPARE(box.title, QStringLiteral("Disk Missing"));
            QCOMPARE(box.style, 52);
        }
        QCOMPARE(w.volumes.calls(w.b), moved ? questions + 1 : questions);
        QCOMPARE(w.drive1->drive(), w.b);
        QCOMPARE(w.dir1->path(), moved ? w.b : w.aPhotos);
        QCOMPARE(w.file1->path(), w.dir1->path());
        if (moved)
            QCOMPARE(texts(*w.file1), QStringList{"three.gif"});
        else // the old folder's files, as they were
            QCOMPARE(w.file1->selectedItems().first()->text(), QStringLiteral("two.jpg"));
    }

    // Errors other than 68 are shown once, with no retry, and nothing moves.
    void otherError_data() {
        QTest::addColumn<bool>("folderGone");
        QTest::addColumn<QString>("text");
        QTest::newRow("access error") << false << "Path/File access error";
        QTest::newRow("current folder gone") << true << "Path not found";
    }
    void otherError() {
        QFETCH(bool, folderGone);
        Browser w;
        if (folderGone)
            w.volumes.setCurrentFolder(w.b, w.b + QStringLiteral("/gone"));
        else
            w.volumes.setFailure(w.b, errPathFileAccess);
        w.pick(1);
        QCOMPARE(w.boxes.shown.size(), 1);
        QTEST(w.boxes.shown[0].text, "text");
        QCOMPARE(w.boxes.shown[0].title, QStringLiteral("Slidemill"));
        QCOMPARE(w.boxes.shown[0].style, 48);
        QCOMPARE(w.drive1->drive(), w.b);
        QCOMPARE(w.dir1->path(), w.aPhotos);
        QCOMPARE(w.file1->path(), w.aPhotos);
    }

    // A folder removed after it was listed: opening it reports the error and the program
    // goes on with the lists as they were.
    void openingVanishedFolder() {
        Browser w;
        w.pick(1);
        QCOMPARE(texts(*w.dir1).last().trimmed(), QStringLiteral("sub"));
        QVERIFY(QDir(w.b).rmdir(QStringLiteral("sub")));
        w.dir1->openRow(w.dir1->count() - 1);
        QCOMPARE(w.boxes.shown.size(), 1);
        QVERIFY(w.boxes.shown[0].text.startsWith(QStringLiteral("Run-time error '76':")));
        QCOMPARE(w.boxes.shown[0].title, QStringLiteral("Slidemill"));
        QCOMPARE(w.dir1->path(), w.b);
        QCOMPARE(w.file1->path(), w.b);
    }
};

QTEST_MAIN(TestBrowser)
#include "test_browser.moc"
