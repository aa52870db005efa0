#include "app/form1.h"
#include "browser/volumes.h"
#include "core/runtimeerror.h"
#include "host/recordinghost.h"
#include "photolist/photolist.h"
#include "photolist/photolistwidget.h"
#include "support/scriptedboxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace slidemill;

namespace {

// One volume, the root, whose current folder is the process's.
class OneVolume : public Volumes {
public:
    QList<Volume> list() override { return {{QStringLiteral("root"), QStringLiteral("/")}}; }
    QString currentFolder(const QString&) override { return QDir::currentPath(); }
};

class SizedLoader : public PictureLoader {
public:
    Picture load(const QString& path) override {
        Picture p;
        p.path = path;
        p.widthHimetric = 16933;
        p.heightHimetric = 12700;
        return p;
    }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    test::ScriptedMessageBoxes boxes_;
    OneVolume volumes_;
    SizedLoader loader_;
    QList<RecordingHost*> hosts_;
    std::function<std::unique_ptr<PresentationHost>()> newHost_;
    std::unique_ptr<PresentationHost> makeHost() { return newHost_(); }
    std::unique_ptr<Form1> form_;

    template <class T> T* control(const char* name) {
        T* w = form_->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QListWidget* file1() { return control<QListWidget>("File1"); }
    PhotoListWidget* list1() { return control<PhotoListWidget>("List1"); }
    QString label1() { return control<QLabel>("Label1")->text(); }
    QString path(const QString& name) { return QDir::currentPath() + QLatin1Char('/') + name; }

    void click(const char* name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }
    void doubleClickRow(QListWidget* list, int row) {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    // Selects the given rows of File1 by Ctrl+click, the first by a plain click.
    void selectFiles(const QList<int>& rows) {
        bool first = true;
        for (int row : rows) {
            clickRow(file1(), row, first ? Qt::NoModifier : Qt::ControlModifier);
            first = false;
        }
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        for (const char* name : {"b.png", "a.GIF", "c.jpg", "notes.txt", "d.jpeg", "e.emf"}) {
            QFile f(dir_.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir::setCurrent(dir_.path()));
        newHost_ = [this] {
            auto host = std::make_unique<RecordingHost>();
            hosts_ << host.get();
            return host;
        };
    }

    void init() {
        boxes_.shown.clear();
        boxes_.replies.clear();
        hosts_.clear();
        form_ = std::make_unique<Form1>(
            Services{boxes_, volumes_, loader_, [this] { return makeHost(); }});
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    void startsWithItsDesign_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("Check1") << "Check1"
                                << "&Description" << QRect(3840, 4320, 1215, 255);
        QTest::newRow("cmdExit") << "cmdExit"
                                 << "E&xit" << QRect(7080, 4320, 1215, 375);
        QTest::newRow("Command1") << "Command1"
                                  << "&Two Photo One Slide" << QRect(1920, 4080, 1695, 615);
        QTest::newRow("cmdDown") << "cmdDown"
                                 << "&DOWN" << QRect(4920, 3120, 735, 495);
        QTest::newRow("cmdUp") << "cmdUp"
                               << "&UP" << QRect(4920, 2520, 735, 495);
        QTest::newRow("List1") << "List1"
                               << "" << QRect(5760, 120, 2535, 3765);
        QTest::newRow("cmdDel") << "cmdDel"
                                << "<" << QRect(4920, 1200, 735, 375);
        QTest::newRow("cmdAdd") << "cmdAdd"
                                << ">" << QRect(4920, 720, 735, 375);
        QTest::newRow("File1") << "File1"
                               << "" << QRect(2520, 120, 2295, 3795);
        QTest::newRow("Dir1") << "Dir1"
                              << "" << QRect(120, 480, 2295, 3465);
        QTest::newRow("Drive1") << "Drive1"
                                << "" << QRect(120, 120, 2295, 315);
        QTest::newRow("cmdOneOne") << "cmdOneOne"
                                   << "&One Photo One Slide" << QRect(120, 4080, 1695, 615);
        QTest::newRow("Image1") << "Image1"
                                << "" << QRect(5040, 1920, 375, 375);
        QTest::newRow("Label2") << "Label2"
                                << "slidemill@example.org" << QRect(6240, 4680, 2175, 255);
        QTest::newRow("Label1") << "Label1"
                                << "Added 0" << QRect(5760, 3960, 2535, 255);
    }
    void startsWithItsDesign() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QWidget* w = form_->findChild<QWidget*>(name);
        QVERIFY(w);
        const double scale = form_->logicalDpiX() / 1440.0;
        auto px = [scale](int t) { return qRound(t * scale); };
        const QRect designed(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
        if (name == QLatin1String("Check1")) {
            // It may widen for a wide font, never past the Exit button.
            QCOMPARE(w->pos(), designed.topLeft());
            QCOMPARE(w->height(), designed.height());
            QVERIFY(w->width() >= designed.width());
            QVERIFY(w->geometry().right() < px(7080));
        } else {
            QCOMPARE(w->geometry(), designed);
        }
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            QCOMPARE(b->text(), caption);
        if (auto* l = qobject_cast<QLabel*>(w); l && name != QLatin1String("Image1"))
            QCOMPARE(l->text(), caption);
        QCOMPARE(w->isVisible(), name != QLatin1String("Image1"));
        QCOMPARE(form_->size(), QSize(px(8490), px(4875)));
        QCOMPARE(form_->windowTitle(), QStringLiteral("Slidemill"));
    }

    void startsEmptyInTheProcessFolder() {
        QCOMPARE(list1()->count(), 0);
        QCOMPARE(label1(), QStringLiteral("Added 0"));
        QCOMPARE(control<QCheckBox>("Check1")->isChecked(), false);
        // The pattern, case-insensitive; .jpeg and .txt are not pictures here.
        QStringList names;
        for (int i = 0; i < file1()->count(); ++i)
            names << file1()->item(i)->text();
        QCOMPARE(names, QStringList({"a.GIF", "b.png", "c.jpg", "e.emf"}));
    }

    void tabVisitsTheControlsInOrder() {
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        control<QWidget>("Drive1")->setFocus();
        QStringList seen{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen,
                 QStringList({"Drive1", "Dir1", "File1", "cmdAdd", "cmdDel", "cmdUp", "cmdDown",
                              "List1", "cmdOneOne", "Command1", "cmdExit", "Check1", "Drive1"}));
    }

    void accessibleNames() {
        QCOMPARE(list1()->accessibleName(), QStringLiteral("Photo list"));
        QVERIFY(!control<QWidget>("cmdAdd")->accessibleDescription().isEmpty());
    }

    void addsSelectedFilesInListOrder() {
        list1()->addItem(QStringLiteral("/earlier.png"));
        selectFiles({3, 0, 2});
        click("cmdAdd");
        QCOMPARE(list1()->texts(),
                 QStringList({"/earlier.png", path("a.GIF"), path("c.jpg"), path("e.emf")}));
        QCOMPARE(label1(), QStringLiteral("Added 4"));
        QCOMPARE(file1()->selectedItems().size(), 3); // File1 keeps its selection
    }

    void addsNothingWithoutCurrentFile() {
        QCOMPARE(file1()->currentRow(), -1);
        click("cmdAdd");
        QCOMPARE(list1()->count(), 0);
        QCOMPARE(list1()->horizontalExtent(), 0);
    }

    void addsNothingWhenCurrentFileIsNotSelected() {
        clickRow(file1(), 1);
        clickRow(file1(), 1, Qt::ControlModifier); // current, no longer selected
        QCOMPARE(file1()->selectedItems().size(), 0);
        list1()->addItem(QStringLiteral("/a/rather/long/path/to/a/picture.png"));
        click("cmdAdd");
        QCOMPARE(list1()->count(), 1);
        // Yet the extent is recomputed from what the list holds.
        QCOMPARE(list1()->horizontalExtent(),
                 listExtent(list1()->texts(), QFontMetricsF(form_->font())));
    }

    void addsTheSameFileTwice() {
        selectFiles({1});
        click("cmdAdd");
        doubleClickRow(file1(), 1);
        QCOMPARE(list1()->texts(), QStringList({path("b.png"), path("b.png")}));
        QCOMPARE(label1(), QStringLiteral("Added 2"));
    }

    void joinsPathsAsTheyStand_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << "/home/ann/Pictures"
                                << "/home/ann/Pictures/x.png";
        QTest::newRow("root keeps both separators") << "/"
                                                    << "//x.png";
        QTest::newRow("trailing separator") << "/media/cam/"
                                            << "/media/cam//x.png";
    }
    void joinsPathsAsTheyStand() {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        QCOMPARE(photoPath(folder, QStringLiteral("x.png")), expected);
    }

    void removesOnlyTheCurrentEntry() {
        list1()->addItems({"/p/0.png", "/p/1.png", "/p/2.png", "/p/3.png"});
        clickRow(list1(), 0);
        clickRow(list1(), 3, Qt::ControlModifier);
        clickRow(list1(), 2, Qt::ControlModifier); // current: 2, selected 0, 3, 2
        click("cmdDel");
        QCOMPARE(list1()->texts(), QStringList({"/p/0.png", "/p/1.png", "/p/3.png"}));
        QCOMPARE(label1(), QStringLiteral("Added 3"));
        QVERIFY(list1()->item(0)->isSelected());
        QVERIFY(list1()->item(2)->isSelected());
    }

    void removesNothingWithoutCurrentEntry() {
        list1()->addItems({"/p/0.png", "/p/1.png"});
        control<QLabel>("Label1")->setText(QStringLiteral("untouched"));
        click("cmdDel");
        QCOMPARE(list1()->count(), 2);
        QCOMPARE(label1(), QStringLiteral("untouched"));
    }

    void doubleClickRemovesTheLastEntry() {
        selectFiles({0});
        click("cmdAdd");
        QCOMPARE(label1(), QStringLiteral("Added 1"));
        doubleClickRow(list1(), 0);
        QCOMPARE(list1()->count(), 0);
        QCOMPARE(label1(), QStringLiteral("Added 0"));
    }

    void extentFollowsAdditionsOnly() {
        const QString wide = QStringLiteral("/a/very/long/folder/name/that/goes/on/and/on");
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("sub"))));
        list1()->addItem(wide + QStringLiteral("/x.png"));
        selectFiles({0});
        click("cmdAdd");
        const int widest =
            listExtent({wide + QStringLiteral("/x.png")}, QFontMetricsF(form_->font()));
        QCOMPARE(list1()->horizontalExtent(), widest);
        QVERIFY(widest > list1()->viewport()->width());
        QCOMPARE(list1()->horizontalScrollBar()->maximum(), widest - list1()->viewport()->width());
        // Removing the widest entry leaves the extent; the next addition shrinks it.
        list1()->setCurrentRow(0);
        click("cmdDel");
        QCOMPARE(list1()->horizontalExtent(), widest);
        doubleClickRow(file1(), 0);
        QCOMPARE(list1()->horizontalExtent(),
                 listExtent(list1()->texts(), QFontMetricsF(form_->font())));
        QVERIFY(list1()->horizontalExtent() < widest);
    }

