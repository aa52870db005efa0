// The painter and the deck's own PDF against LibreOffice: the same decks drawn by each, slide by
// slide, at two pixels a point. Each picture must stand where LibreOffice puts it, to 2 pixels on
// every edge, and show the same photo (PSNR over what it shows); the text must stand where
// LibreOffice sets it.

#include "host/pdfwriter.h"
#include "host/pptxhost.h"
#include "pictures/slidepainter.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "slides/recordeddeck.h"
#include "support/deckcheck.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using namespace slidemill;
using namespace slidemill::test;

namespace {

constexpr int kDpi = 144;
constexpr double kScale = kDpi / 72.0;

// How far apart the two may draw an edge, in pixels.
constexpr int kEdgePixels = 2;
// The photos as both show them. LibreOffice's PDF stores each again as a JPEG of quality 90 and
// poppler and Qt resample it with other filters; a wrong crop, turn or grey falls below 20 dB.
constexpr double kMinPsnr = 28;
// Where the text stands: glyphs are hinted and anti-aliased by different engines.
constexpr double kTextPoints = 3;

// A photo with detail at every scale, in mid tones, so that no edge of it reads as the
// background or the line round it.
QString writePhoto(const QString& dir, const QString& name, QSize size, int seed) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double u = double(x) / size.width(), v = double(y) / size.height();
            const int r = 70 + int(110 * u) + int(30 * std::sin((x + seed * 7) / 23.0));
            const int g = 80 + int(100 * v) + int(25 * std::cos((y + seed * 13) / 17.0));
            const int b = 90 + ((x / 40 + y / 40 + seed) % 3) * 40;
            line[x] = qRgb(r, g, b);
        }
    }
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 60, 60));
    p.drawEllipse(
        QRectF(size.width() * 0.1, size.height() * 0.15, size.width() * 0.25, size.height() * 0.3));
    p.setBrush(QColor(60, 90, 200));
    p.drawRect(
        QRectF(size.width() * 0.6, size.height() * 0.55, size.width() * 0.3, size.height() * 0.2));
    p.end();
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path, "JPEG", 92))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

double psnr(const QImage& a, const QImage& b, const QRect& area) {
    double sum = 0;
    qint64 n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += d * d;
            n += 3;
        }
    if (n == 0 || sum == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

bool differs(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) >
           60;
}

