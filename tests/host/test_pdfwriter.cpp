// The PDF of a deck, read back by poppler's tools: its pages, its pictures as stored, its text
// as text, and how it is saved.

#include "core/runtimeerror.h"
#include "host/pdfwriter.h"
#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "slides/recordeddeck.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <map>
#include <set>

using namespace slidemill;
using namespace slidemill::test;

namespace {

struct Run {
    QString out, err;
    int code = -1;
};

Run run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

QString missingPoppler() {
    for (const char* tool : {"pdfinfo", "pdfimages", "pdftotext", "pdftoppm", "pdffonts"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("poppler-utils missing: no %1").arg(QLatin1String(tool));
    return {};
}

// One line of pdfimages -list.
struct ListedImage {
    int page = 0, width = 0, height = 0, object = 0;
    QString type, colour, encoding;
    double xppi = 0, yppi = 0;
};

std::vector<ListedImage> listImages(const QString& pdf) {
    std::vector<ListedImage> images;
    const Run r = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    for (const QString& line : r.out.split(QLatin1Char('\n')).mid(2)) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() < 14)
            continue;
        images.push_back({f[0].toInt(), f[3].toInt(), f[4].toInt(), f[10].toInt(), f[2], f[5], f[8],
                          f[12].toDouble(), f[13].toDouble()});
    }
    return images;
}

QString infoField(const QString& info, const QString& field) {
    for (const QString& line : info.split(QLatin1Char('\n')))
        if (line.startsWith(field + QLatin1Char(':')))
            return line.mid(field.size() + 1).trimmed();
    return {};
}

// The words pdftotext finds on each page, where it finds them, in points from the top left.
struct Word {
    QRectF box;
    QString text;
};

std::vector<std::vector<Word>> wordsOf(const QString& pdf) {
    std::vector<std::vector<Word>> pages;
    const Run r =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">(.*)</word>)re"));
    for (const QString& line : r.out.split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("<page")))
            pages.emplace_back();
        const QRegularExpressionMatch m = word.match(line);
        if (m.hasMatch() && !pages.empty())
            pages.back().push_back(
                {QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                        QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                 m.captured(5)});
    }
    return pages;
}

// What is wrong with where the words of `slide` stand: each within the insets of the text box
// over it, a centred line as far from either side.
QString misplacedWords(const RecordedSlide& slide, const std::vector<Word>& words) {
    constexpr double inset = 7.2, slack = 0.5;
    std::map<std::pair<const RecordedShape*, int>, QRectF> lines;
    for (const Word& w : words) {
        const RecordedShape* box = nullptr;
        for (const RecordedShape& shape : slide.shapes)
            if (shape.kind != RecordedShape::Kind::Picture && !shape.text.isEmpty() &&
                shape.frame.left() <= w.box.center().x() &&
                w.box.center().x() <= shape.frame.right())
                box = &shape;
        if (!box)
            return w.text + QStringLiteral(" is in no text box");
        if (w.box.left() < box->frame.left() + inset - slack ||
            w.box.right() > box->frame.right() - inset + slack)
            return QStringLiteral("%1 (%2 to %3) is outside the insets of its box (%4 to %5)")
                .arg(w.text)
                .arg(w.box.left())
                .arg(w.box.right())
                .arg(box->frame.left())
                .arg(box->frame.right());
        QRectF& line = lines[{box, int(std::lround(w.box.top()))}];
        line = line.isNull() ? w.box : line.united(w.box);
    }
    for (const auto& [key, line] : lines) {
        const RecordedShape& box = *key.first;
        if (box.alignment != kAlignCenter)
            continue;
        const double left = line.left() - box.frame.left(),
                     right = box.frame.right() - line.right();
        if (std::abs(left - right) > 1)
            return QStringLiteral("a centred line stands %1 pt from the left, %2 from the right")
                .arg(left)
                .arg(right);
    }
    return {};
}

