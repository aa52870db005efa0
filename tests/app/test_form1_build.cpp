#include "app/albumwindow.h"
#include "core/faults.h"
#include "host/pptxhost.h"
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"
#include "support/formdriver.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <utility>

using namespace slidemill;

namespace {

// The real host, with a hook before each new slide; the build calls it on its own thread.
class HookedHost : public PptxHost {
public:
    using PptxHost::PptxHost;
    std::function<void(int)> beforeSlide;
    void addSlide(std::int32_t index, std::int32_t layout) override {
        beforeSlide(index);
        PptxHost::addSlide(index, layout);
    }
};

// The fault the window's build meets, whatever the entry.
IoCall g_call = IoCall::Write;
int g_error = 0;
int injected(IoCall call, const QByteArray&) {
    return call == g_call ? g_error : 0;
}

int slideCount(const QString& pptx) {
    return int(
        test::attributeValues(test::partOf(pptx, "ppt/presentation.xml"), "p:sldId", "id").size());
}

} // namespace

// The window end to end: real pictures, real clicks, the real host writing a deck.
class TestForm1Build : public QObject {
    Q_OBJECT

    QTemporaryDir pictures_;
    QTemporaryDir documents_;
    test::RecordingOpener opener_;
    std::unique_ptr<test::FormDriver> w_;

    PhotoListModel* photos() { return w_->control<PhotoListView>("List1")->photos(); }
    void addAllFiles() {
        w_->list("File1")->setCurrentRow(0);
        w_->list("File1")->selectAll();
        w_->click("cmdAdd");
    }
    // The deck a build hands over, if any. The opener is called on the build's thread, and
    // read here once that has ended.
    QString press(const char* button) {
        const qsizetype before = opener_.opened.size();
        if (!w_->build(button))
            return QStringLiteral("(the build did not end)");
        return opener_.opened.size() > before ? opener_.opened.last() : QString();
    }

private Q_SLOTS:
    void initTestCase() {
        const QString d = pictures_.path();
        QVERIFY(!test::makePicture(d, QStringLiteral("a.png"), "png", 640, 480).isEmpty());
        QVERIFY(!test::makePicture(d, QStringLiteral("b.jpg"), "jpg", 300, 600).isEmpty());
        QVERIFY(!test::makePicture(d, QStringLiteral("c.gif"), "gif", 200, 200).isEmpty());
    }
    // A window on one volume whose root is `folder`.
    void openOn(const QString& folder) {
        opener_.opened.clear();
        opener_.works = true;
        w_ = std::make_unique<test::FormDriver>();
        w_->volumes.add(QStringLiteral("Fake"), folder);
        w_->writeRealDecks(documents_.path(), &opener_);
        QVERIFY(w_->open());
    }
    void init() { openOn(pictures_.path()); }
    void cleanup() { w_.reset(); }