// Where a picture's edges are drawn, found from outside along its middle row and column: the
// first pixel that is not the background, within 8 pixels of `expected`.
QRect edgesOf(const QImage& page, const QRect& expected, QRgb background) {
    const int cx = expected.center().x(), cy = expected.center().y();
    const auto first = [&](int from, int to, auto at) {
        const int step = from < to ? 1 : -1;
        for (int i = from; i != to; i += step)
            if (page.valid(at(i)) && differs(page.pixel(at(i)), background))
                return i;
        return to;
    };
    const int left =
        first(expected.left() - 8, expected.left() + 8, [&](int x) { return QPoint(x, cy); });
    const int right =
        first(expected.right() + 8, expected.right() - 8, [&](int x) { return QPoint(x, cy); });
    const int top =
        first(expected.top() - 8, expected.top() + 8, [&](int y) { return QPoint(cx, y); });
    const int bottom =
        first(expected.bottom() + 8, expected.bottom() - 8, [&](int y) { return QPoint(cx, y); });
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The box holding every pixel that differs from `background` inside `area`.
QRect inkIn(const QImage& page, const QRect& area, QRgb background) {
    QRect ink;
    const QRect a = area.intersected(page.rect());
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if (differs(page.pixel(x, y), background))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

QRect onPage(const QRectF& points) {
    return QRect(
        QPoint(int(std::lround(points.left() * kScale)), int(std::lround(points.top() * kScale))),
        QPoint(int(std::lround(points.right() * kScale)) - 1,
               int(std::lround(points.bottom() * kScale)) - 1));
}

// Where the deck's own PDF goes, beside LibreOffice's of it.
QString ourPdf(const QString& deck) {
    return QString(deck).replace(QLatin1String(".pptx"), QLatin1String("-slidemill.pdf"));
}

QString describe(const QRect& r) {
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

struct Row {
    const char* name;
    BuildOptions options;
    QList<int> photos;
    // The slide compared, from 0.
    int slide = 0;
};

} // namespace

class TestPainterRender : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void paintsAsLibreOffice_data();
    void paintsAsLibreOffice();
    void cleanupTestCase();

private:
    QTemporaryDir dir_;
    std::vector<Row> rows_;
    QStringList decks_;
    std::vector<RecordedDeck> recorded_;
    QString skipped_;
    QStringList figures_;
};

void TestPainterRender::initTestCase() {
    QVERIFY(dir_.isValid());
    QStringList photos;
    photos << writePhoto(dir_.path(), QStringLiteral("landscape.jpg"), {1200, 900}, 1)
           << writePhoto(dir_.path(), QStringLiteral("portrait.jpg"), {900, 1200}, 2)
           << writePhoto(dir_.path(), QStringLiteral("wide.jpg"), {1600, 900}, 3)
           << writePhoto(dir_.path(), QStringLiteral("square.jpg"), {1000, 1000}, 4);
    const auto add = [this](const char* name, auto set, QList<int> photos, int slide = 0) {
        Row row{name, {}, std::move(photos), slide};
        set(row.options);
        rows_.push_back(std::move(row));
    };
    add("one a slide with Description", [](BuildOptions& o) { o.caption = Caption::Description; },
        {0});
    add("two a slide, named",
        [](BuildOptions& o) {
            o.layout = Layout::TwoPerSlide;
            o.caption = Caption::Name;
        },
        {0, 1});
    add("four a slide with a caption",
        [](BuildOptions& o) {
            o.layout = Layout::FourPerSlide;
            o.caption = Caption::Text;
            o.captionText = QStringLiteral("Harbour");
        },
        {0, 1, 2, 3});
    add("fit, portrait", [](BuildOptions& o) { o.layout = Layout::Fit; }, {1});
    add("16:9, fill, cropped, the caption over it",
        [](BuildOptions& o) {
            o.wide = true;
            o.layout = Layout::Fill;
            o.caption = Caption::Text;
            o.captionText = QStringLiteral("Evening at the harbour");
        },
        {0});
    add("title slide",
        [](BuildOptions& o) {
            o.title = QStringLiteral("Summer by the sea");
            o.subtitle = QStringLiteral("June 2026");
        },
        {0});
    add("16:9, fit, named",
        [](BuildOptions& o) {
            o.wide = true;
            o.layout = Layout::Fit;
            o.caption = Caption::Name;
        },
        {0});
    add("16:9, two, black",
        [](BuildOptions& o) {
            o.wide = true;
            o.layout = Layout::TwoPerSlide;
            o.background = 0x000000;
            o.caption = Caption::Name;
        },
        {2, 3});
    add("greys", [](BuildOptions& o) { o.grey = true; }, {3});
    add("turned a quarter", [](BuildOptions& o) { o.photos = {PhotoSettings{QString(), 1}}; }, {0});

    HeaderPictureLoader loader;
    for (const Row& row : rows_) {
        QStringList paths;
        for (int i : row.photos)
            paths << photos[i];
        const QString deck = dir_.filePath(
            QString::fromLatin1(row.name).replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")),
                                                  QStringLiteral("-")) +
            QStringLiteral(".pptx"));
        PptxHostOptions options{deck, {}, false, nullptr};
        options.pixelsPerInch = 0;
        PptxHost host(options);
        buildSlides(paths, row.options, loader, host);
        decks_ << deck;
        DeckRecorder recorder;
        buildSlides(paths, row.options, loader, recorder);
        recorded_.push_back(recorder.deck);
        PdfOptions pdf;
        pdf.pixelsPerInch = 0;
        QVERIFY(writePdf(recorder.deck, ourPdf(deck), pdf));
    }

    // One LibreOffice run draws every deck.
    const CheckResult converted = convertToPdf(decks_, dir_.path());
    if (converted.skipped)
        skipped_ = converted.output;
    else
        QVERIFY2(converted.ok, qPrintable(converted.output));
}

void TestPainterRender::paintsAsLibreOffice_data() {
    QTest::addColumn<int>("row");
    for (std::size_t k = 0; k < rows_.size(); ++k)
        QTest::newRow(rows_[k].name) << int(k);
}

void TestPainterRender::cleanupTestCase() {
    qInfo("%s", qPrintable(figures_.join(QStringLiteral("; "))));
}

