// Decks of every layout with captions, a title slide, 16:9 slides, backgrounds and shows, drawn
// by LibreOffice: each picture, caption and title shows where the arithmetic puts it.

#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "slides/placement.h"
#include "support/deckcheck.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill;
using namespace slidemill::test;

namespace {

// Pages are drawn at 144 dpi: two pixels a point.
constexpr int kDpi = 144;
constexpr double kPixelsPerPoint = kDpi / 72.0;

struct Photo {
    QString name;
    QSize size;
    QRgb colour;
};

// Solid photos of distinct colours, so that each is found where it belongs.
const QList<Photo> kPhotos{
    {QStringLiteral("landscape.png"), {640, 480}, qRgb(240, 160, 160)},
    {QStringLiteral("portrait.png"), {480, 640}, qRgb(160, 240, 160)},
    {QStringLiteral("square.png"), {500, 500}, qRgb(160, 160, 240)},
    {QStringLiteral("panorama.png"), {1200, 300}, qRgb(240, 240, 140)},
    {QStringLiteral("wide.png"), {1920, 1080}, qRgb(240, 150, 240)},
};

struct Deck {
    QString name;
    BuildOptions options;
    QList<int> photos; // indexes into kPhotos
};

bool dark(QRgb c) {
    return qRed(c) < 130 && qGreen(c) < 130 && qBlue(c) < 130;
}

// Text: black, or the subtitle's grey; on a dark background, white.
bool inked(QRgb c, bool onDark = false) {
    return onDark ? qGray(c) > 200 : qGray(c) < 170;
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 24 && std::abs(qGreen(a) - qGreen(b)) < 24 &&
           std::abs(qBlue(a) - qBlue(b)) < 24;
}

QPoint px(double x, double y) {
    return {int(std::lround(x * kPixelsPerPoint)), int(std::lround(y * kPixelsPerPoint))};
}

// Whether a dark pixel lies within two pixels of p, across the line through it.
bool lineNear(const QImage& page, QPoint p, bool vertical) {
    for (int d = -2; d <= 2; ++d) {
        const QPoint q = vertical ? p + QPoint(d, 0) : p + QPoint(0, d);
        if (page.valid(q) && dark(page.pixel(q)))
            return true;
    }
    return false;
}

// A picture of `colour` fills `frame` (points), inside a thin dark border, on the background;
// an edge on the page's edge is checked inside only.
QString pictureProblem(const QImage& page, const QRectF& frame, QRgb colour,
                       QRgb background = qRgb(255, 255, 255)) {
    const QRectF f = frame;
    const double cx = f.center().x(), cy = f.center().y();
    const double in = 6;
    for (const QPoint p :
         {px(cx, cy), px(f.left() + in, f.top() + in), px(f.right() - in, f.bottom() - in)}) {
        if (!near(page.pixel(p), colour))
            return QStringLiteral("not its colour inside");
    }
    const double out = 3;
    const QPoint edges[] = {px(f.left(), cy), px(f.right(), cy), px(cx, f.top()),
                            px(cx, f.bottom())};
    const QPoint outside[] = {px(f.left() - out, cy), px(f.right() + out, cy),
                              px(cx, f.top() - out), px(cx, f.bottom() + out)};
    for (int i = 0; i < 4; ++i) {
        if (!page.valid(outside[i]))
            continue;
        if (!lineNear(page, edges[i], i < 2) && background != qRgb(0, 0, 0))
            return QStringLiteral("no border on an edge");
        if (!near(page.pixel(outside[i]), background))
            return QStringLiteral("not the background just outside");
    }
    return {};
}

// The box holding every pixel of text inside `area` (points), in points; empty when none is.
QRectF inkIn(const QImage& page, const QRectF& area, bool onDark = false) {
    const QRect a = QRect(px(area.left(), area.top()), px(area.right(), area.bottom()))
                        .intersected(page.rect());
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
    for (int y = a.top(); y <= a.bottom(); ++y) {
        for (int x = a.left(); x <= a.right(); ++x) {
            if (!inked(page.pixel(x, y), onDark))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return {};
    return QRectF(left / kPixelsPerPoint, top / kPixelsPerPoint,
                  (right - left + 1) / kPixelsPerPoint, (bottom - top + 1) / kPixelsPerPoint);
}

QString describe(const QRectF& r) {
    return QStringLiteral("(%1, %2, %3 x %4)")
        .arg(r.x(), 0, 'f', 1)
        .arg(r.y(), 0, 'f', 1)
        .arg(r.width(), 0, 'f', 1)
        .arg(r.height(), 0, 'f', 1);
}

// The package validator's verdict; where it cannot run, the log says why and the drawing is
// checked all the same.
void verifyValidUnlessUnchecked(const QStringList& files) {
    const CheckResult valid = validatePptx(files);
    if (valid.skipped)
        qInfo("%s", qPrintable(valid.output));
    else
        QVERIFY2(valid.ok, qPrintable(valid.output));
}

} // namespace

class TestAlbumRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachLayoutWhereTheArithmeticPutsIt();
    void everyCombinationOpens();
};

void TestAlbumRender::eachLayoutWhereTheArithmeticPutsIt() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList paths;
    for (const Photo& p : kPhotos) {
        QImage image(p.size, QImage::Format_RGB32);
        image.fill(p.colour);
        paths << dir.filePath(p.name);
        QVERIFY(image.save(paths.back()));
    }

