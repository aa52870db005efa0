#include "app/albumoptionspanel.h"
#include "app/albumwindow.h"
#include "app/commandline.h"
#include "app/form1.h"
#include "app/slidesketch.h"
#include "browser/filelist.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/pptx/slidelayout.h"
#include "host/pptx/units.h"
#include "photolist/photolist.h"
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "pictures/thumbnailcache.h"
#include "slides/picturemetrics.h"
#include "support/fixtures.h"
#include "support/formdriver.h"
#include "support/hostile.h"
#include "support/recordinghost.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

using namespace slidemill;

namespace {

// A host whose build waits at its start until the test lets it go, and tells how it ended.
// The build calls it on its own thread.
class HeldHost : public RecordingHost {
public:
    explicit HeldHost(QSemaphore& gate) : gate_(gate) {}
    ~HeldHost() override {
        if (endedWith)
            *endedWith = calls.value(calls.size() - 1);
    }
    void createApplication() override {
        gate_.acquire();
        RecordingHost::createApplication();
    }
    // Read by the test once the build's thread has ended.
    QString* endedWith = nullptr;

private:
    QSemaphore& gate_;
};

// A host that leaves its conversation behind: the window lets its host go with its build.
class KeptHost : public RecordingHost {
public:
    explicit KeptHost(std::shared_ptr<QStringList> kept) : kept_(std::move(kept)) {}
    ~KeptHost() override { *kept_ = calls; }

private:
    std::shared_ptr<QStringList> kept_;
};

// A drag from a file manager, dropped on a list: true when the list took it.
bool dropOn(QAbstractItemView* list, const QMimeData& data) {
    QWidget* on = list->viewport();
    const QPoint at = on->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(on, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(on, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(on, &drop);
    return drop.isAccepted();
}

QMimeData* filesDragged(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// Sets a control of the album window's options as the user would leave it.
void setControl(QWidget* dialog, const QString& name, const QVariant& value) {
    QWidget* w = dialog->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    if (auto* box = qobject_cast<QComboBox*>(w))
        box->setCurrentIndex(value.toInt());
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(value.toString());
    else if (auto* check = qobject_cast<QCheckBox*>(w))
        check->setChecked(value.toBool());
    else if (auto* spin = qobject_cast<QSpinBox*>(w))
        spin->setValue(value.toInt());
    else
        QFAIL(qPrintable(name));
}

// The lines of a build's conversation that place something, one slide a list.
QList<QStringList> placedBySlide(const QStringList& calls) {
    static const QStringList placing{"Shapes.AddPicture",        "PictureFormat.Crop", "Rotation =",
                                     "PictureFormat.ColorType",  "Shapes.AddTextbox",  "Fill =",
                                     "TextFrame.VerticalAnchor", "TextRange.Text",     "Font.Size",
                                     "ParagraphFormat.Alignment"};
    QList<QStringList> slides;
    for (const QString& call : calls) {
        if (call.startsWith(QLatin1String("Slides.Add(")))
            slides << QStringList();
        else if (!slides.isEmpty() &&
                 std::ranges::any_of(placing, [&](const QString& p) { return call.startsWith(p); }))
            slides.last() << call;
    }
    return slides;
}

// The same lines of a sketched slide.
QStringList placedIn(const SketchSlide& slide) {
    const auto n = [](double v) { return RecordingHost::number(v); };
    QStringList lines;
    for (const SketchShape& s : slide.shapes) {
        const QRectF& f = s.frame;
        if (s.kind == SketchShape::Kind::Picture) {
            lines << QStringLiteral("Shapes.AddPicture(%1, 0, -1, %2, %3, %4, %5)")
                         .arg(s.path, n(f.left()), n(f.top()), n(f.width()), n(f.height()));
            if (!s.crop.isNull())
                lines << QStringLiteral("PictureFormat.Crop = %1, %2, %3, %4")
                             .arg(n(s.crop.left()), n(s.crop.top()), n(s.crop.right()),
                                  n(s.crop.bottom()));
            if (s.rotation != 0)
                lines << QStringLiteral("Rotation = %1").arg(n(s.rotation));
            if (s.grey)
                lines << QStringLiteral("PictureFormat.ColorType = 2");
            continue;
        }
        lines << QStringLiteral("Shapes.AddTextbox(1, %1, %2, %3, %4)")
                     .arg(n(f.left()), n(f.top()), n(f.width()), n(f.height()));
        if (s.fill >= 0)
            lines << QStringLiteral("Fill = %1, %2")
                         .arg(RecordingHost::colour(std::uint32_t(s.fill)), n(s.transparency));
        if (s.anchor != kAnchorTop)
            lines << QStringLiteral("TextFrame.VerticalAnchor = %1").arg(s.anchor);
        lines << QStringLiteral("TextRange.Text = ") + s.text;
        // A placeholder's size is its layout's, not the build's.
        if (s.kind == SketchShape::Kind::Textbox)
            lines << QStringLiteral("Font.Size = ") + n(s.fontSize);
        if (s.alignment != kAlignLeft)
            lines << QStringLiteral("ParagraphFormat.Alignment = %1").arg(s.alignment);
    }
    return lines;
}

// The picture a tool tip shows.
QImage pictureIn(const QString& toolTip) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("base64,([A-Za-z0-9+/=]+)")).match(toolTip);
    return m.hasMatch() ? QImage::fromData(QByteArray::fromBase64(m.captured(1).toLatin1()))
                        : QImage();
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    // A photo, a turned one and a file that is no picture.
    QTemporaryDir photos_;
    // The desktop's shared thumbnails, where a row needs them.
    QTemporaryDir thumbnailsDir_;
    const ThumbnailCache thumbnails_{thumbnailsDir_.path()};
    std::unique_ptr<test::FormDriver> w_;
    QList<RecordingHost*> hosts_;
    // Each build's conversation, once its host is gone.
    QList<std::shared_ptr<QStringList>> conversations_;

    QListWidget* file1() { return w_->list("File1"); }
    PhotoListView* list1() { return w_->control<PhotoListView>("List1"); }
    PhotoListModel* photos() { return list1()->photos(); }
    QString label1() { return w_->control<QLabel>("Label1")->text(); }
    QString path(const QString& name) { return dir_.path() + QLatin1Char('/') + name; }
    void add(const QList<int>& rows) {
        w_->selectRows(file1(), rows);
        w_->click("cmdAdd");
    }
    int extent() { return listExtent(photos()->shownTexts(), QFontMetricsF(w_->form->font())); }

private Q_SLOTS:
    void initTestCase() {
        for (const char* name : {"b.png", "a.GIF", "c.jpg", "notes.txt", "d.psd", "e.emf"}) {
            QFile f(dir_.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // Upright, the red quarter is top left.
        auto marked = [](int w, int h) {
            QImage image(w, h, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter(&image).fillRect(0, 0, w / 2, h / 2, Qt::red);
            return image;
        };
        QVERIFY(!test::writeTurned(photos_.path(), "a.jpg", marked(640, 480), "jpeg", 1).isEmpty());
        QVERIFY(!test::writeTurned(photos_.path(), "b.jpg", marked(480, 640), "jpeg", 6).isEmpty());
        QVERIFY(!test::writeBytes(photos_.path(), "c.jpg", "Dear diary,\n").isEmpty());
    }
    void init() {
        hosts_.clear();
        conversations_.clear();
        w_ = std::make_unique<test::FormDriver>();
        w_->volumes.add(QStringLiteral("Fake"), dir_.path());
        w_->newHost = [this] {
            conversations_ << std::make_shared<QStringList>();
            auto host = std::make_unique<KeptHost>(conversations_.last());
            hosts_ << host.get();
            return host;
        };
        QVERIFY(w_->open());
    }
    void cleanup() {
        QToolTip::hideText();
        w_.reset();
    }

    void startsWithItsDesign_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        const struct {
            const char* name;
            const char* caption;
            QRect twips;
        } design[] = {
            {"Check1", "&Description", {3840, 4320, 1215, 255}},
            {"cmdExit", "E&xit", {7080, 4320, 1215, 375}},
            {"Command1", "&Two Photo One Slide", {1920, 4080, 1695, 615}},
            {"cmdDown", "&DOWN", {4920, 3120, 735, 495}},
            {"cmdUp", "&UP", {4920, 2520, 735, 495}},
            {"List1", "", {5760, 120, 2535, 3765}},
            {"cmdDel", "<", {4920, 1200, 735, 375}},
            {"cmdAdd", ">", {4920, 720, 735, 375}},
            {"File1", "", {2520, 120, 2295, 3795}},
            {"Dir1", "", {120, 480, 2295, 3465}},
            {"Drive1", "", {120, 120, 2295, 315}},
            {"cmdOneOne", "&One Photo One Slide", {120, 4080, 1695, 615}},
            {"Image1", "", {5040, 1920, 375, 375}},
            {"Label2", "slidemill@example.org", {6240, 4680, 2175, 255}},
            {"Label1", "Added 0", {5760, 3960, 2535, 255}},
        };
        for (const auto& d : design)
            QTest::newRow(d.name) << QString::fromLatin1(d.name) << QString::fromUtf8(d.caption)
                                  << d.twips;
    }
    void startsWithItsDesign() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QWidget* w = w_->control<QWidget>(qPrintable(name));
        const double scale = w_->form->logicalDpiX() / 1440.0;
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
        QCOMPARE(w_->form->size(), QSize(px(8490), px(4875)));
        QCOMPARE(w_->form->windowTitle(), QStringLiteral("Slidemill"));
    }

    void startsEmptyOnThePictures() {
        QCOMPARE(photos()->count(), 0);
        QCOMPARE(w_->control<QCheckBox>("Check1")->isChecked(), false);
        // The pattern, case-insensitive; .psd and .txt are not pictures here.
        QCOMPARE(w_->texts(file1()), QStringList({"a.GIF", "b.png", "c.jpg", "e.emf"}));
        QCOMPARE(list1()->accessibleName(), QStringLiteral("Photo list"));
        QVERIFY(!w_->control<QWidget>("cmdAdd")->accessibleDescription().isEmpty());
    }

    void tabVisitsTheControlsInOrder() {
        QVERIFY(QTest::qWaitForWindowActive(w_->form.get()));
        QTRY_VERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Drive1"));
        QStringList seen{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen,
                 QStringList({"Drive1", "Dir1", "File1", "cmdAdd", "cmdDel", "cmdUp", "cmdDown",
                              "List1", "cmdOneOne", "Command1", "cmdExit", "Check1", "Drive1"}));
    }

    void addsSelectedFilesInListOrder() {
        photos()->append({QStringLiteral("/earlier.png")});
        add({3, 0, 2});
        QCOMPARE(photos()->paths(),
                 QStringList({"/earlier.png", path("a.GIF"), path("c.jpg"), path("e.emf")}));
        QCOMPARE(label1(), QStringLiteral("Added 4"));
        QCOMPARE(file1()->selectedItems().size(), 3); // File1 keeps its selection
        // The same file again, by a double-click.
        w_->doubleClickRow(file1(), 3);
        QCOMPARE(photos()->paths().last(), path("e.emf"));
        QCOMPARE(label1(), QStringLiteral("Added 5"));
    }

    void addsNothingWithoutASelectedCurrentFile() {
        QCOMPARE(file1()->currentRow(), -1);
        w_->click("cmdAdd");
        QCOMPARE(photos()->count(), 0);
        QCOMPARE(list1()->horizontalExtent(), 0);
        w_->clickRow(file1(), 1);
        w_->clickRow(file1(), 1, Qt::ControlModifier); // current, no longer selected
        QCOMPARE(file1()->selectedItems().size(), 0);
        photos()->append({QStringLiteral("/a/rather/long/path/to/a/picture.png")});
        w_->click("cmdAdd");
        QCOMPARE(photos()->count(), 1);
        // Yet the extent is recomputed from what the list holds.
        QCOMPARE(list1()->horizontalExtent(), extent());
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
        QTEST(photoPath(folder, QStringLiteral("x.png")), "expected");
    }

    void removesOnlyTheCurrentEntry() {
        photos()->append({"/p/0.png", "/p/1.png", "/p/2.png", "/p/3.png"});
        w_->selectRows(list1(), {0, 3, 2}); // current: 2
        w_->click("cmdDel");
        QCOMPARE(photos()->paths(), QStringList({"/p/0.png", "/p/1.png", "/p/3.png"}));
        QCOMPARE(label1(), QStringLiteral("Added 3"));
        QCOMPARE(photos()->selectedRows(), QList<int>({0, 2}));
        // Then no entry is current: a second press removes nothing, and the label is left
        // alone, until the user picks an entry.
        QCOMPARE(photos()->currentRow(), -1);
        w_->control<QLabel>("Label1")->setText(QStringLiteral("untouched"));
        w_->click("cmdDel");
        QCOMPARE(photos()->count(), 3);
        QCOMPARE(label1(), QStringLiteral("untouched"));
        w_->clickRow(list1(), 1);
        w_->click("cmdDel");
        QCOMPARE(photos()->paths(), QStringList({"/p/0.png", "/p/3.png"}));
    }

    void doubleClickRemovesTheLastEntry() {
        add({0});
        QCOMPARE(label1(), QStringLiteral("Added 1"));
        w_->doubleClickRow(list1(), 0);
        QCOMPARE(photos()->count(), 0);
        QCOMPARE(label1(), QStringLiteral("Added 0"));
    }

    void extentFollowsAdditionsOnly() {
        const QString wide = QStringLiteral("/a/very/long/folder/name/that/goes/on/and/on/x.png");
        photos()->append({wide});
        add({0});
        const int widest = listExtent({wide}, QFontMetricsF(w_->form->font()));
        QCOMPARE(list1()->horizontalExtent(), widest);
        QVERIFY(widest > list1()->viewport()->width());
        QCOMPARE(list1()->horizontalScrollBar()->maximum(), widest - list1()->viewport()->width());
        // Removing the widest entry leaves the extent; the next addition shrinks it.
        photos()->setCurrentRow(0);
        w_->click("cmdDel");
        QCOMPARE(list1()->horizontalExtent(), widest);
        w_->doubleClickRow(file1(), 0);
        QCOMPARE(list1()->horizontalExtent(), extent());
        QVERIFY(list1()->horizontalExtent() < widest);
    }

    void refusesToGrowPastTheLargestList() {
        QStringList many;
        for (int i = 0; i < Form1::kMaxEntries - 1; ++i)
            many << QStringLiteral("/p/%1.png").arg(i);
        photos()->append(many);
        add({0, 1});
        QCOMPARE(photos()->count(), Form1::kMaxEntries - 1);
        QCOMPARE(w_->boxes.shown.size(), 1);
        QVERIFY(w_->boxes.shown[0].text.contains(QLatin1String("32767")));
        add({0});
        QCOMPARE(photos()->count(), Form1::kMaxEntries);
        QCOMPARE(label1(), QStringLiteral("Added 32767"));
    }

    // After a build the user learns where the deck is, unless it simply opened. The files
    // here are empty, so a build of one stops on it with error 481.
    void tellsWhereTheDeckWent_data() {
        QTest::addColumn<bool>("onePicture");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<int>("style"); // -1: no box
        QTest::addColumn<QString>("text");
        const QString deck = QStringLiteral("/docs/Presentation 1.pptx");
        const QString where = QStringLiteral("File: Presentation 1.pptx\nFolder: /docs");
        const QString openThere =
            QStringLiteral("Open it from that folder with a presentation application.");
        const QString error =
            QStringLiteral("Run-time error '481':\n\nInvalid picture\n\n") + path("a.GIF");
        const QString savedBefore = QStringLiteral("\n\nThe slides made before the error are "
                                                   "saved.\n") +
                                    where;
        QTest::newRow("opened") << false << deck << true << -1 << QString();
        QTest::newRow("not opened")
            << false << deck << false << 64
            << QStringLiteral("The presentation is saved, but the desktop could not open "
                              "it.\n\n%1\n\n%2")
                   .arg(where, openThere);
        QTest::newRow("error, saved and opened")
            << true << deck << true << 48 << error + savedBefore;
        QTest::newRow("error, saved, not opened")
            << true << deck << false << 48
            << error + savedBefore + QStringLiteral("\n\nThe desktop could not open the file. ") +
                   openThere;
        QTest::newRow("error, nothing saved") << true << QString() << false << 48 << error;
        QTest::newRow("line break in the name")
            << false << QStringLiteral("/docs/a\nb.pptx") << false << 64
            << QStringLiteral("The presentation is saved, but the desktop could not open "
                              "it.\n\nFile: a\\nb.pptx\nFolder: /docs\n\n%1")
                   .arg(openThere);
    }
    void tellsWhereTheDeckWent() {
        QFETCH(bool, onePicture);
        QFETCH(QString, saved);
        QFETCH(bool, opened);
        QFETCH(int, style);
        w_->newHost = [&] {
            auto host = std::make_unique<RecordingHost>();
            host->saved = saved;
            host->opened = opened;
            return host;
        };
        if (onePicture)
            add({0});
        QVERIFY(w_->build("cmdOneOne"));
        QCOMPARE(w_->boxes.shown.size(), style < 0 ? 0 : 1);
        if (style < 0)
            return;
        QCOMPARE(w_->boxes.shown[0].style, style);
        QCOMPARE(w_->boxes.shown[0].title, QStringLiteral("Slidemill"));
        QTEST(w_->boxes.shown[0].text, "text");
        QCOMPARE(photos()->count(), onePicture ? 1 : 0);
    }

    // While a build runs on its own thread, what the user does to the window is dropped, not
    // done afterwards; the build, move and Exit buttons are disabled and the window stays open.
    void inputDuringABuildIsDropped_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("files dropped on List1") << "drop on List1";
        QTest::newRow("build button again") << "click cmdOneOne";
        QTest::newRow("a control left enabled") << "click Check1";
        QTest::newRow("a key") << "space on Check1";
        QTest::newRow("an access key") << "Alt+D";
        QTest::newRow("the wheel") << "wheel on List1";
        QTest::newRow("the close box") << "close";
    }
    void inputDuringABuildIsDropped() {
        QFETCH(QString, input);
        QStringList many;
        for (int i = 0; i < 200; ++i)
            many << QStringLiteral("/p/%1.png").arg(i);
        photos()->append(many);
        auto* check1 = w_->control<QCheckBox>("Check1");
        QScrollBar* scroll = list1()->verticalScrollBar();
        QTRY_VERIFY(scroll->maximum() > 0);
        QSemaphore gate;
        w_->newHost = [&] {
            auto host = std::make_unique<HeldHost>(gate);
            hosts_ << host.get();
            return host;
        };
        check1->setFocus();
        w_->click("cmdOneOne");
        QVERIFY(w_->form->building());
        for (const char* name : {"cmdOneOne", "Command1", "cmdUp", "cmdDown", "cmdExit"})
            QVERIFY2(!w_->control<QWidget>(name)->isEnabled(), name);

        if (input == QLatin1String("click cmdOneOne")) {
            test::FormDriver::postClick(w_->control<QWidget>("cmdOneOne"));
        } else if (input == QLatin1String("click Check1")) {
            test::FormDriver::postClick(check1);
        } else if (input == QLatin1String("space on Check1")) {
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                QCoreApplication::postEvent(check1, new QKeyEvent(type, Qt::Key_Space, {}, " "));
        } else if (input == QLatin1String("Alt+D")) {
            QVERIFY(QTest::qWaitForWindowActive(w_->form.get()));
            QTest::keyClick(w_->form->windowHandle(), Qt::Key_D, Qt::AltModifier);
        } else if (input == QLatin1String("wheel on List1")) {
            const QPointF at = QRectF(list1()->viewport()->rect()).center();
            QCoreApplication::postEvent(list1()->viewport(),
                                        new QWheelEvent(at, list1()->viewport()->mapToGlobal(at),
                                                        {}, {0, -360}, Qt::NoButton, {},
                                                        Qt::NoScrollPhase, false));
        } else if (input == QLatin1String("close")) {
            QVERIFY(!w_->form->close());
        } else if (input == QLatin1String("drop on List1")) {
            const std::unique_ptr<QMimeData> files(filesDragged({path("b.png")}));
            QVERIFY(!dropOn(list1(), *files));
        }
        QTest::qWait(50);
        QVERIFY(w_->form->building());
        gate.release();
        QVERIFY(w_->waitForBuild());
        // An access key's click lands a moment after the key.
        QTest::qWait(200);

        QCOMPARE(hosts_.size(), 1);
        QVERIFY(w_->form->isVisible());
        QVERIFY(!check1->isChecked());
        QCOMPARE(scroll->value(), 0);
        QVERIFY(w_->control<QWidget>("cmdOneOne")->isEnabled());
        QVERIFY(w_->control<QWidget>("cmdExit")->isEnabled());
        // Input given afterwards is taken as ever.
        test::FormDriver::postClick(check1);
        QTRY_VERIFY(check1->isChecked());
        QCOMPARE(photos()->count(), 200);
    }

    // The window cannot go while its build runs: Exit is disabled and a close refused. If it
    // goes all the same (the application is told to quit), it waits for the build to stop
    // after the slide it is making, and the host is ended as after Cancel.
    void theWindowOutlivesItsBuild() {
        photos()->append({path("a.GIF"), path("b.png")});
        QSemaphore gate;
        QString ended;
        w_->newHost = [&] {
            auto host = std::make_unique<HeldHost>(gate);
            host->endedWith = &ended;
            return host;
        };
        w_->click("cmdOneOne");
        QVERIFY(w_->form->building());
        QVERIFY(!w_->control<QWidget>("cmdExit")->isEnabled());
        QVERIFY(!w_->form->close());
        QVERIFY(w_->form->isVisible());
        std::thread later([&gate] {
            QThread::msleep(100);
            gate.release();
        });
        w_->form.reset();
        later.join();
        QVERIFY2(ended.startsWith(QLatin1String("End")), qPrintable(ended));
    }

    // A folder and a picture whose names are not UTF-8: both listed, shown with \xNN, the
    // picture added with ">", and the path the build measures is the one on disk, byte for byte.
    void namesThatAreNotUtf8() {
        QTemporaryDir root;
        const QByteArray folder = QFile::encodeName(root.path()) + "/caf\xe9";
        const QByteArray file = folder + "/caf\xe9.jpg";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QString made =
            test::makePicture(root.path(), QStringLiteral("made.jpg"), "jpg", 8, 6);
        QVERIFY(!made.isEmpty());
        QVERIFY(::rename(QFile::encodeName(made).constData(), file.constData()) == 0);

        w_ = std::make_unique<test::FormDriver>();
        w_->volumes.add(QStringLiteral("Fake"), root.path());
        w_->newHost = [this] {
            auto host = std::make_unique<RecordingHost>();
            hosts_ << host.get();
            return host;
        };
        QVERIFY(w_->open());
        auto* dir1 = w_->control<QListWidget>("Dir1");
        QCOMPARE(dir1->item(dir1->count() - 1)->text().trimmed(), QStringLiteral("caf\\xe9"));
        w_->doubleClickRow(dir1, dir1->count() - 1);
        QCOMPARE(w_->texts(file1()), QStringList{QStringLiteral("caf\\xe9.jpg")});
        add({0});
        QCOMPARE(photos()->count(), 1);
        QCOMPARE(nativePath(photos()->paths()[0]), file);
        QCOMPARE(w_->texts(list1()),
                 QStringList{printablePath(pathFromNative(QFile::encodeName(root.path()))) +
                             QStringLiteral("/caf\\xe9/caf\\xe9.jpg")});

        QVERIFY(w_->build("cmdOneOne"));
        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        QCOMPARE(w_->loader.asked().size(), 1);
        QCOMPARE(nativePath(w_->loader.asked()[0]), file);
        QCOMPARE(nativePath(w_->form->image1()->path), file);
    }

    void reportsAnErrorAndKeepsTheList() {
        w_->newHost = []() -> std::unique_ptr<SavingHost> {
            throw RuntimeError(errPathFileAccess, QStringLiteral("cannot start"),
                               QStringLiteral("/docs"));
        };
        add({0, 1});
        QVERIFY(w_->build("cmdOneOne"));
        QCOMPARE(w_->boxes.shown.size(), 1);
        QCOMPARE(w_->boxes.shown[0].title, QStringLiteral("Slidemill"));
        QCOMPARE(w_->boxes.shown[0].text,
                 QStringLiteral("Run-time error '75':\n\ncannot start\n\n/docs"));
        QCOMPARE(photos()->count(), 2);
        QVERIFY(w_->form->isVisible());
    }

    // DOWN and Description share the letter D: Alt+D moves the focus between them and
    // presses neither.
    void altDMovesTheFocusBetweenDownAndDescription() {
        QVERIFY(QTest::qWaitForWindowActive(w_->form.get()));
        photos()->append({"/p/0.png", "/p/1.png"});
        photos()->setSelected(0, true);
        QStringList focused;
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(w_->form->windowHandle(), Qt::Key_D, Qt::AltModifier);
            focused << QApplication::focusWidget()->objectName();
        }
        std::sort(focused.begin(), focused.end());
        QCOMPARE(focused, QStringList({"Check1", "cmdDown"}));
        QTest::qWait(200); // where a click would land
        QVERIFY(!w_->control<QCheckBox>("Check1")->isChecked());
        QCOMPARE(photos()->paths(), QStringList({"/p/0.png", "/p/1.png"}));
    }

    // The resolution is chosen on either build button's context menu, opened from the keyboard
    // too; 220 ppi until then, and the choice is what the next build and the next run use.
    void resolutionFromTheBuildButtonsMenu() {
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("slidemill.conf")), QSettings::IniFormat);
        w_.reset();
        w_ = std::make_unique<test::FormDriver>();
        w_->settings = &settings;
        w_->newHost = [] { return std::make_unique<RecordingHost>(); };
        QVERIFY(w_->open());
        auto* menu = w_->form->findChild<QMenu*>(QStringLiteral("resolutionMenu"));
        QVERIFY(menu);
        const auto checked = [menu] {
            QStringList texts;
            for (const QAction* a : menu->actions())
                if (a->isChecked())
                    texts << a->text();
            return texts;
        };
        QCOMPARE(checked(), QStringList{"&220 ppi: print and large screens"});
        QVERIFY(w_->build("cmdOneOne"));
        QCOMPARE(w_->pixelsPerInch, 220);