// What is wrong with the PDF's cross-reference table: every object it lists must start where it
// says. Empty when nothing is.
QString xrefProblem(const QByteArray& pdf) {
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    if (startxref < 0)
        return QStringLiteral("no startxref");
    const qsizetype xref = pdf.mid(startxref + 9, 24).trimmed().split('\n').front().toLongLong();
    if (!pdf.mid(xref).startsWith("xref"))
        return QStringLiteral("startxref %1 is not the table").arg(xref);
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    const QList<QByteArray> section = lines.value(1).split(' ');
    const int first = section.value(0).toInt(), count = section.value(1).toInt();
    for (int i = 0; i < count; ++i) {
        const QByteArray entry = lines.value(2 + i);
        if (entry.size() != 19 || !entry.endsWith('\r'))
            return QStringLiteral("entry %1 is not 20 bytes: %2")
                .arg(i)
                .arg(QString::fromLatin1(entry));
        if (entry.at(17) != 'n')
            continue;
        const qsizetype at = entry.left(10).toLongLong();
        const QByteArray object = QByteArray::number(first + i) + " 0 obj";
        if (pdf.mid(at, object.size()) != object)
            return QStringLiteral("object %1 is not at %2").arg(first + i).arg(at);
    }
    return {};
}

RecordedDeck record(const QStringList& photos, const BuildOptions& options) {
    DeckRecorder recorder;
    HeaderPictureLoader loader;
    buildSlides(photos, options, loader, recorder);
    return recorder.deck;
}

struct Photo {
    const char* name;
    int width, height;
    // 0: a plain picture of the name's format (a WebP as lossy); 1 to 8: a JPEG shown upright by
    // that orientation, its red mark top left; -1: a PNG whose right half is see-through; -2: a
    // CMYK JPEG as ImageMagick writes one (Adobe's, inverted); -3: a PNG of a palette.
    int orientation = 0;
};

QStringList makePhotos(const QString& dir, const std::vector<Photo>& photos) {
    QStringList paths;
    for (const Photo& p : photos) {
        const QString name = QString::fromLatin1(p.name);
        if (p.orientation == -2) {
            const QString path = QDir(dir).filePath(name);
            paths << (runConvert({QStringLiteral("-size"),
                                  QStringLiteral("%1x%2").arg(p.width).arg(p.height),
                                  QStringLiteral("xc:rgb(240,230,200)"), QStringLiteral("-fill"),
                                  QStringLiteral("rgb(220,20,20)"), QStringLiteral("-draw"),
                                  QStringLiteral("rectangle 0,0 %1,%2")
                                      .arg(p.width / 10 - 1)
                                      .arg(p.height / 10 - 1),
                                  QStringLiteral("-colorspace"), QStringLiteral("CMYK"), path})
                          ? path
                          : QString());
            continue;
        }
        if (p.orientation == -1 || p.orientation == -3 || name.endsWith(QLatin1String(".webp"))) {
            QImage image(p.width, p.height, QImage::Format_ARGB32);
            image.fill(QColor(240, 230, 200));
            for (int y = 0; y < p.height / 10; ++y)
                for (int x = 0; x < p.width / 10; ++x)
                    image.setPixel(x, y, qRgb(220, 20, 20));
            if (p.orientation == -1) {
                for (int y = 0; y < p.height; ++y)
                    for (int x = p.width / 2; x < p.width; ++x)
                        image.setPixel(x, y, qRgba(0, 0, 255, 60));
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image.save(&buffer, "PNG");
                paths << writeBytes(dir, name, png);
            } else if (p.orientation == -3) {
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image.convertToFormat(QImage::Format_RGB32)
                    .convertToFormat(QImage::Format_Indexed8)
                    .save(&buffer, "PNG");
                paths << writeBytes(dir, name, png);
            } else {
                paths << writeBytes(dir, name,
                                    webpBytes(image.convertToFormat(QImage::Format_RGB32)));
            }
            continue;
        }
        paths << (p.orientation > 0
                      ? makeUprightJpeg(dir, name, p.width, p.height, p.orientation)
                      : makePicture(dir, name, QFileInfo(name).suffix().toLatin1().constData(),
                                    p.width, p.height));
    }
    return paths;
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

} // namespace

Q_DECLARE_METATYPE(Photo)
Q_DECLARE_METATYPE(std::vector<Photo>)
Q_DECLARE_METATYPE(BuildOptions)

class TestPdfWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readBack_data();
    void readBack();
    void safety_data();
    void safety();
};