    void extentRoundsHalfToEven() {
        QCOMPARE(listExtent({}, QFontMetricsF(form_->font())), 0);
        const QFontMetricsF fm(QFontMetricsF(form_->font()));
        const double w = fm.horizontalAdvance(QStringLiteral("abc")) + 10.0;
        QCOMPARE(listExtent({QStringLiteral("abc")}, fm), qint32(std::nearbyint(float(w))));
    }

    void refusesToGrowPastTheLargestList() {
        QStringList many;
        for (int i = 0; i < Form1::kMaxEntries - 1; ++i)
            many << QStringLiteral("/p/%1.png").arg(i);
        list1()->addItems(many);
        selectFiles({0, 1});
        click("cmdAdd");
        QCOMPARE(list1()->count(), Form1::kMaxEntries - 1);
        QCOMPARE(boxes_.shown.size(), 1);
        QVERIFY(boxes_.shown[0].text.contains(QLatin1String("32767")));
        selectFiles({0});
        click("cmdAdd");
        QCOMPARE(list1()->count(), Form1::kMaxEntries);
        QCOMPARE(label1(), QStringLiteral("Added 32767"));
    }

    void reportsAnErrorAndKeepsTheList() {
        newHost_ = []() -> std::unique_ptr<PresentationHost> {
            throw RuntimeError(errPathFileAccess, QStringLiteral("cannot start"),
                               QStringLiteral("/docs"));
        };
        selectFiles({0, 1});
        click("cmdAdd");
        click("cmdOneOne");
        QCOMPARE(boxes_.shown.size(), 1);
        QCOMPARE(boxes_.shown[0].title, QStringLiteral("Slidemill"));
        QCOMPARE(boxes_.shown[0].text,
                 QStringLiteral("Run-time error '75':\n\ncannot start\n\n/docs"));
        QCOMPARE(list1()->count(), 2);
        QVERIFY(form_->isVisible());
        initTestCase(); // restore the recording host factory
    }

    void accessKeysPressButtons() {
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        // Through the window, so that shortcuts are looked up as for real key presses.
        QWindow* window = form_->windowHandle();
        // A button's access key animates a click, which lands a moment later.
        QTest::keyClick(window, Qt::Key_T, Qt::AltModifier);
        QTRY_COMPARE(hosts_.size(), 1);
        QTest::keyClick(window, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(hosts_.size(), 2);
        QTest::keyClick(window, Qt::Key_X, Qt::AltModifier);
        QTRY_VERIFY(!form_->isVisible());
    }

    void exitClosesTheWindow() {
        click("cmdExit");
        QVERIFY(!form_->isVisible());
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