    // A title's subtitle is given, or the span of the files' times as the captions show them.
    const auto options = [](Layout layout, Caption caption, bool wide, const QString& title) {
        BuildOptions o;
        o.layout = layout;
        o.caption = caption;
        o.wide = wide;
        o.title = title;
        if (!title.isEmpty() && caption != Caption::Date)
            o.subtitle = QStringLiteral("July 2026");
        return o;
    };
    std::vector<Deck> decks{
        {QStringLiteral("one-wide"),
         options(Layout::OnePerSlide, Caption::Description, true, {}),
         {0, 1}},
        {QStringLiteral("two-wide"), options(Layout::TwoPerSlide, Caption::Name, true, {}), {0, 1}},
        {QStringLiteral("four-titled"),
         options(Layout::FourPerSlide, Caption::Date, false, QStringLiteral("Summer")),
         {0, 1, 2, 3, 4}},
        {QStringLiteral("four-wide-titled"),
         options(Layout::FourPerSlide, Caption::Name, true, QStringLiteral("Crete")),
         {4, 3, 2}},
        {QStringLiteral("one-panorama"),
         options(Layout::OnePerSlide, Caption::Name, false, {}),
         {3, 1}},
        {QStringLiteral("fit"), options(Layout::Fit, Caption::Name, false, {}), {1, 3, 4}},
        {QStringLiteral("fit-wide-black"),
         options(Layout::Fit, Caption::Name, true, {}),
         {1, 0, 4}},
        {QStringLiteral("fill-black"), options(Layout::Fill, Caption::Name, false, {}), {0, 1, 3}},
        {QStringLiteral("fill-wide"), options(Layout::Fill, Caption::None, true, {}), {0, 1}},
    };
    // On black, with white text.
    for (Deck& d : decks)
        if (d.name.endsWith(QLatin1String("black")))
            d.options.background = 0x000000;
    QStringList files;
    for (const Deck& d : decks) {
        QStringList photos;
        for (const int i : d.photos)
            photos << paths[i];
        files << dir.filePath(d.name + QStringLiteral(".pptx"));
        HeaderPictureLoader loader;
        PptxHost host(PptxHostOptions{files.back(), {}, false, nullptr});
        buildSlides(photos, d.options, loader, host);
    }

    verifyValidUnlessUnchecked(files);
    const QString pdfDir = dir.filePath(QStringLiteral("pdf"));
    CONVERT_TO_PDF(files, pdfDir);

