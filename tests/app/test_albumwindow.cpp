#include "app/albumwindow.h"
#include "app/slidesketch.h"
#include "host/pptxhost.h"
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"
#include "support/formdriver.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace slidemill;
using namespace slidemill::test;

namespace {

// Rewrites one part of a deck with `zip`, as another application saving it would.
bool replacePart(const QString& deck, const QString& part, const QByteArray& bytes) {
    QTemporaryDir dir;
    const QString file = dir.filePath(part);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return false;
    out.close();
    QProcess zip;
    zip.setWorkingDirectory(dir.path());
    zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), deck, part});
    return zip.waitForFinished(30000) && zip.exitCode() == 0;
}

} // namespace

// The album window on the main window's photo list, with the real host writing decks.
class TestAlbumWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QStringList photos_;
    test::RecordingOpener opener_;
    std::unique_ptr<test::FormDriver> w_;

    PhotoListModel* photos() { return w_->control<PhotoListView>("List1")->photos(); }
    AlbumWindow* window() { return w_->form->albumWindow(); }
    QListView* grid() { return window()->findChild<QListView*>(QStringLiteral("photoGrid")); }
    QString label1() { return w_->control<QLabel>("Label1")->text(); }
    // Runs one of the window's actions and waits for its build, if it starts one.
    bool act(const char* action) {
        QSignalSpy ended(window(), &AlbumWindow::buildEnded);
        window()->findChild<QAction*>(QLatin1String(action))->trigger();
        return !window()->building() || ended.wait(60000);
    }
    void settle() {
        QSignalSpy drawn(window(), &AlbumWindow::redrawn);
        drawn.wait(200);
    }