void TestPdfWriter::readBack_data() {
    QTest::addColumn<std::vector<Photo>>("photos");
    QTest::addColumn<BuildOptions>("options");
    QTest::addColumn<int>("ppi");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("pageSize");
    // Distinct pictures stored, and the first one's pixels and encoding.
    QTest::addColumn<int>("stored");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("colour");
    // What pdftotext finds, and the title pdfinfo reads.
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("title");
    // The colour at the top-left corner of the first page, drawn at 36 dpi.
    QTest::addColumn<QRgb>("corner");

    const std::vector<Photo> big{{"a.jpg", 2400, 1800}, {"b.jpg", 1800, 2400}};
    const std::vector<Photo> small{{"dawn.jpg", 400, 300}, {"dusk.jpg", 300, 400}};
    const QRgb white = qRgb(255, 255, 255);
    BuildOptions o;
    QTest::newRow("one a slide, made at 220 ppi")
        << big << o << 220 << 2 << "720 x 540 pts" << 2 << QSize() << "jpeg"
        << "rgb" << QStringList{} << QString() << white;
    QTest::newRow("one a slide, kept as the files hold them")
        << small << o << 220 << 2 << "720 x 540 pts" << 2 << QSize(400, 300) << "jpeg"
        << "rgb" << QStringList{} << QString() << white;
    QTest::newRow("original pictures")
        << big << o << 0 << 2 << "720 x 540 pts" << 2 << QSize(2400, 1800) << "jpeg"
        << "rgb" << QStringList{} << QString() << white;
    o.layout = Layout::TwoPerSlide;
    o.caption = Caption::Name;
    QTest::newRow("two a slide, named")
        << std::vector<Photo>{{"harbour.jpg", 400, 300},
                              {"lighthouse.jpg", 300, 400},
                              {"quay.png", 200, 150}}
        << o << 220 << 2 << "720 x 540 pts" << 3 << QSize(400, 300) << "jpeg"
        << "rgb" << QStringList{"harbour", "lighthouse", "quay"} << QString() << white;
    o.caption = Caption::Text;
    o.captionText = QStringLiteral(
        "The harbour wall at dawn, with the fishing boats coming in, gulls over the nets and the "
        "old lighthouse beyond them: a caption long enough to take several lines");
    QTest::newRow("two a slide, a caption of many lines")
        << small << o << 220 << 1 << "720 x 540 pts" << 2 << QSize(400, 300) << "jpeg"
        << "rgb" << QStringList{"The harbour wall", "several lines"} << QString() << white;
    o = {};
    o.layout = Layout::FourPerSlide;
    o.caption = Caption::Text;
    o.captionText = QStringLiteral("Summer by the sea");
    QTest::newRow("four a slide, one picture four times")
        << std::vector<Photo>{{"a.jpg", 400, 300},
                              {"a.jpg", 400, 300},
                              {"a.jpg", 400, 300},
                              {"a.jpg", 400, 300}}
        << o << 220 << 1 << "720 x 540 pts" << 1 << QSize(400, 300) << "jpeg"
        << "rgb" << QStringList{"Summer by the sea"} << QString() << white;
    o = {};
    o.layout = Layout::Fit;
    o.wide = true;
    QTest::newRow("fit, wide") << small << o << 220 << 2 << "960 x 540 pts" << 2 << QSize(400, 300)
                               << "jpeg"
                               << "rgb" << QStringList{} << QString() << white;
    o.layout = Layout::Fill;
    o.wide = false;
    // The photo covers the slide: no corner to see.
    const QRgb covered = qRgba(0, 0, 0, 0);
    QTest::newRow("fill, 96 ppi") << big << o << 96 << 2 << "720 x 540 pts" << 2 << QSize()
                                  << "jpeg"
                                  << "rgb" << QStringList{} << QString() << covered;
    o.caption = Caption::Text;
    o.captionText = QStringLiteral("A band over the photo, see-through");
    QTest::newRow("fill, caption on a band")
        << small << o << 220 << 2 << "720 x 540 pts" << 2 << QSize(400, 300) << "jpeg"
        << "rgb" << QStringList{"A band over the photo, see-through"} << QString() << covered;
    o = {};
    o.background = 0x000000;
    o.caption = Caption::Name;
    QTest::newRow("black, named") << small << o << 220 << 2 << "720 x 540 pts" << 2
                                  << QSize(400, 300) << "jpeg"
                                  << "rgb" << QStringList{"dawn", "dusk"} << QString()
                                  << qRgb(0, 0, 0);
    o = {};
    o.caption = Caption::Description;
    QTest::newRow("description") << small << o << 220 << 2 << "720 x 540 pts" << 2
                                 << QSize(400, 300) << "jpeg"
                                 << "rgb" << QStringList{"Description"} << QString() << white;
    o = {};
    o.title = QStringLiteral("Harbour days");
    o.subtitle = QStringLiteral("June and July");
    QTest::newRow("title slide") << small << o << 220 << 3 << "720 x 540 pts" << 2
                                 << QSize(400, 300) << "jpeg"
                                 << "rgb" << QStringList{"Harbour days", "June and July"}
                                 << "Harbour days" << white;
    o = {};
    o.grey = true;
    QTest::newRow("greys, JPEG") << small << o << 220 << 2 << "720 x 540 pts" << 2
                                 << QSize(400, 300) << "jpeg"
                                 << "gray" << QStringList{} << QString() << white;
    QTest::newRow("greys, PNG") << std::vector<Photo>{{"a.png", 400, 300}} << o << 220 << 1
                                << "720 x 540 pts" << 1 << QSize(400, 300) << "image"
                                << "gray" << QStringList{} << QString() << white;
    o = {};
    QTest::newRow("CMYK JPEG") << std::vector<Photo>{{"print.jpg", 400, 300, -2}} << o << 220 << 1
                               << "720 x 540 pts" << 1 << QSize(400, 300) << "jpeg"
                               << "cmyk" << QStringList{} << QString() << white;
    QTest::newRow("PNG of a palette") << std::vector<Photo>{{"chart.png", 400, 300, -3}} << o << 220
                                      << 1 << "720 x 540 pts" << 1 << QSize(400, 300) << "image"
                                      << "index" << QStringList{} << QString() << white;
    QTest::newRow("PNG, see-through") << std::vector<Photo>{{"glass.png", 400, 300, -1}} << o << 220
                                      << 1 << "720 x 540 pts" << 1 << QSize(400, 300) << "image"
                                      << "rgb" << QStringList{} << QString() << white;
    QTest::newRow("WebP, a copy made") << std::vector<Photo>{{"w.webp", 400, 300}} << o << 220 << 1
                                       << "720 x 540 pts" << 1 << QSize(400, 300) << "jpeg"
                                       << "rgb" << QStringList{} << QString() << white;
    QTest::newRow("PNG") << std::vector<Photo>{{"a.png", 400, 300}} << o << 220 << 1
                         << "720 x 540 pts" << 1 << QSize(400, 300) << "image"
                         << "rgb" << QStringList{} << QString() << white;
    // Stored as the camera turned it: the placement shows it upright.
    QTest::newRow("EXIF-turned JPEG kept")
        << std::vector<Photo>{{"t6.jpg", 400, 300, 6}, {"t3.jpg", 400, 300, 3},
                              {"t8.jpg", 300, 400, 8}, {"t5.jpg", 400, 300, 5},
                              {"t2.jpg", 400, 300, 2}, {"t4.jpg", 300, 400, 4},
                              {"t7.jpg", 400, 300, 7}}
        << o << 220 << 7 << "720 x 540 pts" << 7 << QSize(300, 400) << "jpeg"
        << "rgb" << QStringList{} << QString() << white;
    o.photos = {{QString(), 1}};
    QTest::newRow("quarter turn") << small << o << 220 << 2 << "720 x 540 pts" << 2
                                  << QSize(400, 300) << "jpeg"
                                  << "rgb" << QStringList{} << QString() << white;
}