void TestPainterRender::paintsAsLibreOffice() {
    QFETCH(int, row);
    if (!skipped_.isEmpty())
        QSKIP(qPrintable(skipped_));
    const std::size_t k = std::size_t(row);
    QStringList& figures = figures_;
    const QStringList& decks = decks_;
    {
        const Row& row = rows_[k];
        const RecordedDeck& deck = recorded_[k];
        const RecordedSlide& slide = deck.slides[std::size_t(row.slide)];
        const QString rendered = renderPage(pdfPathFor(decks[int(k)], dir_.path()), row.slide + 1,
                                            kDpi, dir_.filePath(QStringLiteral("page%1").arg(k)));
        QVERIFY2(!rendered.isEmpty(), row.name);
        const QImage office = QImage(rendered).convertToFormat(QImage::Format_RGB32);
        // The painter's slide, and the page of the deck's own PDF as poppler draws it.
        const QImage painted =
            paintedSlide(deck, slide, office.size(), [](const RecordedShape& shape, QSize pixels) {
                return decodeUpright(shape.picture, pixels);
            });
        const QString page = renderPage(ourPdf(decks[int(k)]), row.slide + 1, kDpi,
                                        dir_.filePath(QStringLiteral("ours%1").arg(k)));
        QVERIFY2(!page.isEmpty(), row.name);
        const QImage ours = QImage(page).convertToFormat(QImage::Format_RGB32);
        const QSize expected(int(std::lround(deck.slideSize.width() * kScale)),
                             int(std::lround(deck.slideSize.height() * kScale)));
        // LibreOffice's page may be a pixel wider: its slide width is rounded to hundredths of a
        // millimetre.
        QVERIFY2(std::abs(office.width() - expected.width()) <= 1 &&
                     std::abs(office.height() - expected.height()) <= 1,
                 qPrintable(describe(office.rect())));
        const QRgb background = QRgb(0xFF000000u | deck.background);
        for (const auto& [by, drawn] :
             {std::pair{QStringLiteral("here"), painted}, {QStringLiteral("in the PDF"), ours}}) {
            QVERIFY2(std::abs(drawn.width() - office.width()) <= 1 &&
                         std::abs(drawn.height() - office.height()) <= 1,
                     qPrintable(by + QLatin1Char(' ') + describe(drawn.rect())));
            for (const RecordedShape& shape : slide.shapes) {
                if (shape.kind == RecordedShape::Kind::Picture) {
                    QRectF shown = shape.visible();
                    if (std::lround(shape.rotation) % 180 != 0)
                        shown = QRectF(0, 0, shown.height(), shown.width())
                                    .translated(shown.center() -
                                                QPointF(shown.height() / 2, shown.width() / 2));
                    const QRect at = onPage(shown);
                    const QRect inOffice = edgesOf(office, at, background);
                    const QRect inDrawn = edgesOf(drawn, at, background);
                    const QString where =
                        QStringLiteral("%1: %2 drawn at %3 by LibreOffice, %4 %5")
                            .arg(QLatin1String(row.name), shape.path.section('/', -1),
                                 describe(inOffice), describe(inDrawn), by);
                    for (const auto& [a, b] : {std::pair{inOffice.left(), inDrawn.left()},
                                               {inOffice.right(), inDrawn.right()},
                                               {inOffice.top(), inDrawn.top()},
                                               {inOffice.bottom(), inDrawn.bottom()}})
                        QVERIFY2(std::abs(a - b) <= kEdgePixels, qPrintable(where));
                    const double db = psnr(office, drawn, at.adjusted(4, 4, -4, -4));
                    figures << QStringLiteral("%1 %2 %3: %4 dB")
                                   .arg(QLatin1String(row.name), shape.path.section('/', -1), by)
                                   .arg(db, 0, 'f', 1);
                    QVERIFY2(db >= kMinPsnr, qPrintable(figures.last()));
                    continue;
                }
                if (shape.text.isEmpty())
                    continue;
                // The text's ink, away from any picture under a band.
                const QRect box = onPage(shape.frame);
                const QRgb under =
                    shape.fill >= 0 ? QRgb(0xFF000000u | std::uint32_t(shape.fill)) : background;
                if (shape.fill >= 0)
                    continue; // over a photo: its ink is not told from the photo's
                const QRect a = inkIn(office, box, under), b = inkIn(drawn, box, under);
                const QString where =
                    QStringLiteral("%1: \"%2\" set at %3 by LibreOffice, %4 %5")
                        .arg(QLatin1String(row.name), shape.text, describe(a), describe(b), by);
                QVERIFY2(!a.isEmpty() && !b.isEmpty(), qPrintable(where));
                const int slack = int(std::lround(kTextPoints * kScale));
                QVERIFY2(std::abs(a.left() - b.left()) <= slack &&
                             std::abs(a.right() - b.right()) <= slack &&
                             std::abs(a.top() - b.top()) <= slack &&
                             std::abs(a.bottom() - b.bottom()) <= slack,
                         qPrintable(where));
            }
        }
    }
}

QTEST_MAIN(TestPainterRender)
#include "test_painter_render.moc"
