// Decks written by the .pptx host, checked from outside: the package validator, and
// LibreOffice opening, printing and drawing them.

#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill::test;

namespace {

struct Deck {
    QString name;
    QStringList pictures;
    bool descriptions = false;
    int pages = 0;
};

bool dark(QRgb c) {
    return qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110;
}

} // namespace

class TestPptxHostRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decksOpenEverywhere();
};

void TestPptxHostRender::decksOpenEverywhere() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList all;
    for (const char* format : {"png", "jpeg", "gif", "bmp", "tiff", "wmf", "emf"}) {
        all << makePicture(dir.path(), QStringLiteral("photo.") + format, format, 160, 120);
        QVERIFY2(!all.back().isEmpty(), format);
    }
    const QString odd = makePicture(dir.path(), QStringLiteral("a&b <\"c\">.png"), "png", 90, 120);

    // LibreOffice gives a presentation without slides one empty page.
    const std::vector<Deck> decks{
        {QStringLiteral("formats"), all, false, 7},
        {QStringLiteral("described"), {all[0], odd, all[1]}, true, 3},
        {QStringLiteral("twice"), {all[1], all[1], odd, all[1]}, true, 4},
        {QStringLiteral("empty"), {}, false, 1},
    };
    QStringList files;
    for (const Deck& d : decks) {
        files << dir.filePath(d.name + QStringLiteral(".pptx"));
        writeDeck(files.back(), d.pictures, d.descriptions);
    }

    const QString pdfDir = dir.filePath(QStringLiteral("pdf"));
    CONVERT_TO_PDF(files, pdfDir);
    for (std::size_t i = 0; i < decks.size(); ++i)
        QCOMPARE(pdfPageCount(pdfPathFor(files[qsizetype(i)], pdfDir)), decks[i].pages);

    // Every format is drawn, filling its frame, inside a thin black border. At 288 dpi a
    // point is 4 pixels: the frame spans x 480..2400 and y 240..1680.
    const QString pdf = pdfPathFor(files[0], pdfDir);
    for (int page = 1; page <= 7; ++page) {
        const QString png =
            renderPage(pdf, page, 288, dir.filePath(QStringLiteral("p%1").arg(page)));
        QVERIFY(!png.isEmpty());
        const QImage img(png);
        QCOMPARE(img.size(), QSize(2880, 2160));
        const QRgb inside = img.pixel(1800, 1300);
        QVERIFY2(!dark(inside) && inside != qRgb(255, 255, 255),
                 qPrintable(QStringLiteral("page %1: nothing drawn in the frame").arg(page)));
        QVERIFY2(img.pixel(300, 960) == qRgb(255, 255, 255), "page background");
        bool border = false;
        for (int x = 474; x <= 486 && !border; ++x)
            border = dark(img.pixel(x, 1300));
        QVERIFY2(border, qPrintable(QStringLiteral("page %1: no border on the left").arg(page)));
        border = false;
        for (int y = 1674; y <= 1686 && !border; ++y)
            border = dark(img.pixel(1800, y));
        QVERIFY2(border, qPrintable(QStringLiteral("page %1: no border at the bottom").arg(page)));
    }
    if (qEnvironmentVariableIsSet("SLIDEMILL_KEEP_RENDER")) {
        const QString keep = qEnvironmentVariable("SLIDEMILL_KEEP_RENDER");
        QFile::copy(files[1], keep + QStringLiteral("/described.pptx"));
        QFile::copy(pdfPathFor(files[1], pdfDir), keep + QStringLiteral("/described.pdf"));
        QFile::copy(dir.filePath(QStringLiteral("p1.png")),
                    keep + QStringLiteral("/formats-1.png"));
        QFile::copy(dir.filePath(QStringLiteral("p6.png")),
                    keep + QStringLiteral("/formats-6.png"));
    }
    VERIFY_VALID_PPTX(files);
}

QTEST_GUILESS_MAIN(TestPptxHostRender)
#include "test_pptxhost_render.moc"