private Q_SLOTS:
    void initTestCase() {
        photos_ << makePicture(dir_.path(), QStringLiteral("a.png"), "png", 640, 480)
                << makePicture(dir_.path(), QStringLiteral("b.jpg"), "jpg", 300, 600)
                << makePicture(dir_.path(), QStringLiteral("c.gif"), "gif", 200, 200);
        for (const QString& p : photos_)
            QVERIFY(!p.isEmpty());
    }
    void init() {
        opener_.opened.clear();
        w_ = std::make_unique<test::FormDriver>();
        w_->writeRealDecks(dir_.filePath(QStringLiteral("documents")), &opener_);
        QVERIFY(w_->open());
        w_->form->showAlbumWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }
    void cleanup() { w_.reset(); }

    // One list, two views: what either window does to it shows in the other at once, and the
    // main window's count follows.
    void oneListBothWays_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<QString>("added");
        QTest::newRow("added in the main window") << "append" << QList<int>{0, 1, 2} << "Added 3";
        QTest::newRow("Delete in the grid") << "delete" << QList<int>{0, 2} << "Added 2";
        QTest::newRow("Ctrl+Right in the grid") << "ctrl right" << QList<int>{0, 2, 1} << "Added 3";
        QTest::newRow("Ctrl+Left at the start: nothing")
            << "ctrl left first" << QList<int>{0, 1, 2} << "Added 3";
        QTest::newRow("cells dragged to the front") << "drag" << QList<int>{1, 2, 0} << "Added 3";
        QTest::newRow("UP in the main window") << "cmdUp" << QList<int>{1, 0, 2} << "Added 3";
        QTest::newRow("a file dropped on the grid, added")
            << "drop file" << QList<int>{0, 1, 2, 1} << "Added 4";
    }
    void oneListBothWays() {
        QFETCH(QString, step);
        QFETCH(QList<int>, order);
        QFETCH(QString, added);
        photos()->append(photos_);
        w_->form->UpdateAddedCount();
        QCOMPARE(grid()->model()->rowCount(), 3);
        grid()->setFocus();
        if (step == QLatin1String("delete") || step == QLatin1String("ctrl right")) {
            grid()->setCurrentIndex(grid()->model()->index(1, 0));
            QTest::keyClick(grid(),
                            step == QLatin1String("delete") ? Qt::Key_Delete : Qt::Key_Right,
                            step == QLatin1String("delete") ? Qt::NoModifier : Qt::ControlModifier);
        } else if (step == QLatin1String("ctrl left first")) {
            grid()->setCurrentIndex(grid()->model()->index(0, 0));
            QTest::keyClick(grid(), Qt::Key_Left, Qt::ControlModifier);
        } else if (step == QLatin1String("drag")) {
            QAbstractItemModel* cells = grid()->model();
            std::unique_ptr<QMimeData> dragged(
                cells->mimeData({cells->index(1, 0), cells->index(2, 0)}));
            QVERIFY(cells->dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
        } else if (step == QLatin1String("drop file")) {
            QMimeData files;
            files.setUrls({QUrl::fromLocalFile(photos_[1])});
            QVERIFY(grid()->model()->dropMimeData(&files, Qt::MoveAction, 0, 0, {}));
        } else if (step == QLatin1String("cmdUp")) {
            photos()->setSelected(1, true);
            w_->click("cmdUp");
        }
        QStringList expected;
        for (const int k : order)
            expected << photos_[k];
        QCOMPARE(photos()->paths(), expected);
        QCOMPARE(label1(), added);
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(grid()->model()->index(row, 0).data(kPreviewPathRole).toString(),
                     expected[row]);
    }

    // A photo's own caption and turn, given in the album window, reach the deck of either
    // window's build, and the deck passes the checks.
    void ownSettingsReachTheDeck_data() {
        QTest::addColumn<QString>("from");
        QTest::newRow("Save As") << "saveAlbumAs";
        QTest::newRow("the main window's One Photo One Slide") << "cmdOneOne";
    }
    void ownSettingsReachTheDeck() {
        QFETCH(QString, from);
        photos()->append(photos_);
        window()->setCurrentPhoto(0);
        QTest::keyClicks(window()->findChild<QLineEdit*>(QStringLiteral("photoCaption")),
                         QStringLiteral("Harbour"));
        window()->setCurrentPhoto(1);
        QTest::keyClick(window(), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(photos()->ownSettings(0), (OwnSettings{QStringLiteral("Harbour"), 0}));
        QCOMPARE(photos()->ownSettings(1), (OwnSettings{QString(), 1}));
        QCOMPARE(grid()->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("a.png, caption: Harbour, 1 of 3"));
        QString deck;
        if (from == QLatin1String("cmdOneOne")) {
            QVERIFY(w_->build("cmdOneOne"));
            QCOMPARE(opener_.opened.size(), 1);
            deck = opener_.opened.last();
        } else {
            deck = dir_.filePath(QStringLiteral("own.pptx"));
            w_->answers << QStringList{deck};
            QVERIFY(act("saveAlbumAs"));
            QVERIFY(opener_.opened.isEmpty());
        }
        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        QVERIFY(partOf(deck, "ppt/slides/slide1.xml").contains("Harbour"));
        QVERIFY(partOf(deck, "ppt/slides/slide2.xml").contains("rot=\"5400000\""));
        VERIFY_VALID_PPTX({deck});
    }

    // Save As asks for a name and a type; Save writes the same file again without asking; a
    // cancelled question writes nothing. A show opens playing.
    void saveAsAType_data() {
        QTest::addColumn<QString>("name");
        // What the file holds: the deck's main part, or a video's or a PDF's first bytes.
        QTest::addColumn<QByteArray>("mainType");
        QTest::newRow("presentation") << "album.pptx" << QByteArray("presentation.main+xml");
        QTest::newRow("slide show") << "album.ppsx" << QByteArray("slideshow.main+xml");
        QTest::newRow("video, a copy") << "album.mp4" << QByteArray("ftyp");
        QTest::newRow("PDF, a copy") << "album.pdf" << QByteArray("%PDF-");
        QTest::newRow("cancelled") << "" << QByteArray();
    }
    void saveAsAType() {
        QFETCH(QString, name);
        QFETCH(QByteArray, mainType);
        photos()->append(photos_);
        const QString deck = name.isEmpty() ? QString() : dir_.filePath(name);
        if (!deck.isEmpty())
            w_->answers << QStringList{deck};
        QVERIFY(act("saveAlbumAs"));
        QCOMPARE(w_->asked.size(), 1);
        QCOMPARE(w_->asked[0].first, FileQuestion::SaveDeck);
        QVERIFY(w_->asked[0].second.endsWith(QLatin1String("/Photo show.pptx")));
        if (deck.isEmpty()) {
            QCOMPARE(window()->file(), deck);
            QVERIFY(w_->requests.isEmpty());
            return;
        }
        // A video or a PDF cannot be opened again as the album: it stays without a file.
        if (!name.endsWith(QLatin1String(".pptx")) && !name.endsWith(QLatin1String(".ppsx"))) {
            QCOMPARE(window()->file(), QString());
            QVERIFY(readBytes(deck).left(12).contains(mainType));
            return;
        }
        QCOMPARE(window()->file(), deck);
        QVERIFY(partOf(deck, "[Content_Types].xml").contains(mainType));
        QVERIFY(window()->windowTitle().startsWith(name));
        // Changed and saved again: the same file, nobody asked.
        photos()->removeAt(2);
        QVERIFY(act("saveAlbum"));
        QCOMPARE(w_->asked.size(), 1);
        QCOMPARE(slideCountOf(deck), 2);
        VERIFY_VALID_PPTX({deck});
    }

    // Play writes a show and hands it to the desktop: from an album without a file at once,
    // from one with unsaved changes once they are saved.
    void playHandsAShowToTheDesktop_data() {
        QTest::addColumn<bool>("hasFile");
        QTest::newRow("no file yet") << false;
        QTest::newRow("a saved album, changed since") << true;
    }
    void playHandsAShowToTheDesktop() {
        QFETCH(bool, hasFile);
        photos()->append(photos_);
        const QString deck = dir_.filePath(QStringLiteral("played.pptx"));
        if (hasFile) {
            w_->answers << QStringList{deck};
            QVERIFY(act("saveAlbumAs"));
            photos()->removeAt(0);
        }
        QSignalSpy ended(window(), &AlbumWindow::buildEnded);
        window()->findChild<QAction*>(QStringLiteral("playAlbum"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(opener_.opened.size(), 1, 60000);
        QTRY_VERIFY(!window()->building());
        const QString show = opener_.opened.last();
        QVERIFY2(show.startsWith(w_->albumFiles.filePath(QStringLiteral("shows/"))),
                 qPrintable(show));
        QVERIFY(show.endsWith(hasFile ? QLatin1String("/played.ppsx")
                                      : QLatin1String("/Photo show.ppsx")));
        QVERIFY(partOf(show, "[Content_Types].xml").contains("slideshow.main+xml"));
        QCOMPARE(slideCountOf(show), hasFile ? 2 : 3);
        if (hasFile)
            QCOMPARE(slideCountOf(deck), 2); // saved first
        QCOMPARE(window()->file(), hasFile ? deck : QString());
    }

    // A deck the window saved opens again as the album it was: photos in order, each one's
    // own caption and turn, the options; also after LibreOffice saved it, with a photo's file
    // gone (the deck's picture stands in) and with a caption edited in the deck.
    void reopens_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("as saved") << "";
        QTest::newRow("saved again by LibreOffice") << "libreoffice";
        QTest::newRow("a photo's file gone") << "gone";
        QTest::newRow("a caption edited in the deck") << "edited";
    }
    void reopens() {
        QFETCH(QString, change);
        QTemporaryDir here;
        QStringList paths;
        for (const QString& p : photos_) {
            paths << here.filePath(QFileInfo(p).fileName());
            QVERIFY(QFile::copy(p, paths.last()));
        }
        photos()->append(paths);
        Album album;
        album.build.caption = Caption::Name;
        album.build.title = QStringLiteral("Crete");
        album.build.layout = Layout::TwoPerSlide;
        w_->form->setAlbum(album);
        photos()->setOwnSettings(1, {QStringLiteral("Mia"), 3});
        QString deck = here.filePath(QStringLiteral("album.pptx"));
        w_->answers << QStringList{deck};
        QVERIFY(act("saveAlbumAs"));
        QVERIFY(QFileInfo::exists(deck));
        if (change == QLatin1String("libreoffice")) {
            const QString out = here.filePath(QStringLiteral("lo"));
            QDir().mkpath(out);
            const CheckResult converted = convertTo({deck}, out, QStringLiteral("pptx"));
            if (converted.skipped)
                QSKIP(qPrintable(converted.output));
            QVERIFY2(converted.ok, qPrintable(converted.output));
            deck = convertedPathFor(deck, out, QStringLiteral("pptx"));
        } else if (change == QLatin1String("gone")) {
            QVERIFY(QFile::remove(paths[2]));
        } else if (change == QLatin1String("edited")) {
            QString slide = QString::fromUtf8(partOf(deck, "ppt/slides/slide3.xml"));
            const QRegularExpression text(QStringLiteral("<a:t>[^<]*</a:t>"));
            QVERIFY(slide.contains(text));
            slide.replace(text, QStringLiteral("<a:t>Grandma</a:t>"));
            QVERIFY(replacePart(deck, QStringLiteral("ppt/slides/slide3.xml"), slide.toUtf8()));
        }
        // Another album meanwhile.
        w_->form->setAlbum(Album());
        photos()->clear();
        QVERIFY(window()->openDeck(deck));
        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        QCOMPARE(photos()->count(), 3);
        QCOMPARE(label1(), QStringLiteral("Added 3"));
        for (int k = 0; k < 2; ++k)
            QCOMPARE(photos()->paths()[k], paths[k]);
        if (change == QLatin1String("gone")) {
            const QString standIn = photos()->paths()[2];
            QVERIFY2(standIn.startsWith(w_->albumFiles.filePath(QStringLiteral("deck pictures/"))),
                     qPrintable(standIn));
            QCOMPARE(grid()->model()->index(2, 0).data().toString(),
                     QStringLiteral("From the deck"));
        } else {
            QCOMPARE(photos()->paths()[2], paths[2]);
        }
        QCOMPARE(photos()->ownSettings(1), (OwnSettings{QStringLiteral("Mia"), 3}));
        QCOMPARE(photos()->ownSettings(2).caption,
                 change == QLatin1String("edited") ? QStringLiteral("Grandma") : QString());
        QCOMPARE(w_->form->album().build.title, QStringLiteral("Crete"));
        QCOMPARE(w_->form->album().build.caption, Caption::Name);
        QCOMPARE(w_->form->album().build.layout, Layout::TwoPerSlide);
        settle();
        // Title slide, then two slides of two and one.
        QCOMPARE(window()->deck().slides.size(), std::size_t(3));
        QVERIFY(window()->deck().slides[0].title);
    }

    // Another deck replaces an album with unsaved changes only when the user says so; a file
    // that is no deck is refused, naming it, before anyone is asked. The album stays as it was.
    void openingAnotherDeck_data() {
        QTest::addColumn<QString>("deck");
        QTest::addColumn<int>("reply");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("not a deck") << "bad.pptx" << 0 << "bad.pptx" << false;
        QTest::newRow("a deck, the user keeps the album")
            << "other.pptx" << int(mbReplyNo) << "changes that are not saved" << false;
        QTest::newRow("a deck, the user replaces the album")
            << "other.pptx" << int(mbReplyYes) << "changes that are not saved" << true;
    }
    void openingAnotherDeck() {
        QFETCH(QString, deck);
        QFETCH(int, reply);
        QFETCH(QString, told);
        QFETCH(bool, replaced);
        writeBytes(dir_.path(), QStringLiteral("bad.pptx"), "not a zip");
        const QString other = dir_.filePath(QStringLiteral("other.pptx"));
        if (!QFileInfo::exists(other)) {
            photos()->append({photos_[0]});
            w_->answers << QStringList{other};
            QVERIFY(act("saveAlbumAs"));
            photos()->clear();
        }
        photos()->append(photos_);
        if (reply)
            w_->boxes.replies << reply;
        QCOMPARE(window()->openDeck(dir_.filePath(deck)), replaced);
        QCOMPARE(w_->boxes.shown.size(), 1);
        QVERIFY2(w_->boxes.shown[0].text.contains(told), qPrintable(w_->boxes.shown[0].text));
        QCOMPARE(photos()->paths(), replaced ? QStringList{photos_[0]} : photos_);
    }

    // Every slide and cell is told to a screen reader: what it shows and where it stands.
    void describedForScreenReaders() {
        photos()->append(photos_);
        Album album;
        album.build.title = QStringLiteral("Crete");
        w_->form->setAlbum(album);
        settle();
        auto* strip = window()->findChild<QListView*>(QStringLiteral("slideStrip"));
        QCOMPARE(strip->model()->rowCount(), 4);
        QCOMPARE(strip->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Slide 1 of 4, the title slide"));
        QCOMPARE(strip->model()->index(2, 0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Slide 3 of 4: b.jpg"));
        QCOMPARE(grid()->model()->index(2, 0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("c.gif, 3 of 3"));
        // A slide clicked makes its photo current, and the preview shows that slide.
        strip->setCurrentIndex(strip->model()->index(3, 0));
        QCOMPARE(window()->currentPhoto(), 2);
        QCOMPARE(window()->findChild<QLabel*>(QStringLiteral("photoPlace"))->text(),
                 QStringLiteral("3 of 3: c.gif"));
    }

    // The window comes back at the size and with the columns it was closed with.
    void remembersItsLayout() {
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("Slidemill.conf")), QSettings::IniFormat);
        QList<int> columns;
        QSize size;
        for (int run = 0; run < 2; ++run) {
            w_ = std::make_unique<test::FormDriver>();
            w_->settings = &settings;
            QVERIFY(w_->open());
            w_->form->showAlbumWindow();
            QVERIFY(QTest::qWaitForWindowExposed(window()));
            auto* splitter = window()->findChild<QSplitter*>(QStringLiteral("albumColumns"));
            if (run == 0) {
                window()->resize(1100, 640);
                size = window()->size();
                const QList<int> sizes = splitter->sizes();
                splitter->setSizes({sizes[0] - 100, sizes[1] + 100, sizes[2]});
                columns = splitter->sizes();
                window()->close();
            } else {
                QCOMPARE(window()->size(), size);
                QVERIFY(size != QSize(1240, 760));
                QCOMPARE(splitter->sizes(), columns);
            }
            w_.reset();
        }
    }

private:
    static int slideCountOf(const QString& deck) {
        return int(attributeValues(partOf(deck, "ppt/presentation.xml"), "p:sldId", "id").size());
    }
};

QTEST_MAIN(TestAlbumWindow)
#include "test_albumwindow.moc"
