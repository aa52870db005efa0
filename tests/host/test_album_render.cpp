// Decks of every layout with captions, a title slide, 16:9 slides, backgrounds and shows, drawn
// by LibreOffice: each picture, caption and title shows where the arithmetic puts it. A photo
// show, read back by LibreOffice and drawn.

#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "slides/placement.h"
#include "support/deckcheck.h"

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <functional>

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

// Text: black, or the subtitle's grey.
bool inked(QRgb c) {
    return qGray(c) < 170;
}

// Text on a dark background: white.
bool lightInk(QRgb c) {
    return qGray(c) > 200;
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
    // The top corners: a caption may stand on the picture's foot.
    for (const QPoint p :
         {px(cx, cy), px(f.left() + in, f.top() + in), px(f.right() - in, f.top() + in)}) {
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
QRectF inkIn(const QImage& page, const QRectF& area, const std::function<bool(QRgb)>& ink = inked) {
    const QRect a = QRect(px(area.left(), area.top()), px(area.right(), area.bottom()))
                        .intersected(page.rect());
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
    for (int y = a.top(); y <= a.bottom(); ++y) {
        for (int x = a.left(); x <= a.right(); ++x) {
            if (!ink(page.pixel(x, y)))
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

// The slides of a show's deck: each moves on by itself after 5 seconds, in its own way.
struct ShowSlide {
    std::int32_t transition;
    // The transition as LibreOffice writes it down: smil:type.
    const char* smilType;
};
const QList<ShowSlide> kShowSlides{{kTransitionFade, "fade"},
                                   {kTransitionPush, "pushWipe"},
                                   {kTransitionWipe, "barWipe"},
                                   {kTransitionNone, nullptr}};

// Where the show's slides put things, in points on a 960 x 540 slide.
// The bands photo is added 720 high, 150 above the slide, and cropped 150 at the top and 30 at
// the bottom: its bands (a quarter, a half, a quarter) show at -150..30, 30..390, 390..570.
const QRectF kBandsAdded(0, -150, 960, 720);
const QRectF kGreyFrame(240, 40, 480, 360);
const QRectF kCaptionBox(240, 420, 480, 40);

// A photo show: 16:9, black, looping, every picture and caption on it.
void writeShow(const QString& out, const QString& bands, const QString& colour) {
    PptxHost host(PptxHostOptions{out, {}, false, nullptr});
    host.createApplication();
    host.addPresentation(kMsoTrue);
    host.setSlideSize(960, 540);
    host.setBackgroundColor(0x000000);
    host.setLoopUntilStopped(kMsoTrue);
    for (const ShowSlide& s : kShowSlides) {
        host.addSlide(host.slideCount() + 1, kLayoutBlank);
        if (host.slideCount() % 2 == 1) {
            host.addPicture(readPicture(bands), kMsoFalse, kMsoTrue, float(kBandsAdded.x()),
                            float(kBandsAdded.y()), float(kBandsAdded.width()),
                            float(kBandsAdded.height()));
            host.setPictureCrop(0, 150, 0, 30);
        } else {
            host.addPicture(readPicture(colour), kMsoFalse, kMsoTrue, float(kGreyFrame.x()),
                            float(kGreyFrame.y()), float(kGreyFrame.width()),
                            float(kGreyFrame.height()));
            host.setPictureColorType(kPictureColorGrayscale);
        }
        host.releasePicture();
        host.addTextbox(kTextOrientationHorizontal, float(kCaptionBox.x()), float(kCaptionBox.y()),
                        float(kCaptionBox.width()), float(kCaptionBox.height()));
        host.textRange();
        host.setText(QStringLiteral("Harbour"));
        host.setFontSize(24);
        host.setFontColor(0xFFFFFF);
        host.setParagraphAlignment(kAlignCenter);
        host.releaseTextRange();
        host.setSlideShowTransition(s.transition, 5);
    }
    if (const auto failed = host.endBuild(PresentationHost::Outcome::Completed))
        QFAIL(qPrintable(failed->text()));
}

// Attributes by qualified name.
using Attributes = QHash<QString, QString>;

// What LibreOffice read of a show, from its content.xml: each slide's drawing-page properties,
// in slide order, and the show's settings.
struct ShowRead {
    QList<Attributes> pages;
    Attributes settings;
    QString error;
};

// An ISO 8601 duration ("PT5S", "PT00H00M05S") in seconds; -1 when it is not one.
double seconds(const QString& duration) {
    static const QRegularExpression iso(
        QStringLiteral("^PT(?:(\\d+)H)?(?:(\\d+)M)?(?:(\\d+(?:\\.\\d+)?)S)?$"));
    const QRegularExpressionMatch m = iso.match(duration);
    if (!m.hasMatch() || duration == QLatin1String("PT"))
        return -1;
    return m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
           m.captured(3).toDouble();
}

ShowRead readShow(const QByteArray& content) {
    const auto attributes = [](const QXmlStreamReader& r) {
        Attributes out;
        for (const QXmlStreamAttribute& a : r.attributes())
            out.insert(a.qualifiedName().toString(), a.value().toString());
        return out;
    };
    QHash<QString, Attributes> styles;
    QStringList pageStyles;
    ShowRead read;
    QXmlStreamReader r(content);
    QString style;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = r.qualifiedName().toString();
        if (name == QLatin1String("style:style"))
            style = attributes(r).value(QStringLiteral("style:name"));
        else if (name == QLatin1String("style:drawing-page-properties"))
            styles.insert(style, attributes(r));
        else if (name == QLatin1String("draw:page"))
            pageStyles << attributes(r).value(QStringLiteral("draw:style-name"));
        else if (name == QLatin1String("presentation:settings"))
            read.settings = attributes(r);
    }
    for (const QString& s : pageStyles)
        read.pages << styles.value(s);
    read.error = r.errorString();
    return read;
}

} // namespace

class TestAlbumRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachLayoutWhereTheArithmeticPutsIt();
    void everyCombinationOpens();
    void showReadBackAndDrawn();
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

    // A title's subtitle is given: these photos tell no date taken, so no span of days.
    const auto options = [](Layout layout, Caption caption, bool wide, const QString& title) {
        BuildOptions o;
        o.layout = layout;
        o.caption = caption;
        o.wide = wide;
        o.title = title;
        if (!title.isEmpty())
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
        {QStringLiteral("fit-wide-24pt-black"),
         options(Layout::Fit, Caption::Text, true, {}),
         {0, 4}},
    };
    // On black, with white text.
    for (Deck& d : decks)
        if (d.name.endsWith(QLatin1String("black")))
            d.options.background = 0x000000;
    // Two lines in the band beside a 4:3 photo, 100.6 points between the box's insets: the box
    // grows up from the slide's foot.
    decks.back().options.captionSize = 24;
    decks.back().options.captionText = QStringLiteral("Harbour at dusk");
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
            const bool captioned = o.caption != Caption::None && o.caption != Caption::Description;
            const double points = captionPoints(o);
            const PlacedSlot placed =
                placeSlot(picture, o.layout, slot, width16, captioned ? 1 : 0, points);
            const SlotPlacement& at = placed.photo;
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
                const QRectF ink = inkIn(shown, box, onDark ? lightInk : inked);
                QVERIFY2(!ink.isEmpty() && ink.left() - box.left() < 12 && ink.height() < 16,
                         fail(number, photo.name + QStringLiteral(": description in ") +
                                          describe(box) + QStringLiteral(" drawn at ") +
                                          describe(ink)));
                continue;
            }
            // A caption in the colour that reads on the background, or on the band over the
            // photo: centred under its photo or on its foot, a line of its size high; or in the
            // band beside it, its text from the inset toward the photo, its last line on the
            // box's foot, however many lines it wraps to.
            const TextboxFrame& c = placed.caption.box;
            const QRectF box = QRectF(c.left, c.top, c.width, c.height);
            const auto ink = [&](const QRectF& area) {
                return inkIn(shown, area, onDark ? lightInk : inked);
            };
            switch (placed.caption.spot) {
            case CaptionSpot::Under:
            case CaptionSpot::OverPicture: {
                // Inside the picture's border, where the caption stands on its foot.
                const QRectF drawn = ink(box.adjusted(2, 0, -2, -2));
                QVERIFY2(!drawn.isEmpty() && std::abs(drawn.center().x() - box.center().x()) < 4 &&
                             drawn.height() > 0.6 * points && drawn.height() < 1.25 * points,
                         fail(number, photo.name + QStringLiteral(": caption in ") + describe(box) +
                                          QStringLiteral(" drawn at ") + describe(drawn)));
                break;
            }
            case CaptionSpot::LeftOf:
            case CaptionSpot::RightOf: {
                // Short of the page's last pixels, which LibreOffice's 960.01 points leave
                // white.
                const QRectF band(c.left, 0, c.width - 1, kSlideHeight - 1);
                const QRectF drawn = ink(band);
                const bool toward = placed.caption.spot == CaptionSpot::RightOf
                                        ? std::abs(drawn.left() - (box.left() + kTextInset)) < 4
                                        : std::abs(drawn.right() - (box.right() - kTextInset)) < 4;
                const bool wraps = d.name.contains(QLatin1String("24pt"));
                QVERIFY2(!drawn.isEmpty() && toward && drawn.bottom() <= box.bottom() &&
                             drawn.bottom() > box.bottom() - 3.6 - 0.5 * points &&
                             drawn.top() > box.top() - (wraps ? 1.5 : 0.5) * points &&
                             (drawn.top() < box.top()) == wraps,
                         fail(number, photo.name + QStringLiteral(": caption beside it in ") +
                                          describe(box) + QStringLiteral(" drawn at ") +
                                          describe(drawn)));
                break;
            }
            }
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
                    o.advanceMs = n % 4 * 1000;
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

// A show on a black background, as LibreOffice reads it back and draws it: every slide moves
// on after 5 seconds in its own way and the show runs until stopped; the photo cropped to the
// slide shows the part asked for, the grey one is grey, the caption is white and centred. The
// same deck saved as .ppsx opens too.
void TestAlbumRender::showReadBackAndDrawn() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage bands(400, 300, QImage::Format_RGB32);
    bands.fill(qRgb(80, 200, 80));
    for (int y = 0; y < 75; ++y) {
        for (int x = 0; x < 400; ++x) {
            bands.setPixel(x, y, qRgb(230, 80, 80));
            bands.setPixel(x, 299 - y, qRgb(80, 80, 230));
        }
    }
    QImage colour(320, 240, QImage::Format_RGB32);
    colour.fill(qRgb(220, 60, 40));
    const QString bandsPath = dir.filePath(QStringLiteral("bands.png"));
    const QString colourPath = dir.filePath(QStringLiteral("colour.png"));
    QVERIFY(bands.save(bandsPath) && colour.save(colourPath));
    const QString show = dir.filePath(QStringLiteral("show.pptx"));
    const QString autoShow = dir.filePath(QStringLiteral("autoshow.ppsx"));
    writeShow(show, bandsPath, colourPath);
    writeShow(autoShow, bandsPath, colourPath);
    QVERIFY(!QTest::currentTestFailed());
    verifyValidUnlessUnchecked({show, autoShow});

    // What LibreOffice read: the deck written down in its own format.
    const QString odpDir = dir.filePath(QStringLiteral("odp"));
    const CheckResult converted = convertTo({show}, odpDir, QStringLiteral("odp"));
    if (converted.skipped)
        QSKIP(qPrintable(converted.output));
    QVERIFY2(converted.ok, qPrintable(converted.output));
    const QString odp = convertedPathFor(show, odpDir, QStringLiteral("odp"));
    const ShowRead read = readShow(partOf(odp, QStringLiteral("content.xml")));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.pages.size(), kShowSlides.size());
    for (qsizetype i = 0; i < read.pages.size(); ++i) {
        const Attributes& page = read.pages[i];
        const QString where = QStringLiteral("slide %1: ").arg(i + 1);
        QVERIFY2(page.value(QStringLiteral("presentation:transition-type")) == "automatic",
                 qPrintable(where + page.value(QStringLiteral("presentation:transition-type"))));
        QVERIFY2(seconds(page.value(QStringLiteral("presentation:duration"))) == 5,
                 qPrintable(where + page.value(QStringLiteral("presentation:duration"))));
        const char* smil = kShowSlides[i].smilType;
        QVERIFY2(page.value(QStringLiteral("smil:type")) == QLatin1String(smil ? smil : ""),
                 qPrintable(where + page.value(QStringLiteral("smil:type"))));
    }
    QCOMPARE(read.settings.value(QStringLiteral("presentation:endless")), "true");

    // What LibreOffice draws, of the deck and of the slide show file.
    const QString pdfDir = dir.filePath(QStringLiteral("pdf"));
    CONVERT_TO_PDF(QStringList({show, autoShow}), pdfDir);
    QCOMPARE(pdfPageCount(pdfPathFor(autoShow, pdfDir)), kShowSlides.size());
    const QString pdf = pdfPathFor(show, pdfDir);
    QCOMPARE(pdfPageCount(pdf), kShowSlides.size());
    const QImage cropped(renderPage(pdf, 1, kDpi, dir.filePath(QStringLiteral("cropped"))));
    const QImage grey(renderPage(pdf, 2, kDpi, dir.filePath(QStringLiteral("grey"))));
    QVERIFY(!cropped.isNull() && !grey.isNull());

    // The crop's bands: red to 30, green to 390, blue below; uncropped or cropped the other way
    // round, red would reach 135 or 150 and blue start at 405 or 510.
    for (const auto& [y, expected] : {std::pair{15, qRgb(230, 80, 80)},
                                      {45, qRgb(80, 200, 80)},
                                      {375, qRgb(80, 200, 80)},
                                      {405, qRgb(80, 80, 230)},
                                      {530, qRgb(80, 80, 230)}}) {
        const QRgb seen = cropped.pixel(px(480, y));
        QVERIFY2(
            near(seen, expected),
            qPrintable(
                QStringLiteral("cropped photo at y %1: #%2").arg(y).arg(seen & 0xFFFFFF, 6, 16)));
    }

    // Grey inside the frame, black around it.
    const QRgb inside = grey.pixel(px(kGreyFrame.center().x(), kGreyFrame.center().y()));
    QVERIFY2(qAbs(qRed(inside) - qGreen(inside)) < 6 && qAbs(qGreen(inside) - qBlue(inside)) < 6 &&
                 qGray(inside) > 60 && qGray(inside) < 200,
             qPrintable(QStringLiteral("grey photo drawn #%1").arg(inside & 0xFFFFFF, 6, 16)));
    for (const QPoint p : {px(20, 20), px(940, 520), px(kGreyFrame.left() - 10, 200)})
        QCOMPARE(grey.pixel(p), qRgb(0, 0, 0));
    // The caption in white, centred under the photo.
    const QRectF ink = inkIn(grey, kCaptionBox, [](QRgb c) { return qGray(c) > 128; });
    QVERIFY2(!ink.isEmpty() && std::abs(ink.center().x() - kCaptionBox.center().x()) < 4,
             qPrintable(QStringLiteral("caption drawn at ") + describe(ink)));
}

QTEST_GUILESS_MAIN(TestAlbumRender)
#include "test_album_render.moc"