        auto* button = w_->control<QPushButton>("Command1");
        button->setFocus();
        const QPoint at = button->rect().center();
        QContextMenuEvent key(QContextMenuEvent::Keyboard, at, button->mapToGlobal(at));
        QApplication::sendEvent(button, &key);
        QTRY_VERIFY(menu->isVisible());
        menu->actions().last()->trigger();
        menu->close();
        QCOMPARE(checked(), QStringList{"&Original pictures, as their files hold them"});
        QVERIFY(w_->build("Command1"));
        QCOMPARE(w_->pixelsPerInch, 0);

        w_.reset();
        w_ = std::make_unique<test::FormDriver>();
        w_->settings = &settings;
        w_->newHost = [] { return std::make_unique<RecordingHost>(); };
        QVERIFY(w_->open());
        QCOMPARE(w_->form->pixelsPerInch(), 0);
    }

    // Resting the pointer on an entry of either list shows its preview in a tool tip, and the
    // entry's accessible description says the same: its name, folder, size and format, or why
    // it cannot be shown, and in the photo list its place. A reason another program put in the
    // shared thumbnails is shown as one line of 200 characters, however long it is.
    void previewOfAnEntry_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("fact");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("recordedProblem"); // characters; 0: no failure recorded
        for (const char* list : {"File1", "List1"}) {
            QTest::addRow("%s: a photo", list)
                << list << 0 << "640 x 480 pixels, JPEG" << QSize(256, 192) << 0;
            QTest::addRow("%s: a turned photo, upright", list)
                << list << 1 << "480 x 640 pixels, JPEG" << QSize(192, 256) << 0;
            QTest::addRow("%s: not a picture", list)
                << list << 2 << "Cannot be shown: not a picture" << QSize(0, 0) << 0;
            QTest::addRow("%s: a recorded failure of 60,000 characters", list)
                << list << 0 << "Cannot be shown: " + QString(200, QLatin1Char('x')) << QSize(0, 0)
                << 60000;
        }
    }
    void previewOfAnEntry() {
        QFETCH(QString, list);
        QFETCH(int, row);
        QFETCH(QString, fact);
        QFETCH(QSize, picture);
        QFETCH(int, recordedProblem);
        const QStringList names{"a.jpg", "b.jpg", "c.jpg"};
        if (recordedProblem > 0) {
            const QFileInfo photo(photos_.filePath(names[row]));
            const QByteArray uri = ThumbnailCache::uriOf(photo.filePath());
            const QString fail =
                thumbnailsDir_.filePath(QStringLiteral("fail/slidemill-" SLIDEMILL_VERSION));
            QVERIFY(QDir().mkpath(fail));
            QImage one(1, 1, QImage::Format_RGB32);
            one.fill(Qt::white);
            QVERIFY(!test::writeBytes(
                         fail,
                         QString::fromLatin1(
                             QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
                             QStringLiteral(".png"),
                         test::thumbnailPng(
                             one, {{"Thumb::URI", uri},
                                   {"Thumb::MTime",
                                    QByteArray::number(photo.lastModified().toSecsSinceEpoch())},
                                   {"Thumb::Size", QByteArray::number(photo.size())},
                                   {"X-Slidemill::Problem", QByteArray(recordedProblem, 'x')}}))
                         .isEmpty());
            w_->previews.shareThumbnails(&thumbnails_);
        }
        QStringList lines{names[row], QStringLiteral("Folder: ") + photos_.path(), fact};
        QAbstractItemView* view = nullptr;
        if (list == QLatin1String("File1")) {
            w_->control<FileList>("File1")->setPath(photos_.path());
            view = file1();
        } else {
            for (const QString& name : names)
                photos()->append({photos_.filePath(name)});
            lines << QStringLiteral("%1 of 3").arg(row + 1);
            view = list1();
        }
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &help);
        // Shown at once, and again once the preview is made.
        QVERIFY(QToolTip::isVisible());
        QTRY_VERIFY(QToolTip::text().contains(fact));
        for (const QString& line : lines)
            QVERIFY2(QToolTip::text().contains(line.toHtmlEscaped()), qPrintable(line));
        QVERIFY(!QToolTip::text().contains(QString(201, QLatin1Char('x'))));
        const QImage shown = pictureIn(QToolTip::text());
        QCOMPARE(shown.size(), picture);
        // Red top left: upright.
        QVERIFY(shown.isNull() ||
                (qRed(shown.pixel(8, 8)) > 200 && qGreen(shown.pixel(8, 8)) < 80));

        QAccessibleInterface* entry = QAccessible::queryAccessibleInterface(view)->child(row);
        QVERIFY(entry);
        QCOMPARE(entry->text(QAccessible::Description), lines.join(QLatin1Char('\n')));
    }

    // Moved to with the keys, the current entry shows its preview after a moment's rest.
    void previewOfTheCurrentEntry() {
        QVERIFY(QTest::qWaitForWindowActive(w_->form.get()));
        for (const char* name : {"a.jpg", "b.jpg"})
            photos()->append({photos_.filePath(QLatin1String(name))});
        list1()->setFocus();
        photos()->setCurrentRow(0);
        QTest::keyClick(list1(), Qt::Key_Down);
        QCOMPARE(photos()->currentRow(), 1);
        QTRY_VERIFY(QToolTip::isVisible() && QToolTip::text().contains(QLatin1String("2 of 2")) &&
                    pictureIn(QToolTip::text()).size() == QSize(192, 256));
    }

    // Files dropped from a file manager on the photo list: its pictures appended in the order
    // given, as cmdAdd appends them, a folder's by name in its place (not its subfolders'),
    // the count and the extent following, the list showing the first one added; what a folder
    // gave and what is left out is told in one line once the drop has returned.
    void dropsFilesOnThePhotoList_data() {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("told");
        const QString d = dir_.path(), p = photos_.path();
        QTest::newRow("files, a folder and a text")
            << QStringList{d + "/c.jpg", p, d + "/notes.txt", d + "/b.png"}
            << QStringList{d + "/c.jpg", p + "/a.jpg", p + "/b.jpg", p + "/c.jpg", d + "/b.png"}
            << "Added 5 pictures, 3 of them from 1 folder; left out 1 file that is not a "
               "picture.";
        QTest::newRow("a folder alone")
            << QStringList{p} << QStringList{p + "/a.jpg", p + "/b.jpg", p + "/c.jpg"}
            << "Added 3 pictures from 1 folder.";
        QTest::newRow("pictures alone")
            << QStringList{d + "/b.png"} << QStringList{d + "/b.png"} << QString();
        QTest::newRow("a folder without pictures and a text")
            << QStringList{p + "/empty", d + "/notes.txt"} << QStringList{}
            << "Nothing was added: 1 folder without pictures and 1 file that is not a picture.";
    }
    void dropsFilesOnThePhotoList() {
        QFETCH(QStringList, dropped);
        QFETCH(QStringList, added);
        QFETCH(QString, told);
        QVERIFY(QDir(photos_.path()).mkpath(QStringLiteral("empty/deeper")));
        QVERIFY(!test::writeBytes(photos_.path() + "/empty/deeper", "z.jpg", "x").isEmpty());
        QStringList earlier;
        for (int i = 0; i < 100; ++i)
            earlier << QStringLiteral("/earlier/%1.png").arg(i);
        photos()->append(earlier);
        const std::unique_ptr<QMimeData> files(filesDragged(dropped));
        QVERIFY(dropOn(list1(), *files));
        QCOMPARE(photos()->paths(), earlier + added);
        if (!added.isEmpty()) {
            QCOMPARE(label1(), QStringLiteral("Added %1").arg(100 + added.size()));
            QCOMPARE(list1()->horizontalExtent(), extent());
            const auto shown = [this] {
                const QRect first = list1()->visualRect(photos()->index(100));
                return first.top() >= 0 && first.bottom() < list1()->viewport()->height();
            };
            QVERIFY(shown());
        }
        // The file manager waits on the drop: nothing is shown until it has returned.
        QCOMPARE(w_->boxes.shown.size(), 0);
        QTest::qWait(50);
        QCOMPARE(w_->boxes.shown.size(), told.isEmpty() ? 0 : 1);
        if (!told.isEmpty())
            QCOMPARE(w_->boxes.shown[0].text, told);
    }

    // The album window opens from the build buttons' menu, the photo list's menu and its
    // shortcut; every option chosen there reaches the build of either button, or of its own
    // build with its own layout.
    void albumOptionsReachTheBuild_data() {
        QTest::addColumn<QString>("openedBy");
        QTest::addColumn<QVariantMap>("set");
        QTest::addColumn<bool>("description");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("unsaid");
        const QString a = photos_.filePath(QStringLiteral("a.jpg"));
        QTest::newRow("captions: name")
            << "shortcut" << QVariantMap{{"caption", 1}} << false << "cmdOneOne"
            << QStringList{"TextRange.Text = a", "ParagraphFormat.Alignment = 2"} << QStringList{};
        QTest::newRow("captions: date, over Description")
            << "button menu" << QVariantMap{{"caption", 2}} << true << "Command1"
            << QStringList{"ParagraphFormat.Alignment = 2"}
            << QStringList{"TextRange.Text = Description"};
        QTest::newRow("captions of 28 points")
            << "shortcut" << QVariantMap{{"caption", 1}, {"captionSize", 28}} << false
            << "cmdOneOne" << QStringList{"Font.Size = 28"} << QStringList{"Font.Size = 20"};
        // Just under its least, the spin box says "By layout": the layout's size.
        QTest::newRow("captions by layout")
            << "shortcut" << QVariantMap{{"caption", 1}, {"captionSize", 5}} << false << "Command1"
            << QStringList{"Font.Size = 16"} << QStringList{"Font.Size = 5"};
        QTest::newRow("captions: a text")
            << "list menu" << QVariantMap{{"caption", 3}, {"captionText", "Harbour"}} << false
            << "cmdOneOne" << QStringList{"TextRange.Text = Harbour"} << QStringList{};
        QTest::newRow("Description without captions")
            << "shortcut" << QVariantMap{} << true << "cmdOneOne"
            << QStringList{"TextRange.Text = Description"} << QStringList{"ParagraphFormat"};
        QTest::newRow("title and subtitle")
            << "shortcut"
            << QVariantMap{{"title", "Crete"}, {"subtitle", 2}, {"subtitleText", "July"}} << false
            << "cmdOneOne"
            << QStringList{"Slides.Add(1, 1)", "TextRange.Text = Crete", "TextRange.Text = July"}
            << QStringList{};
        QTest::newRow("title without subtitle")
            << "shortcut" << QVariantMap{{"title", "Crete"}, {"subtitle", 1}} << false
            << "cmdOneOne" << QStringList{"TextRange.Text = Crete"}
            << QStringList{"Shapes.Placeholders(2)"};
        QTest::newRow("16:9") << "shortcut" << QVariantMap{{"slideSize", 1}} << false << "Command1"
                              << QStringList{"PageSetup.SlideSize = 960 x 540"} << QStringList{};
        QTest::newRow("black") << "shortcut" << QVariantMap{{"background", 1}, {"caption", 1}}
                               << false << "cmdOneOne"
                               << QStringList{"Background = #000000", "Font.Color = #FFFFFF"}
                               << QStringList{};
        QTest::newRow("greys") << "shortcut" << QVariantMap{{"grey", true}} << false << "cmdOneOne"
                               << QStringList{"PictureFormat.ColorType = 2"} << QStringList{};
        QTest::newRow("advance") << "shortcut" << QVariantMap{{"advance", 5}} << false
                                 << "cmdOneOne" << QStringList{"SlideShowTransition = 0, 5"}
                                 << QStringList{};
        QTest::newRow("loop") << "shortcut" << QVariantMap{{"loop", true}} << false << "cmdOneOne"
                              << QStringList{"SlideShowSettings.LoopUntilStopped = -1"}
                              << QStringList{};
        QTest::newRow("fade") << "shortcut" << QVariantMap{{"transition", 1}} << false << "Command1"
                              << QStringList{"SlideShowTransition = 1, 0"} << QStringList{};
        QTest::newRow("resolution") << "shortcut" << QVariantMap{{"resolution", 3}} << false
                                    << "cmdOneOne" << QStringList{"ppi 96"} << QStringList{};
        QTest::newRow("folder") << "shortcut" << QVariantMap{{"folder", "/decks/here"}} << false
                                << "cmdOneOne" << QStringList{"folder /decks/here"}
                                << QStringList{};
        QTest::newRow("folder in the home folder")
            << "shortcut" << QVariantMap{{"folder", "~/Decks"}} << false << "cmdOneOne"
            << QStringList{"folder " + QDir::homePath() + "/Decks"} << QStringList{};
        QTest::newRow("the buttons keep their layouts")
            << "shortcut" << QVariantMap{{"layout", 2}} << false << "cmdOneOne"
            << QStringList{QStringLiteral("Shapes.AddPicture(%1, 0, -1, 110, 90, 500, 375)").arg(a)}
            << QStringList{};
        QTest::newRow("Build Album: four")
            << "shortcut" << QVariantMap{{"layout", 2}} << false << "buildAlbum"
            << QStringList{QStringLiteral("Shapes.AddPicture(%1, 0, -1, 30, 15, 300, 225)").arg(a)}
            << QStringList{};
        QTest::newRow("Build Album: fill")
            << "list menu" << QVariantMap{{"layout", 4}} << false << "buildAlbum"
            << QStringList{"PictureFormat.Crop"} << QStringList{};
    }
    void albumOptionsReachTheBuild() {
        QFETCH(QString, openedBy);
        QFETCH(QVariantMap, set);
        QFETCH(bool, description);
        QFETCH(QString, button);
        QFETCH(QStringList, said);
        QFETCH(QStringList, unsaid);
        QVERIFY(QTest::qWaitForWindowActive(w_->form.get()));
        photos()->append(
            {photos_.filePath(QStringLiteral("a.jpg")), photos_.filePath(QStringLiteral("b.jpg"))});
        w_->control<QCheckBox>("Check1")->setChecked(description);
        if (openedBy == QLatin1String("shortcut")) {
            QTest::keyClick(w_->form->windowHandle(), Qt::Key_A,
                            Qt::ControlModifier | Qt::ShiftModifier);
        } else {
            QWidget* on = openedBy == QLatin1String("list menu")
                              ? list1()->viewport()
                              : w_->control<QWidget>("cmdOneOne");
            QContextMenuEvent key(QContextMenuEvent::Keyboard, on->rect().center(),
                                  on->mapToGlobal(on->rect().center()));
            QApplication::sendEvent(on, &key);
            const char* name =
                openedBy == QLatin1String("list menu") ? "photoListMenu" : "resolutionMenu";
            auto* menu = w_->form->findChild<QMenu*>(QLatin1String(name));
            QTRY_VERIFY(menu->isVisible());
            QAction* item = menu->actions().value(0);
            QCOMPARE(item->text(), QStringLiteral("&Album window..."));
            QCOMPARE(item->shortcut(), QKeySequence(Form1::kAlbumShortcut));
            QVERIFY(item->isShortcutVisibleInContextMenu());
            item->trigger();
            menu->close();
        }
        QTRY_VERIFY(w_->form->albumWindow() && w_->form->albumWindow()->isVisible());
        AlbumWindow* window = w_->form->albumWindow();
        for (auto it = set.cbegin(); it != set.cend(); ++it)
            setControl(window, it.key(), it.value());
        if (button == QLatin1String("buildAlbum")) {
            QSignalSpy ended(window, &AlbumWindow::buildEnded);
            window->findChild<QAction*>(button)->trigger();
            QVERIFY(ended.wait(60000));
        } else {
            window->close();
            QVERIFY(w_->build(qPrintable(button)));
        }
        QCOMPARE(hosts_.size(), 1);
        const QStringList calls =
            *conversations_[0] + QStringList{QStringLiteral("ppi %1").arg(w_->pixelsPerInch),
                                             QStringLiteral("folder ") + w_->folder};
        for (const QString& line : said)
            QVERIFY2(
                std::ranges::any_of(calls, [&](const QString& c) { return c.startsWith(line); }),
                qPrintable(line));
        for (const QString& line : unsaid)
            QVERIFY2(
                std::ranges::none_of(calls, [&](const QString& c) { return c.startsWith(line); }),
                qPrintable(line));
        // Kept for the next builds.
        QVERIFY(w_->build("cmdOneOne"));
        QCOMPARE(hosts_.size(), 2);
    }

    // Restore Defaults brings back today's builds, conversation and all, but for the show's
    // own title.
    void albumWindowRestoresDefaults() {
        photos()->append({photos_.filePath(QStringLiteral("a.jpg"))});
        QVERIFY(w_->build("cmdOneOne"));
        const QStringList plain = *conversations_[0];
        Album album;
        album.build.wide = true;
        album.build.caption = Caption::Date;
        album.build.title = QStringLiteral("Crete");
        w_->form->setAlbum(album);
        w_->form->showAlbumWindow();
        QTest::mouseClick(w_->form->albumWindow()->findChild<QPushButton*>("restoreDefaults"),
                          Qt::LeftButton);
        Album expected;
        expected.build.title = QStringLiteral("Crete");
        QVERIFY(w_->form->album() == expected);
        w_->form->setAlbum(Album());
        QVERIFY(w_->build("cmdOneOne"));
        QCOMPARE(*conversations_[1], plain);
    }

    // The album options as the settings file holds them, in the batch tool's words: read when
    // the window opens, written back as they were when the album is set. A title is one
    // album's, never taken from the settings.
    void albumSettingsRoundTrip_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("caption=date") << "caption"
                                      << "date";
        QTest::newRow("caption=a text with commas") << "caption"
                                                    << "Harbour, at dusk";
        QTest::newRow("title") << "title"
                               << "Crete, July 2026";
        QTest::newRow("subtitle empty") << "subtitle"
                                        << "";
        QTest::newRow("subtitle") << "subtitle"
                                  << "July";
        QTest::newRow("wide") << "wide"
                              << "true";
        QTest::newRow("background=black") << "background"
                                          << "black";
        QTest::newRow("background=#RRGGBB") << "background"
                                            << "#1E2A38";
        QTest::newRow("grey") << "grey"
                              << "true";
        QTest::newRow("advance") << "advance"
                                 << "5";
        // No number of seconds: the spin box leaves it to its check box.
        QTest::newRow("advance=fit") << "advance"
                                     << "fit";
        QTest::newRow("music, one album's") << "music"
                                            << "/home/me/Music/song.mp3";
        QTest::newRow("caption-size") << "caption-size"
                                      << "24";
        QTest::newRow("layout") << "layout"
                                << "fill";
        QTest::newRow("folder") << "folder"
                                << "/home/me/Decks";
    }
    void albumSettingsRoundTrip() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("Slidemill.conf"));
        // As a user or a script writes it.
        QVERIFY(!test::writeBytes(folder.path(), QStringLiteral("Slidemill.conf"),
                                  QStringLiteral("[album]\n%1=%2\n").arg(key, value).toUtf8())
                     .isEmpty());
        for (int run = 0; run < 2; ++run) {
            QSettings settings(file, QSettings::IniFormat);
            w_.reset();
            w_ = std::make_unique<test::FormDriver>();
            w_->settings = &settings;
            QVERIFY(w_->open());
            const bool perAlbum = findAlbumOption(key)->perAlbum;
            QCOMPARE(albumSetting(w_->form->album(), key), perAlbum ? QString() : value);
            w_->form->setAlbum(w_->form->album());
            QCOMPARE(albumSetting(w_->form->album(), key), perAlbum ? QString() : value);
        }
        QSettings written(file, QSettings::IniFormat);
        const QVariant kept = written.value(QStringLiteral("album/") + key);
        QCOMPARE(kept.typeId() == QMetaType::QStringList ? kept.toStringList().join(", ")
                                                         : kept.toString(),
                 value);
    }

    // A value the batch tool would refuse is left out with one line on standard error; the
    // option keeps its default and the others are read.
    void aBadSettingIsIgnored_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("warning");
        QTest::newRow("colour") << "background=blue"
                                << "background=blue is ignored: --background";
        QTest::newRow("empty caption") << "caption="
                                       << "caption= is ignored";
    }
    void aBadSettingIsIgnored() {
        QFETCH(QString, line);
        QFETCH(QString, warning);
        QTemporaryDir folder;
        QVERIFY(!test::writeBytes(folder.path(), QStringLiteral("Slidemill.conf"),
                                  QStringLiteral("[album]\nloop=true\n%1\n").arg(line).toUtf8())
                     .isEmpty());
        QSettings settings(folder.filePath(QStringLiteral("Slidemill.conf")), QSettings::IniFormat);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QRegularExpression::escape(
                                 QStringLiteral("Slidemill.conf: [album] ") + warning)));
        w_.reset();
        w_ = std::make_unique<test::FormDriver>();
        w_->settings = &settings;
        QVERIFY(w_->open());
        Album expected;
        expected.build.loop = true;
        QVERIFY(w_->form->album() == expected);
    }

    // The build buttons name what differs from the defaults, for the eye and the ear.
    void buildButtonsNameTheActiveOptions() {
        const QString open = QStringLiteral("Right-click or Ctrl+Shift+A: album window");
        auto* one = w_->control<QPushButton>("cmdOneOne");
        QCOMPARE(one->toolTip(), open);
        Album album;
        album.build.wide = true;
        album.build.caption = Caption::Date;
        album.build.background = 0x000000;
        album.build.advanceMs = 5000;
        album.build.layout = Layout::FourPerSlide; // the dialog's button's, not theirs
        w_->form->setAlbum(album);
        w_->form->setPixelsPerInch(96);
        const QString expected =
            QStringLiteral("Album options: 16:9, captions: date, black, advance 5 s, 96 ppi\n") +
            open;
        for (const char* name : {"cmdOneOne", "Command1"}) {
            QCOMPARE(w_->control<QPushButton>(name)->toolTip(), expected);
            QCOMPARE(w_->control<QPushButton>(name)->accessibleDescription(), expected);
        }
    }

    // Sorted by the date the photos were taken: those that tell first, by date, then the
    // others; the selection and the current entry go with their entries, as after a move.
    void sortsByDateTaken() {
        QTemporaryDir folder;
        const auto dated = [&](const char* name, const char* taken) {
            const QByteArray jpeg = test::withSegment(
                test::jpegBytes(64, 48),
                test::exifApp1(test::exifBlockWithDate(QByteArray(taken) + '\0')));
            return test::writeBytes(folder.path(), QLatin1String(name), jpeg);
        };
        const QString late = dated("late.jpg", "2026:07:19 10:00:00");
        const QString early = dated("early.jpg", "2026:07:12 09:00:00");
        const QString none = test::writeBytes(folder.path(), "none.jpg", test::jpegBytes(64, 48));
        const QString middle = dated("middle.jpg", "2026:07:15 12:30:00");
        photos()->append({late, none, early, middle});
        photos()->setSelected(0, true);
        photos()->setCurrentRow(2);
        auto* menu = w_->form->findChild<QMenu*>(QStringLiteral("photoListMenu"));
        QAction* sort = w_->form->findChild<QAction*>(QStringLiteral("sortByDate"));
        QVERIFY(menu && sort && menu->actions().contains(sort));
        sort->trigger();
        QCOMPARE(photos()->paths(), QStringList({early, middle, late, none}));
        QCOMPARE(photos()->selectedRows(), QList<int>{2});
        QCOMPARE(photos()->currentRow(), 0);
        QCOMPARE(label1(), QStringLiteral("Added 4"));
        QCOMPARE(list1()->horizontalExtent(), extent());
    }

    // The album window's sketches place every shape where the build places it, by the same
    // arithmetic: the slide of the current entry, or the first, and every slide of the deck.
    void sketchPlacesAsTheBuild_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("caption");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<bool>("title");
        QTest::addColumn<int>("captionSize");
        for (int layout = 0; layout < 5; ++layout) {
            const char* names[] = {"one", "two", "four", "fit", "fill"};
            QTest::addRow("%s", names[layout]) << layout << 0 << false << false << false << 0;
            QTest::addRow("%s, names, 16:9", names[layout])
                << layout << 2 << true << false << false << 0;
            QTest::addRow("%s, Description, greys", names[layout])
                << layout << 1 << false << true << false << 0;
            QTest::addRow("%s, dates, a title slide, 16:9", names[layout])
                << layout << 3 << true << false << true << 0;
            // Captions that take room from their photos, or stand beside or on them.
            QTest::addRow("%s, names at 96 points", names[layout])
                << layout << 2 << false << false << false << 96;
            QTest::addRow("%s, names at 24 points, 16:9", names[layout])
                << layout << 2 << true << false << false << 24;
        }
    }
    void sketchPlacesAsTheBuild() {
        QFETCH(int, layout);
        QFETCH(int, caption);
        QFETCH(bool, wide);
        QFETCH(bool, grey);
        QFETCH(bool, title);
        QFETCH(int, captionSize);
        QTemporaryDir folder;
        QStringList paths;
        const QSize sizes[] = {{640, 480}, {1920, 1080}, {1000, 1000}, {768, 1024}, {100, 2000}};
        for (int i = 0; i < 5; ++i) {
            paths << test::makePicture(folder.path(), QStringLiteral("p%1.png").arg(i), "png",
                                       sizes[i].width(), sizes[i].height());
            QVERIFY(!paths.last().isEmpty());
        }
        BuildOptions options;
        options.layout = Layout(layout);
        options.caption = Caption(caption);
        options.wide = wide;
        options.grey = grey;
        options.background = 0x102030;
        options.captionSize = captionSize;
        // Photos' own captions and turns go with them to whichever slide the sketch draws.
        options.photos = {{}, {QStringLiteral("Mia"), 1}, {}, {QStringLiteral("Ola"), -1}};
        HeaderPictureLoader loader;
        RecordingHost recorded;
        buildSlides(paths, options, loader, recorded);
        QList<QStringList> slides = placedBySlide(recorded.calls);
        // The deck's sketch draws the title slide as the build makes it, subtitle and all.
        if (title) {
            BuildOptions titled = options;
            titled.title = QStringLiteral("Crete");
            RecordingHost withTitle;
            buildSlides(paths, titled, loader, withTitle);
            const DeckSketch deck = sketchDeck(paths, titled, loader);
            QVERIFY(deck.slides.front().title);
            QCOMPARE(deck.firstPhoto.front(), qsizetype(-1));
            const auto texts = [](const QStringList& lines) {
                return lines.filter(QRegularExpression(QStringLiteral("^TextRange.Text = ")));
            };
            // Made last, put first.
            const QStringList said = texts(placedBySlide(withTitle.calls).back());
            QCOMPARE(said.value(0), QStringLiteral("TextRange.Text = Crete"));
            QCOMPARE(texts(placedIn(deck.slides.front())), said);
            QCOMPARE(qsizetype(deck.slides.size()), slides.size() + 1);
        }
        const int per = layout == 1 ? 2 : layout == 2 ? 4 : 1;
        for (int current = -1; current < 5; ++current) {
            const Sketch sketch = sketchSlide(paths, current, options, loader);
            QCOMPARE(sketch.slideSize, QSizeF(wide ? 960 : 720, 540));
            QCOMPARE(sketch.background, 0x102030u);
            QCOMPARE(placedIn(sketch.slide), slides.value(std::max(current, 0) / per));
        }
        const DeckSketch deck = sketchDeck(paths, options, loader);
        QCOMPARE(qsizetype(deck.slides.size()), slides.size());
        for (qsizetype k = 0; k < slides.size(); ++k) {
            QCOMPARE(placedIn(deck.slides[std::size_t(k)]), slides[k]);
            QCOMPARE(deck.firstPhoto[std::size_t(k)], k * per);
            QCOMPARE(deck.slideOf(k * per + per - 1), k);
        }
    }

    // The title slide's sketch stands where the deck's title layout puts its placeholders, at
    // their sizes: centred on a wider slide, not stretched.
    void sketchTitleAsTheDeck_data() {
        QTest::addColumn<bool>("wide");
        QTest::newRow("4:3") << false;
        QTest::newRow("16:9") << true;
    }
    void sketchTitleAsTheDeck() {
        QFETCH(bool, wide);
        BuildOptions options;
        options.title = QStringLiteral("Crete");
        options.subtitle = QStringLiteral("July 2026");
        options.wide = wide;
        HeaderPictureLoader loader;
        const Sketch sketch = sketchSlide({}, 0, options, loader);
        QVERIFY(sketch.slide.title);
        pptx::Deck deck;
        deck.slideWidthEmu = qint64(sketch.slideSize.width()) * pptx::kEmuPerPoint;
        const std::vector<pptx::Shape> placeholders = pptx::titleLayoutPlaceholders(deck);
        QCOMPARE(sketch.slide.shapes.size(), placeholders.size());
        for (std::size_t i = 0; i < placeholders.size(); ++i) {
            const SketchShape& drawn = sketch.slide.shapes[i];
            const pptx::Frame& f = placeholders[i].frame;
            const double emu = double(pptx::kEmuPerPoint);
            QCOMPARE(drawn.frame, QRectF(f.x / emu, f.y / emu, f.cx / emu, f.cy / emu));
            QCOMPARE(int(drawn.fontSize * 100), placeholders[i].fontSizeHundredths);
        }
    }

    // Photos the desktop gives to open (Open With, or slidemill PHOTO...): appended in the
    // order given as a drop appends them, relative names from the current folder, a folder's
    // pictures in its place, what the file list would not show left out and counted in one
    // line.
    void opensPhotosGiven_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("added"); // names in dir_, or absolute paths
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("qt"); // what the application object is given

        QTest::newRow("in the order given")
            << QStringList{"c.jpg", "a.GIF", "b.png"} << QStringList{"c.jpg", "a.GIF", "b.png"}
            << QString() << QStringList{};
        QTest::newRow("absolute and relative names")
            << QStringList{path("e.emf"), "./b.png", "new/../c.jpg"}
            << QStringList{"e.emf", "b.png", "c.jpg"} << QString() << QStringList{};
        QTest::newRow("names after --, even -- itself")
            << QStringList{"--", "-x.jpg", "--"} << QStringList{"-x.jpg"}
            << "Added 1 picture; left out 1 file that is not a picture." << QStringList{};
        // Qt takes its options only before "--"; after it, every name is a photo's.
        QTest::newRow("Qt's options, before -- only")
            << QStringList{"-reverse", "c.jpg",       "-style", "fusion",   "--stylesheet=x.qss",
                           "--",       "-stylesheet", "b.png",  "-reverse", "a.GIF"}
            << QStringList{"c.jpg", "b.png", "a.GIF"}
            << "Added 3 pictures; left out 2 files that are not pictures."
            << QStringList{"-reverse", "-style", "fusion", "--stylesheet=x.qss"};
        // A folder gives its pictures, as a dropped one does.
        const QString folder = photos_.path() + QLatin1Char('/');
        QTest::newRow("a folder's pictures, other files left out")
            << QStringList{"c.jpg", photos_.path(), "notes.txt", "d.psd"}
            << QStringList{"c.jpg", folder + "a.jpg", folder + "b.jpg", folder + "c.jpg"}
            << "Added 4 pictures, 3 of them from 1 folder; left out 2 files that are not "
               "pictures."
            << QStringList{};
        QTest::newRow("nothing to add")
            << QStringList{"notes.txt"} << QStringList{}
            << "Nothing was added: 1 file that is not a picture." << QStringList{};
        QTest::newRow("an unknown option: nothing opened")
            << QStringList{"c.jpg", "--three"} << QStringList{} << "--three" << QStringList{};
    }
    void opensPhotosGiven() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, added);
        QFETCH(QString, message);
        const WindowArguments given =
            readWindowArguments(QStringList{"slidemill"} + args, dir_.path());
        if (message.startsWith(QLatin1String("--"))) {
            QCOMPARE(given.unknownOption, message);
            return;
        }
        QCOMPARE(given.unknownOption, QString());
        QTEST(given.qtOptions, "qt");
        w_->form->openPhotos(given.photos);
        for (QString& name : added)
            name = name.startsWith(QLatin1Char('/')) ? name : path(name);
        QCOMPARE(photos()->paths(), added);
        QCOMPARE(label1(), QStringLiteral("Added %1").arg(added.size()));
        QCOMPARE(list1()->horizontalExtent(), extent());
        // Told once the photos are in, as after a drop.
        QCoreApplication::processEvents();
        QTRY_COMPARE(w_->boxes.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(w_->boxes.shown[0].text, message);
    }

    // --album opens the album window, and a deck given opens there as its album.
    void albumArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("album");
        QTest::addColumn<QStringList>("decks");
        QTest::addColumn<QStringList>("photos");
        QTest::newRow("--album") << QStringList{"--album"} << true << QStringList{}
                                 << QStringList{};
        QTest::newRow("decks among photos")
            << QStringList{"trip.pptx", "c.jpg", "/x/show.PPSX"} << false
            << QStringList{"trip.pptx", "/x/show.PPSX"} << QStringList{"c.jpg"};
        QTest::newRow("after --, a photo")
            << QStringList{"--", "--album"} << false << QStringList{} << QStringList{"--album"};
    }
    void albumArguments() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, decks);
        QFETCH(QStringList, photos);
        const WindowArguments given =
            readWindowArguments(QStringList{"slidemill"} + args, dir_.path());
        QCOMPARE(given.unknownOption, QString());
        QTEST(given.album, "album");
        for (QStringList* list : {&decks, &photos})
            for (QString& name : *list)
                name = name.startsWith(QLatin1Char('/')) ? name : path(name);
        QCOMPARE(given.decks, decks);
        QCOMPARE(given.photos, photos);
    }

    void accessKeysPressButtons() {
        QVERIFY(QTest::qWaitForWindowActive(w_->form.get()));
        // Through the window, so that shortcuts are looked up as for real key presses; a
        // button's access key animates a click, which lands a moment later.
        QWindow* window = w_->form->windowHandle();
        QTest::keyClick(window, Qt::Key_T, Qt::AltModifier);
        QTRY_COMPARE(hosts_.size(), 1);
        QVERIFY(w_->waitForBuild());
        QTest::keyClick(window, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(hosts_.size(), 2);
        QVERIFY(w_->waitForBuild());
        QTest::keyClick(window, Qt::Key_X, Qt::AltModifier);
        QTRY_VERIFY(!w_->form->isVisible());
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