    for (std::size_t n = 0; n < decks.size(); ++n) {
        const Deck& d = decks[n];
        const BuildOptions& o = d.options;
        const QString pdf = pdfPathFor(files[qsizetype(n)], pdfDir);
        const int titled = o.title.isEmpty() ? 0 : 1;
        QCOMPARE(pdfPageCount(pdf), int(slidesFor(d.photos.size(), o)));
        const double slideWidth = o.wide ? 960 : 720;
        const auto page = [&](int number) {
            return QImage(renderPage(
                pdf, number, kDpi, dir.filePath(QStringLiteral("%1-%2").arg(d.name).arg(number))));
        };
        const auto fail = [&](int number, const QString& what) {
            return qPrintable(QStringLiteral("%1, page %2: %3").arg(d.name).arg(number).arg(what));
        };

        if (titled) {
            // The title and subtitle centred across the slide, in their layout's frames
            // (54 and 108 points in on a 720-point slide, moved with it).
            const QImage first = page(1);
            // LibreOffice keeps sizes in 1/100 mm: 960 points come back as 960.01.
            QVERIFY2(std::abs(first.width() - slideWidth * kPixelsPerPoint) <= 1,
                     fail(1, QStringLiteral("%1 pixels wide").arg(first.width())));
            const double dx = (slideWidth - 720) / 2;
            const QRectF title = inkIn(first, QRectF(54 + dx, 167.75, 612, 115.75));
            const QRectF subtitle = inkIn(first, QRectF(108 + dx, 306, 504, 138));
            QVERIFY2(!title.isEmpty() && !subtitle.isEmpty(), fail(1, "no title or subtitle"));
            QVERIFY2(std::abs(title.center().x() - slideWidth / 2) < 4,
                     fail(1, QStringLiteral("title at ") + describe(title)));
            QVERIFY2(std::abs(subtitle.center().x() - slideWidth / 2) < 4,
                     fail(1, QStringLiteral("subtitle at ") + describe(subtitle)));
            // The heading font is larger than the body font.
            QVERIFY2(title.height() > subtitle.height(), fail(1, "title not larger"));
        }

        const int perSlide = o.layout == Layout::FourPerSlide  ? 4
                             : o.layout == Layout::TwoPerSlide ? 2
                                                               : 1;
        const bool onDark = o.background == 0x000000;
        const QRgb background = onDark ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        const auto width16 = std::int16_t(slideWidth);
        QImage shown;
        for (int k = 0; k < d.photos.size(); ++k) {
            const int number = titled + k / perSlide + 1;
            if (k % perSlide == 0)
                shown = page(number);
            const Photo& photo = kPhotos[d.photos[k]];
            const Picture picture = readPicture(paths[d.photos[k]]);
            const int slot = k % perSlide;
            SlotPlacement at;
            switch (o.layout) {
            case Layout::OnePerSlide:
                at = placeOneOne(picture, width16);
                break;
            case Layout::TwoPerSlide:
            case Layout::FourPerSlide:
                at = o.layout == Layout::TwoPerSlide ? placeTwoOne(picture, slot)
                                                     : placeFourOne(picture, slot);
                if (o.wide)
                    at = movedRight(at, 120);
                break;
            case Layout::Fit:
                at = placeFit(picture, width16);
                break;
            case Layout::Fill:
                at = placeFill(picture, width16);
                break;
            }
            const PhotoPlacement v = at.visible();
            const QRectF frame(v.left, v.top, v.width, v.height);
            const QString problem = pictureProblem(shown, frame, photo.colour, background);
            QVERIFY2(problem.isEmpty(), fail(number, photo.name + QStringLiteral(" at ") +
                                                         describe(frame) + ": " + problem));
            if (o.caption == Caption::None)
                continue;
            if (o.caption == Caption::Description) {
                // The description's first line starts in its box, left-aligned, a line of
                // 12-point text high at most.
                const QRectF box(at.description.left, at.description.top,
                                 std::min(at.description.width, 200.0), 22);
                const QRectF ink = inkIn(shown, box, onDark);
                QVERIFY2(!ink.isEmpty() && ink.left() - box.left() < 12 && ink.height() < 16,
                         fail(number, photo.name + QStringLiteral(": description in ") +
                                          describe(box) + QStringLiteral(" drawn at ") +
                                          describe(ink)));
                continue;
            }
            // A caption: one line centred under its photo, or on its foot; in the colour that
            // reads on the background, or on the band over the photo.
            bool over = false;
            const double floor =
                o.layout == Layout::FourPerSlide && slot < 2 ? 275 : double(kSlideHeight);
            const TextboxFrame c = placeCaption(v, 1, width16, floor, over);
            const QRectF box(c.left, c.top, c.width, c.height);
            const QRectF ink = inkIn(shown, box, onDark);
            QVERIFY2(!ink.isEmpty() && std::abs(ink.center().x() - box.center().x()) < 4 &&
                         ink.height() < 16,
                     fail(number, photo.name + QStringLiteral(": caption in ") + describe(box) +
                                      QStringLiteral(" drawn at ") + describe(ink)));
        }
    }
}

