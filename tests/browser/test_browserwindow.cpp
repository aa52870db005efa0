#include "browser/drivelist.h"
#include "browser/folderlist.h"
#include "support/formdriver.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

// The folder browser on the window, driven by keys and clicks. Volume A's current folder is
// A/photos; volume B, below it in Drive1, has its pictures at its top.
class TestBrowserWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString a_, b_, aPhotos_;
    std::unique_ptr<test::FormDriver> w_;

    QComboBox* drive1() { return w_->control<QComboBox>("Drive1"); }
    FolderList* dir1() { return w_->control<FolderList>("Dir1"); }
    QStringList files() { return w_->texts(w_->list("File1")); }
    // Drive1 takes the focus and the Down key picks the next volume.
    void pickNextVolume() {
        drive1()->setFocus();
        QTest::keyClick(drive1(), Qt::Key_Down);
    }

private Q_SLOTS:
    void initTestCase() {
        a_ = dir_.filePath(QStringLiteral("A"));
        b_ = dir_.filePath(QStringLiteral("B"));
        aPhotos_ = a_ + QStringLiteral("/photos");
        QVERIFY(QDir().mkpath(aPhotos_ + QStringLiteral("/trip")));
        QVERIFY(QDir().mkpath(b_));
        for (const QString& f : {aPhotos_ + "/one.png", aPhotos_ + "/two.jpg",
                                 aPhotos_ + "/trip/sea.gif", b_ + "/three.gif"}) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    void init() {
        w_ = std::make_unique<test::FormDriver>();
        w_->volumes.add(QStringLiteral("Alpha"), a_, aPhotos_);
        w_->volumes.add(QStringLiteral("Beta"), b_);
        QVERIFY(w_->open());
    }
    void cleanup() { w_.reset(); }

    void startsOnCurrentFolder() {
        QCOMPARE(drive1()->currentText(), QStringLiteral("Alpha (%1)").arg(a_));
        QCOMPARE(dir1()->path(), aPhotos_);
        QCOMPARE(files(), (QStringList{"one.png", "two.jpg"}));
        QCOMPARE(drive1()->accessibleName(), QStringLiteral("Drives"));
        QCOMPARE(dir1()->accessibleName(), QStringLiteral("Folders"));
        QCOMPARE(w_->list("File1")->accessibleName(), QStringLiteral("Files"));
    }

    // No: Drive1 shows the new volume, the other lists stay, and adding still joins the old
    // folder with names from File1.
    void diskMissingNo() {
        w_->volumes.setUnavailable(b_, -1);
        w_->boxes.replies = {7};
        pickNextVolume();
        QCOMPARE(w_->boxes.shown.size(), 1);
        QCOMPARE(drive1()->currentText(), QStringLiteral("Beta (%1)").arg(b_));
        QCOMPARE(dir1()->path(), aPhotos_);
        QCOMPARE(files(), (QStringList{"one.png", "two.jpg"}));
        w_->clickRow(w_->list("File1"), 1);
        w_->click("cmdAdd");
        QCOMPARE(w_->texts(w_->view("List1")), QStringList{aPhotos_ + QStringLiteral("/two.jpg")});
    }

    // Opening a folder with Enter, and going back up with a double-click, moves File1 and
    // clears its selection: nothing selected before is added afterwards.
    void openFolderClearsSelection() {
        w_->selectRows(w_->list("File1"), {0, 1});
        const int trip = dir1()->count() - 1;
        QCOMPARE(dir1()->item(trip)->text().trimmed(), QStringLiteral("trip"));
        w_->clickRow(dir1(), trip);
        QCOMPARE(dir1()->path(), aPhotos_); // a single click only highlights
        QTest::keyClick(dir1(), Qt::Key_Return);
        QCOMPARE(dir1()->path(), aPhotos_ + QStringLiteral("/trip"));
        QCOMPARE(files(), QStringList{"sea.gif"});
        QVERIFY(w_->list("File1")->selectedItems().isEmpty());
        w_->click("cmdAdd");
        QCOMPARE(w_->texts(w_->view("List1")), QStringList{});

        w_->doubleClickRow(dir1(), 0);
        QCOMPARE(dir1()->path(), a_);
        QCOMPARE(files(), QStringList{});
        QVERIFY(w_->boxes.shown.isEmpty());
    }

    // Back on the first volume after another: its current folder, not the one last shown.
    void returnToFirstVolume() {
        QTest::keyClick(dir1(), Qt::Key_Return); // stays: the current folder's own row
        dir1()->setCurrentRow(0);
        QTest::keyClick(dir1(), Qt::Key_Return);
        QCOMPARE(dir1()->path(), a_);
        pickNextVolume();
        QCOMPARE(dir1()->path(), b_);
        QTest::keyClick(drive1(), Qt::Key_Up);
        QCOMPARE(dir1()->path(), aPhotos_);
        QCOMPARE(files(), (QStringList{"one.png", "two.jpg"}));
    }
};

QTEST_MAIN(TestBrowserWindow)
#include "test_browserwindow.moc"