void TestPdfWriter::readBack() {
    QFETCH(std::vector<Photo>, photos);
    QFETCH(BuildOptions, options);
    QFETCH(int, ppi);
    QFETCH(int, pages);
    QFETCH(QString, pageSize);
    QFETCH(int, stored);
    QFETCH(QSize, pixels);
    QFETCH(QString, encoding);
    QFETCH(QString, colour);
    QFETCH(QStringList, texts);
    QFETCH(QString, title);
    QFETCH(QRgb, corner);
    if (const QString missing = missingPoppler(); !missing.isEmpty())
        QSKIP(qPrintable(missing));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList paths = makePhotos(dir.path(), photos);
    for (const QString& p : paths)
        QVERIFY(!p.isEmpty());
    const RecordedDeck deck = record(paths, options);
    const QString pdf = dir.filePath(QStringLiteral("deck.pdf"));
    PdfOptions pdfOptions;
    pdfOptions.pixelsPerInch = ppi;
    double last = -1;
    bool ordered = true;
    pdfOptions.progress = [&](double done) {
        ordered = ordered && done >= last && done <= 1;
        last = done;
        return true;
    };
    QVERIFY(writePdf(deck, pdf, pdfOptions));
    QVERIFY(ordered);
    QCOMPARE(last, 1.0);

    const QString xref = xrefProblem(readBytes(pdf));
    QVERIFY2(xref.isEmpty(), qPrintable(xref));

    const Run info = run(QStringLiteral("pdfinfo"), {pdf});
    QCOMPARE(info.code, 0);
    QCOMPARE(info.err, QString());
    QCOMPARE(infoField(info.out, QStringLiteral("Pages")).toInt(), pages);
    QCOMPARE(infoField(info.out, QStringLiteral("Page size")), pageSize);
    QCOMPARE(infoField(info.out, QStringLiteral("Title")), title);

    const std::vector<ListedImage> images = listImages(pdf);
    std::set<int> objects;
    for (const ListedImage& image : images)
        if (image.type == QLatin1String("image"))
            objects.insert(image.object);
    QCOMPARE(int(objects.size()), stored);
    // A see-through picture keeps its alpha as a soft mask.
    const auto masks = std::count_if(images.begin(), images.end(), [](const ListedImage& image) {
        return image.type == QLatin1String("smask");
    });
    const auto seeThrough = std::count_if(photos.begin(), photos.end(),
                                          [](const Photo& p) { return p.orientation == -1; });
    QCOMPARE(masks, seeThrough);
    QVERIFY(!images.empty());
    const ListedImage& first = images.front();
    QCOMPARE(first.encoding, encoding);
    QCOMPARE(first.colour, colour);
    if (pixels.isValid()) {
        QCOMPARE(QSize(first.width, first.height), pixels);
    } else {
        // Made for the slide: as many pixels an inch as asked, give or take the rounding up.
        QVERIFY2(std::abs(first.xppi - ppi) <= 2 && std::abs(first.yppi - ppi) <= 2,
                 qPrintable(QStringLiteral("%1 x %2 ppi").arg(first.xppi).arg(first.yppi)));
    }

    // The same pixels as the .pptx of the same deck stores.
    const QString pptx = dir.filePath(QStringLiteral("deck.pptx"));
    PptxHostOptions hostOptions{pptx, {}, false, nullptr};
    hostOptions.pixelsPerInch = ppi;
    PptxHost host(hostOptions);
    HeaderPictureLoader loader;
    buildSlides(paths, options, loader, host);
    std::vector<QSize> inPptx, inPdf;
    for (const ZipEntry& entry : zipEntries(pptx)) {
        if (!entry.name.startsWith(QLatin1String("ppt/media/image")))
            continue;
        QBuffer media;
        media.setData(*readPart(pptx, entry.name));
        QImageReader reader(&media);
        reader.setAutoTransform(false);
        inPptx.push_back(reader.size());
    }
    std::set<int> seen;
    for (const ListedImage& image : images)
        if (image.type == QLatin1String("image") && seen.insert(image.object).second)
            inPdf.push_back({image.width, image.height});
    const auto bySize = [](QSize a, QSize b) {
        return std::pair(a.width(), a.height()) < std::pair(b.width(), b.height());
    };
    std::sort(inPptx.begin(), inPptx.end(), bySize);
    std::sort(inPdf.begin(), inPdf.end(), bySize);
    QCOMPARE(inPdf, inPptx);
    // A JPEG kept goes in byte for byte.
    if (!options.grey && photos.front().orientation == 0 &&
        QString::fromLatin1(photos.front().name).endsWith(QLatin1String(".jpg")) &&
        QSize(first.width, first.height) == QSize(photos.front().width, photos.front().height)) {
        const QString extracted = dir.filePath(QStringLiteral("extracted"));
        QCOMPARE(run(QStringLiteral("pdfimages"), {QStringLiteral("-j"), pdf, extracted}).code, 0);
        QCOMPARE(readBytes(extracted + QStringLiteral("-000.jpg")), readBytes(paths.front()));
    }

    const Run text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QCOMPARE(text.code, 0);
    const QString flat = text.out.simplified();
    for (const QString& t : texts)
        QVERIFY2(flat.contains(t), qPrintable(t + QStringLiteral(" not in: ") + flat));

    // Each font embedded, as a subset, with its text's Unicode.
    const Run fonts = run(QStringLiteral("pdffonts"), {pdf});
    QCOMPARE(fonts.code, 0);
    const QStringList fontLines = fonts.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
    QCOMPARE(fontLines.isEmpty(), texts.isEmpty() && title.isEmpty());
    for (const QString& line : fontLines)
        QVERIFY2(line.contains(QLatin1String("CID TrueType")) &&
                     line.contains(QLatin1String("Identity-H")) &&
                     line.contains(QLatin1String(" yes yes yes ")),
                 qPrintable(line));

    const std::vector<std::vector<Word>> words = wordsOf(pdf);
    QCOMPARE(words.size(), deck.slides.size());
    for (std::size_t s = 0; s < deck.slides.size(); ++s) {
        const QString problem = misplacedWords(deck.slides[s], words[s]);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("slide %1: ").arg(s + 1) + problem));
    }

    const QString prefix = dir.filePath(QStringLiteral("page"));
    const Run drawn = run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("36"),
                                                       QStringLiteral("-png"), pdf, prefix});
    QCOMPARE(drawn.code, 0);
    QCOMPARE(drawn.err, QString());
    const QStringList drawnPages =
        QDir(dir.path()).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name);
    QCOMPARE(int(drawnPages.size()), pages);
    const QImage page(dir.filePath(drawnPages.front()));
    QCOMPARE(page.size(), (deck.slideSize / 2).toSize());
    if (qAlpha(corner))
        QCOMPARE(page.pixel(0, 0), corner);

    // Every photo shows upright: its red mark in the top-left corner of what shows, turned with
    // the shape about the centre of what shows.
    for (std::size_t s = 0; s < deck.slides.size(); ++s) {
        const QImage drawnSlide(dir.filePath(drawnPages[qsizetype(s)]));
        for (const RecordedShape& shape : deck.slides[s].shapes) {
            if (shape.kind != RecordedShape::Kind::Picture || !shape.crop.isNull())
                continue;
            const QPointF centre = shape.visible().center();
            const QPointF mark =
                QTransform()
                    .translate(centre.x(), centre.y())
                    .rotate(shape.rotation)
                    .translate(-centre.x(), -centre.y())
                    .map(shape.frame.topLeft() +
                         QPointF(shape.frame.width() * 0.04, shape.frame.height() * 0.04));
            const QColor c = drawnSlide.pixelColor((mark / 2).toPoint());
            const bool red = options.grey ? std::abs(c.red() - c.blue()) < 8 && c.red() < 180
                                          : c.red() > 160 && c.green() < 110;
            QVERIFY2(red, qPrintable(QStringLiteral("%1 on slide %2: %3 at the top left")
                                         .arg(shape.path)
                                         .arg(s + 1)
                                         .arg(c.name())));
        }
    }
}

