#include "app/form1.h"
#include "browser/volumes.h"
#include "host/pptxhost.h"
#include "photolist/photolistwidget.h"
#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"
#include "support/scriptedboxes.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

namespace {

class OneVolume : public Volumes {
public:
    QList<Volume> list() override { return {{QStringLiteral("root"), QStringLiteral("/")}}; }
    QString currentFolder(const QString&) override { return QDir::currentPath(); }
};

class RecordingOpener : public DesktopOpener {
public:
    QStringList opened;
    void open(const QString& path) override { opened << path; }
};

int slideCount(const QString& pptx) {
    int n = 0;
    static const QRegularExpression slide(QStringLiteral("^ppt/slides/slide\\d+\\.xml$"));
    for (const auto& e : test::zipEntries(pptx))
        n += slide.match(e.name).hasMatch() ? 1 : 0;
    return n;
}

} // namespace

// The window end to end: real pictures, real clicks, the real host writing a deck.
class TestForm1Build : public QObject {
    Q_OBJECT

    QTemporaryDir pictures_;
    QTemporaryDir documents_;
    test::ScriptedMessageBoxes boxes_;
    OneVolume volumes_;
    HeaderPictureLoader loader_;
    RecordingOpener opener_;
    std::unique_ptr<Form1> form_;

    template <class T> T* control(const char* name) {
        return form_->findChild<T*>(QLatin1String(name));
    }
    QStringList photoList() { return control<PhotoListWidget>("List1")->texts(); }

    void addAllFiles() {
        auto* file1 = control<QListWidget>("File1");
        file1->setFocus();
        file1->setCurrentRow(0);
        file1->selectAll();
        QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
    }
    QString press(const char* button) {
        const int before = static_cast<int>(opener_.opened.size());
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
        return opener_.opened.size() > before ? opener_.opened.last() : QString();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(pictures_.isValid() && documents_.isValid());
        const QString d = pictures_.path();
        QVERIFY(!test::makePicture(d, QStringLiteral("a.png"), "png", 640, 480).isEmpty());
        QVERIFY(!test::makePicture(d, QStringLiteral("b.jpg"), "jpg", 300, 600).isEmpty());
        QVERIFY(!test::makePicture(d, QStringLiteral("c.gif"), "gif", 200, 200).isEmpty());
        QVERIFY(QDir::setCurrent(d));
    }

    void init() {
        boxes_.shown.clear();
        opener_.opened.clear();
        form_ = std::make_unique<Form1>(Services{boxes_, volumes_, loader_, [this] {
                                                     PptxHostOptions o;
                                                     o.documentsFolder = documents_.path();
                                                     o.opener = &opener_;
                                                     return std::make_unique<PptxHost>(o);
                                                 }});
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

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
        control<QCheckBox>("Check1")->setChecked(description);
        auto* list1 = control<PhotoListWidget>("List1");
        list1->item(1)->setSelected(true);
        list1->setCurrentRow(2, QItemSelectionModel::NoUpdate);
        const QStringList before = photoList();

        const QString deck = press(button.constData());
        QVERIFY2(boxes_.shown.isEmpty(), qPrintable(boxes_.shown.value(0).text));
        QVERIFY(deck.startsWith(documents_.path() + QStringLiteral("/Presentation ")));
        QVERIFY(QFile::exists(deck));
        QCOMPARE(slideCount(deck), slides);
        int described = 0;
        for (int i = 1; i <= slides; ++i) {
            const auto xml = test::readPart(deck, QStringLiteral("ppt/slides/slide%1.xml").arg(i));
            QVERIFY(xml);
            described += static_cast<int>(xml->count("<a:t>Description</a:t>"));
        }
        QCOMPARE(described, boxes);
        const auto check = test::validatePptx({deck});
        QVERIFY2(check.skipped || check.ok, qPrintable(check.output));

        // The window is as it was, but for the picture Image1 holds.
        QCOMPARE(photoList(), before);
        QCOMPARE(list1->currentRow(), 2);
        QVERIFY(list1->item(1)->isSelected());
        QCOMPARE(control<QLabel>("Label1")->text(), QStringLiteral("Added 3"));
        QVERIFY(form_->image1());
        QCOMPARE(form_->image1()->path, before.last());
    }

    void eachBuildWritesANewDeck() {
        addAllFiles();
        const QString first = press("cmdOneOne");
        const QString second = press("cmdOneOne");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        QVERIFY(first != second);
        QVERIFY(QFile::exists(first));
    }

    void emptyListGivesADeckWithoutSlides() {
        const QString deck = press("Command1");
        QVERIFY(QFile::exists(deck));
        QCOMPARE(slideCount(deck), 0);
    }

    void aMissingPictureIsReportedAndTheListStays() {
        const QString gone = pictures_.filePath(QStringLiteral("gone.png"));
        QVERIFY(!test::makePicture(pictures_.path(), QStringLiteral("gone.png"), "png", 10, 10)
                     .isEmpty());
        form_.reset();
        init(); // File1 now lists gone.png too
        addAllFiles();
        QVERIFY(QFile::remove(gone));
        const QString deck = press("cmdOneOne");
        QCOMPARE(boxes_.shown.size(), 1);
        QVERIFY(boxes_.shown[0].text.startsWith(QStringLiteral("Run-time error '53':")));
        QVERIFY(boxes_.shown[0].text.contains(gone));
        QCOMPARE(photoList().size(), 4);
        // The slides made before the error are handed over all the same.
        QVERIFY(QFile::exists(deck));
        QVERIFY(slideCount(deck) >= 3);
    }
};

QTEST_MAIN(TestForm1Build)
#include "test_form1_build.moc"