    void buildsBothKindsOfDeck_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<bool>("description");
        QTest::addColumn<int>("slides");
        QTest::addColumn<int>("boxes");
        QTest::newRow("one per slide") << QByteArray("cmdOneOne") << false << 3 << 0;
        QTest::newRow("one per slide, described") << QByteArray("cmdOneOne") << true << 3 << 3;
        QTest::newRow("two per slide") << QByteArray("Command1") << false << 2 << 0;
        QTest::newRow("two per slide, described") << QByteArray("Command1") << true << 2 << 3;
    }
    void buildsBothKindsOfDeck() {
        QFETCH(QByteArray, button);
        QFETCH(bool, description);
        QFETCH(int, slides);
        QFETCH(int, boxes);
        addAllFiles();
        w_->control<QCheckBox>("Check1")->setChecked(description);
        photos()->setSelected(1, true);
        photos()->setCurrentRow(2);
        const QStringList before = photos()->paths();

        const QString deck = press(button.constData());
        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        QVERIFY(deck.startsWith(documents_.path() + QStringLiteral("/Presentation ")));
        QCOMPARE(slideCount(deck), slides);
        int described = 0;
        for (int i = 1; i <= slides; ++i)
            described += int(test::partOf(deck, QStringLiteral("ppt/slides/slide%1.xml").arg(i))
                                 .count("<a:t>Description</a:t>"));
        QCOMPARE(described, boxes);

        // The window is as it was, but for the picture Image1 holds.
        QCOMPARE(photos()->paths(), before);
        QCOMPARE(photos()->currentRow(), 2);
        QCOMPARE(photos()->selectedRows(), QList<int>{1});
        QCOMPARE(w_->control<QLabel>("Label1")->text(), QStringLiteral("Added 3"));
        QVERIFY(w_->form->image1());
        QCOMPARE(w_->form->image1()->path, before.last());

        // The next build writes a new deck; an empty list gives one without slides.
        photos()->clear();
        const QString next = press(button.constData());
        QVERIFY(!next.isEmpty() && next != deck && QFile::exists(deck));
        QCOMPARE(slideCount(next), 0);
        VERIFY_VALID_PPTX({deck});
    }

    // Album options chosen in the window make a deck that opens: either button takes them with
    // its own layout, the dialog's button with the album's, in the folder chosen.
    void albumOptionsMakeADeck_data() {
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<bool>("dialogButton");
        QTest::addColumn<int>("slides");
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("holds");
        QTest::newRow("16:9, names, a title, elsewhere") << QVariantMap{{"wide", "true"},
                                                                        {"caption", "name"},
                                                                        {"title", "Crete"},
                                                                        {"folder", "decks"}}
                                                         << false << 4 << "ppt/presentation.xml"
                                                         << "cx=\"12192000\"";
        QTest::newRow("four, black, greys, a timed looping show")
            << QVariantMap{{"layout", "four"}, {"background", "black"}, {"grey", "true"},
                           {"advance", "5"},   {"loop", "true"},        {"transition", "fade"}}
            << true << 1 << "ppt/slides/slide1.xml"
            << "grayscl";
        // The 4:3 photo fills a 4:3 slide uncut; the portrait on the second is cropped.
        QTest::newRow("fill, dates") << QVariantMap{{"layout", "fill"}, {"caption", "date"}} << true
                                     << 3 << "ppt/slides/slide2.xml"
                                     << "srcRect";
    }
    void albumOptionsMakeADeck() {
        QFETCH(QVariantMap, options);
        QFETCH(bool, dialogButton);
        QFETCH(int, slides);
        QFETCH(QString, part);
        QFETCH(QString, holds);
        addAllFiles();
        Album album;
        for (auto it = options.cbegin(); it != options.cend(); ++it) {
            const QString value = it.key() == QLatin1String("folder")
                                      ? documents_.filePath(it.value().toString())
                                      : it.value().toString();
            QCOMPARE(setAlbumOption(album, it.key(), value), QString());
        }
        w_->form->setAlbum(album);
        QString deck;
        if (dialogButton) {
            w_->form->showAlbumWindow();
            AlbumWindow* window = w_->form->albumWindow();
            const qsizetype before = opener_.opened.size();
            QSignalSpy ended(window, &AlbumWindow::buildEnded);
            window->findChild<QAction*>(QStringLiteral("buildAlbum"))->trigger();
            QVERIFY(ended.wait(60000));
            QVERIFY(opener_.opened.size() > before);
            deck = opener_.opened.last();
        } else {
            deck = press("cmdOneOne");
        }
        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        const QString folder = album.folder.isEmpty() ? documents_.path() : album.folder;
        QVERIFY2(deck.startsWith(folder + QStringLiteral("/Presentation ")), qPrintable(deck));
        QCOMPARE(slideCount(deck), slides);
        QVERIFY(test::partOf(deck, part).contains(holds.toUtf8()));
        VERIFY_VALID_PPTX({deck});
        QTemporaryDir pdf;
        CONVERT_TO_PDF({deck}, pdf.path());
    }

    // A build of more than about a second shows photo k of n over the window, not before.
    // Cancel stops it after the slide being made; the slides made are saved and handed over as
    // after an error, and the list stays.
    void aLongBuildShowsProgressAndCanBeCancelled() {
        addAllFiles();
        opener_.works = false;
        QSemaphore atSecondSlide;
        QSemaphore goOn;
        w_->newHost = [&] {
            PptxHostOptions o;
            o.documentsFolder = documents_.path();
            o.opener = &opener_;
            auto host = std::make_unique<HookedHost>(o);
            host->beforeSlide = [&](int index) {
                if (index == 2) {
                    atSecondSlide.release();
                    goOn.acquire();
                }
            };
            return host;
        };
        QElapsedTimer clock;
        clock.start();
        w_->click("cmdOneOne");
        auto* dialog = w_->form->findChild<QProgressDialog*>();
        QVERIFY(dialog);
        qint64 shownAt = -1;
        test::EventWatch shows(dialog, QEvent::Show, [&] { shownAt = clock.elapsed(); });
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 10000);
        QVERIFY2(shownAt >= 900, qPrintable(QString::number(shownAt)));
        QVERIFY(atSecondSlide.tryAcquire(1, 10000));
        QTRY_COMPARE(dialog->labelText(), QStringLiteral("Photo 2 of 3"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(w_->form->building());
        goOn.release();
        QVERIFY(w_->waitForBuild());

        QCOMPARE(opener_.opened.size(), 1);
        QCOMPARE(slideCount(opener_.opened.last()), 2);
        QCOMPARE(photos()->count(), 3);
        QVERIFY(!w_->form->findChild<QProgressDialog*>());
        QCOMPARE(w_->boxes.shown.size(), 1);
        QCOMPARE(w_->boxes.shown[0].style, 64);
        QVERIFY(w_->boxes.shown[0].text.startsWith(
            QStringLiteral("The slides made before you pressed Cancel are saved")));
        // Image1 holds the last picture measured.
        QVERIFY(w_->form->image1());
        QCOMPARE(w_->form->image1()->path, photos()->paths()[1]);
    }

    // The window paints while each photo of a long build through the real host is made: every
    // load waits, on the build's thread, for a paint the window was asked for after it began,
    // which a build on the window's thread would never see. bench_window_build times the paints.
    void theWindowPaintsWhileEachPhotoIsMade() {
        constexpr int kPhotos = 300;
        QTemporaryDir folder;
        const QString first =
            test::makePicture(folder.path(), QStringLiteral("p000.png"), "png", 32, 24);
        QVERIFY(!first.isEmpty());
        for (int i = 1; i < kPhotos; ++i)
            QVERIFY(QFile::copy(
                first, folder.filePath(QStringLiteral("p%1.png").arg(i, 3, 10, QLatin1Char('0')))));
        openOn(folder.path());
        addAllFiles();
        QCOMPARE(photos()->count(), kPhotos);
        // Long enough for the progress to show, however fast the machine.
        w_->loader.delay = 5;

        Form1* form = w_->form.get();
        bool asked = false; // on the window's thread
        QStringList progress;
        QSemaphore painted;
        test::EventWatch paints(form, QEvent::Paint, [&] {
            if (std::exchange(asked, false))
                painted.release();
        });
        std::atomic<int> onWindowThread = 0;
        std::atomic<int> unpainted = 0;
        w_->loader.whileLoading = [&] {
            if (QThread::currentThread() == form->thread()) {
                ++onWindowThread;
                return;
            }
            // A window kept from its events once is not waited for again.
            if (unpainted > 0)
                return;
            QMetaObject::invokeMethod(
                form,
                [&] {
                    asked = true;
                    form->update();
                    auto* dialog = form->findChild<QProgressDialog*>();
                    if (dialog && dialog->isVisible() && !progress.contains(dialog->labelText()))
                        progress << dialog->labelText();
                },
                Qt::QueuedConnection);
            if (!painted.tryAcquire(1, 60000))
                ++unpainted;
        };
        w_->click("cmdOneOne");
        const bool ended = w_->waitForBuild(600000);
        // Otherwise the build's thread is stopped before what it calls goes out of scope.
        if (!ended)
            w_.reset();
        QVERIFY(ended);
        w_->loader.whileLoading = nullptr;
        QCOMPARE(onWindowThread.load(), 0);
        QCOMPARE(unpainted.load(), 0);

        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        QCOMPARE(opener_.opened.size(), 1);
        QCOMPARE(slideCount(opener_.opened.last()), kPhotos);
        QVERIFY(!progress.isEmpty());
        QVERIFY2(progress.last().endsWith(QLatin1String(" of 300")), qPrintable(progress.last()));
        QCOMPARE(w_->form->image1()->path, photos()->paths().last());
        QCOMPARE(w_->loader.asked(), photos()->paths());
    }

    // A phone's folder: every picture is listed, placed, and drawn upright by LibreOffice.
    void phoneFolderListedPlacedUpright() {
        QTemporaryDir phone;
        const QList<std::pair<QString, int>> photos = {{"IMG_0001.HEIC", 6}, {"IMG_0002.heif", 3},
                                                       {"IMG_0003.avif", 8}, {"IMG_0004.webp", 6},
                                                       {"IMG_0005.jpeg", 6}, {"IMG_0006.tiff", 1}};
        for (const auto& [name, orientation] : photos) {
            const QByteArray format = name.section('.', 1).toLower().toLatin1();
            QVERIFY2(!test::writeTurned(phone.path(), name, test::uprightPhoto(),
                                        format.constData(), orientation)
                          .isEmpty(),
                     qPrintable(name));
        }
        openOn(phone.path());
        QCOMPARE(w_->list("File1")->count(), int(photos.size()));
        addAllFiles();

        const QString deck = press("cmdOneOne");
        QVERIFY2(w_->boxes.shown.isEmpty(), qPrintable(w_->boxes.shown.value(0).text));
        QCOMPARE(slideCount(deck), int(photos.size()));
        const QString pdfDir = phone.filePath(QStringLiteral("pdf"));
        CONVERT_TO_PDF({deck}, pdfDir);
        const QString pdf = test::pdfPathFor(deck, pdfDir);
        for (int i = 1; i <= photos.size(); ++i) {
            const QString png =
                test::renderPage(pdf, i, 72, phone.filePath(QStringLiteral("p%1").arg(i)));
            const QRectF frame = test::shownPictureFrame(
                test::partOf(deck, QStringLiteral("ppt/slides/slide%1.xml").arg(i)));
            const QString problem = test::uprightProblem(QImage(png), frame);
            QVERIFY2(problem.isEmpty(), qPrintable(photos[i - 1].first + ": " + problem));
        }
    }

    // Nothing thrown off the window's thread ends the window, and a thread that cannot start
    // ends the build as an error: each is told in the box, and the window goes on.
    void aFailureOffTheWindowsThreadIsReported_data() {
        QTest::addColumn<int>("call");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("the build's thread cannot start")
            << int(IoCall::StartThread) << EAGAIN
            << "Run-time error '75':\n\nPath/File access error: cannot start a thread";
        QTest::newRow("a picture's decoding runs out of memory")
            << int(IoCall::Allocate) << ENOMEM << "Run-time error '7':\n\nOut of memory";
    }
    void aFailureOffTheWindowsThreadIsReported() {
        QFETCH(int, call);
        QFETCH(int, error);
        QFETCH(QString, text);
        // Every picture is resized, so that the first is decoded.
        w_->newHost = [this] {
            PptxHostOptions o;
            o.documentsFolder = documents_.path();
            o.opener = &opener_;
            o.pixelsPerInch = kMinPixelsPerInch;
            return std::make_unique<PptxHost>(o);
        };
        addAllFiles();
        g_call = IoCall(call);
        g_error = error;
        setFaultHook(injected);
        const QString deck = press("cmdOneOne");
        setFaultHook(nullptr);
        QVERIFY(deck.isEmpty());
        QCOMPARE(w_->boxes.shown.size(), 1);
        QVERIFY2(w_->boxes.shown[0].text.startsWith(text), qPrintable(w_->boxes.shown[0].text));
        QCOMPARE(photos()->count(), 3);
        // The window builds again.
        QVERIFY(!press("cmdOneOne").isEmpty());
    }

    void aMissingPictureIsReportedAndTheListStays() {
        const QString gone =
            test::makePicture(pictures_.path(), QStringLiteral("gone.png"), "png", 10, 10);
        QVERIFY(!gone.isEmpty());
        init(); // File1 now lists gone.png too
        addAllFiles();
        QVERIFY(QFile::remove(gone));
        opener_.works = false; // as on a desktop without an application for decks
        const QString deck = press("cmdOneOne");
        QCOMPARE(w_->boxes.shown.size(), 1);
        const QString text = w_->boxes.shown[0].text;
        QVERIFY(text.startsWith(QStringLiteral("Run-time error '53':")));
        QVERIFY(text.contains(gone));
        QCOMPARE(photos()->count(), 4);
        // The slides made before the error are handed over all the same, and the box says
        // where they are.
        QVERIFY(QFile::exists(deck));
        QVERIFY(slideCount(deck) >= 3);
        QVERIFY2(text.contains(QStringLiteral("\nFile: %1\nFolder: %2\n")
                                   .arg(QFileInfo(deck).fileName(), documents_.path())),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("could not open")));
    }
};

QTEST_MAIN(TestForm1Build)
#include "test_form1_build.moc"