void TestPdfWriter::safety_data() {
    QTest::addColumn<int>("cancelAt");
    // What happens to the second picture after it was measured: 0 nothing, 1 rewritten,
    // 2 removed; 3: the first picture is the output; 4: the deck has no slide.
    QTest::addColumn<int>("change");

    QTest::newRow("cancelled at once") << 0 << 0;
    QTest::newRow("cancelled after a picture") << 2 << 0;
    QTest::newRow("cancelled at the end") << 1000 << 0;
    QTest::newRow("picture rewritten") << -1 << 1;
    QTest::newRow("picture removed") << -1 << 2;
    QTest::newRow("output is a picture") << -1 << 3;
    QTest::newRow("no slide") << -1 << 4;
}

void TestPdfWriter::safety() {
    QFETCH(int, cancelAt);
    QFETCH(int, change);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList paths =
        makePhotos(dir.path(), {{"a.jpg", 400, 300}, {"b.jpg", 300, 400}, {"c.png", 200, 200}});
    RecordedDeck deck = record(paths, {});
    if (change == 4)
        deck.slides.clear();
    const QString pdf = change == 3 ? paths[0] : dir.filePath(QStringLiteral("deck.pdf"));
    if (change != 3)
        QVERIFY(!writeBytes(dir.path(), QStringLiteral("deck.pdf"), "what was there").isEmpty());
    const QByteArray original = readBytes(pdf);
    if (change == 1)
        QVERIFY(!makePicture(dir.path(), QStringLiteral("b.jpg"), "jpeg", 500, 300).isEmpty());
    if (change == 2)
        QVERIFY(QFile::remove(paths[1]));
    const QStringList before = entries(dir.path());

    PdfOptions options;
    int calls = 0;
    options.progress = [&](double done) {
        ++calls;
        // 1000: on its last word, when the file is whole but not yet saved.
        return cancelAt < 0 || (cancelAt >= 1000 ? done < 1 : calls <= cancelAt);
    };
    if (change) {
        bool thrown = false;
        try {
            writePdf(deck, pdf, options);
        } catch (const RuntimeError& e) {
            thrown = true;
            QCOMPARE(e.file(), change >= 3 ? pdf : paths[1]);
        }
        QVERIFY(thrown);
    } else {
        QVERIFY(!writePdf(deck, pdf, options));
    }
    QCOMPARE(readBytes(pdf), original);
    QCOMPARE(entries(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestPdfWriter)
#include "test_pdfwriter.moc"