// Every layout with every kind of caption, with and without a title slide, on 4:3 and 16:9
// slides, with backgrounds, greys and the show's options in turn, some as slide show files:
// each deck passes the package validator, and LibreOffice opens it with its slides.
void TestAlbumRender::everyCombinationOpens() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList photos;
    for (const Photo& p : kPhotos.mid(0, 3)) {
        QImage image(p.size / 8, QImage::Format_RGB32);
        image.fill(p.colour);
        photos << dir.filePath(p.name);
        QVERIFY(image.save(photos.back()));
    }
    QStringList files;
    QList<int> slides;
    int n = 0;
    for (const Layout layout : {Layout::OnePerSlide, Layout::TwoPerSlide, Layout::FourPerSlide,
                                Layout::Fit, Layout::Fill}) {
        for (const Caption caption :
             {Caption::None, Caption::Description, Caption::Name, Caption::Date, Caption::Text}) {
            for (const bool titled : {false, true}) {
                for (const bool wide : {false, true}) {
                    BuildOptions o;
                    o.layout = layout;
                    o.caption = caption;
                    o.captionText = QStringLiteral("Harbour <at> \"dusk\" & night");
                    o.title = titled ? QStringLiteral("Crete & <Rhodes>") : QString();
                    o.wide = wide;
                    // The show's options in turn, so that each meets every layout.
                    ++n;
                    o.background = n % 3 == 0 ? 0x000000 : n % 3 == 1 ? 0xFFFFFF : 0x1D3557;
                    o.grey = n % 2 == 0;
                    o.advanceSeconds = n % 4;
                    o.loop = n % 5 < 2;
                    o.transition = Transition(n % 4);
                    files << dir.filePath(QStringLiteral("deck%1.%2")
                                              .arg(files.size())
                                              .arg(n % 7 == 0 ? "ppsx" : "pptx"));
                    HeaderPictureLoader loader;
                    PptxHost host(PptxHostOptions{files.back(), {}, false, nullptr});
                    buildSlides(photos, o, loader, host);
                    slides << int(slidesFor(photos.size(), o));
                }
            }
        }
    }
    verifyValidUnlessUnchecked(files);
    const QString pdfDir = dir.filePath(QStringLiteral("pdf"));
    CONVERT_TO_PDF(files, pdfDir);
    for (qsizetype i = 0; i < files.size(); ++i)
        QCOMPARE(pdfPageCount(pdfPathFor(files[i], pdfDir)), slides[i]);
}

QTEST_GUILESS_MAIN(TestAlbumRender)
#include "test_album_render.moc"
