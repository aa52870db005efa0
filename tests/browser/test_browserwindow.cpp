#include "app/form1.h"
#include "browser/drivelist.h"
#include "browser/folderlist.h"
#include "host/recordinghost.h"
#include "slides/picturemetrics.h"
#include "support/fakevolumes.h"
#include "support/scriptedboxes.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

// The folder browser on the window, driven by keys and clicks. Volume A's current folder is
// A/photos; volume B, below it in Drive1, has its pictures at its top.
class TestBrowserWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString a_, b_, aPhotos_;
    test::ScriptedMessageBoxes boxes_;
    std::unique_ptr<test::FakeVolumes> volumes_;
    HeaderPictureLoader loader_;
    std::unique_ptr<Form1> form_;

    template <class T> T* control(const char* name) {
        T* w = form_->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QComboBox* drive1() { return control<QComboBox>("Drive1"); }
    FolderList* dir1() { return control<FolderList>("Dir1"); }
    QListWidget* file1() { return control<QListWidget>("File1"); }
    QListWidget* list1() { return control<QListWidget>("List1"); }
    QStringList files() {
        QStringList out;
        for (int i = 0; i < file1()->count(); ++i)
            out << file1()->item(i)->text();
        return out;
    }
    // Drive1 takes the focus and the Down key picks the next volume.
    void pickNextVolume() {
        drive1()->setFocus();
        QTest::keyClick(drive1(), Qt::Key_Down);
    }
    void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }
    static void touch(const QString& path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void initTestCase() {
        a_ = dir_.filePath(QStringLiteral("A"));
        b_ = dir_.filePath(QStringLiteral("B"));
        aPhotos_ = a_ + QStringLiteral("/photos");
        QVERIFY(QDir().mkpath(aPhotos_ + QStringLiteral("/trip")));
        QVERIFY(QDir().mkpath(b_));
        touch(aPhotos_ + QStringLiteral("/one.png"));
        touch(aPhotos_ + QStringLiteral("/two.jpg"));
        touch(aPhotos_ + QStringLiteral("/trip/sea.gif"));
        touch(b_ + QStringLiteral("/three.gif"));
    }
    void init() {
        boxes_.shown.clear();
        boxes_.replies.clear();
        volumes_ = std::make_unique<test::FakeVolumes>();
        volumes_->add(QStringLiteral("Alpha"), a_, aPhotos_);
        volumes_->add(QStringLiteral("Beta"), b_);
        form_ = std::make_unique<Form1>(
            Services{boxes_, *volumes_, loader_, [] { return std::make_unique<RecordingHost>(); }});
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    void startsOnCurrentFolder() {
        QCOMPARE(drive1()->currentText(), QStringLiteral("Alpha (%1)").arg(a_));
        QCOMPARE(dir1()->path(), aPhotos_);
        QCOMPARE(files(), (QStringList{"one.png", "two.jpg"}));
        QCOMPARE(drive1()->accessibleName(), QStringLiteral("Drives"));
        QCOMPARE(dir1()->accessibleName(), QStringLiteral("Folders"));
        QCOMPARE(file1()->accessibleName(), QStringLiteral("Files"));
    }

    // Yes three times while the volume is still unavailable, then Yes once it answers: four
    // questions, then the lists move.
    void diskMissingThenReady() {
        volumes_->setUnavailable(b_, 4);
        boxes_.replies = {6, 6, 6, 6};
        pickNextVolume();
        QCOMPARE(boxes_.shown.size(), 4);
        QCOMPARE(boxes_.shown.last().title, QStringLiteral("Disk Missing"));
        QCOMPARE(dir1()->path(), b_);
        QCOMPARE(files(), QStringList{"three.gif"});
    }

    // No: Drive1 shows the new volume, the other lists stay, and adding still joins the old
    // folder with names from File1.
    void diskMissingNo() {
        volumes_->setUnavailable(b_, -1);
        boxes_.replies = {7};
        pickNextVolume();
        QCOMPARE(boxes_.shown.size(), 1);
        QCOMPARE(drive1()->currentText(), QStringLiteral("Beta (%1)").arg(b_));
        QCOMPARE(dir1()->path(), aPhotos_);
        QCOMPARE(files(), (QStringList{"one.png", "two.jpg"}));
        clickRow(file1(), 1);
        QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
        QCOMPARE(list1()->count(), 1);
        QCOMPARE(list1()->item(0)->text(), aPhotos_ + QStringLiteral("/two.jpg"));
    }

    // Opening a folder with Enter, and going back up with a double-click, moves File1 and
    // clears its selection: nothing selected before is added afterwards.
    void openFolderClearsSelection() {
        clickRow(file1(), 0);
        clickRow(file1(), 1, Qt::ControlModifier);
        const int trip = dir1()->count() - 1;
        QCOMPARE(dir1()->item(trip)->text().trimmed(), QStringLiteral("trip"));
        clickRow(dir1(), trip);
        QCOMPARE(dir1()->path(), aPhotos_); // a single click only highlights
        QTest::keyClick(dir1(), Qt::Key_Return);
        QCOMPARE(dir1()->path(), aPhotos_ + QStringLiteral("/trip"));
        QCOMPARE(files(), QStringList{"sea.gif"});
        QVERIFY(file1()->selectedItems().isEmpty());
        QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
        QCOMPARE(list1()->count(), 0);

        const QPoint top = dir1()->visualItemRect(dir1()->item(0)).center();
        QTest::mouseClick(dir1()->viewport(), Qt::LeftButton, {}, top);
        QTest::mouseDClick(dir1()->viewport(), Qt::LeftButton, {}, top);
        QCOMPARE(dir1()->path(), a_);
        QCOMPARE(files(), QStringList{});
        QVERIFY(boxes_.shown.isEmpty());
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
