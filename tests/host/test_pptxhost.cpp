// The .pptx host: what it writes, part by part, and how it saves.

#include "core/faults.h"
#include "core/runtimeerror.h"
#include "host/music.h"
#include "host/pptx/packager.h"
#include "host/pptx/saveerror.h"
#include "host/pptx/savefile.h"
#include "host/pptxhost.h"
#include "pictures/cores.h"
#include "pictures/picturepool.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QColorSpace>
#include <QDir>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <future>
#include <sched.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace slidemill;
using namespace slidemill::test;

namespace {

struct RecordingOpener : DesktopOpener {
    QStringList opened;
    bool open(const QString& path) override {
        opened << path;
        return true;
    }
};

void startDeck(PptxHost& host) {
    host.createApplication();
    host.addPresentation(kMsoTrue);
}

void placePicture(PptxHost& host, const QString& path) {
    host.addSlide(host.slideCount() + 1, kLayoutBlank);
    host.addPicture(readPicture(path), kMsoFalse, kMsoTrue, 120, 60, 480, 360);
    host.releasePicture();
}

void addText(PptxHost& host, const QString& text) {
    host.addTextbox(kTextOrientationHorizontal, 0, 0, 100, 20);
    host.textRange();
    host.setText(text);
}

// The text runs of a slide, in order.
QStringList texts(const QByteArray& slide) {
    QStringList out;
    QXmlStreamReader r(slide);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && r.name() == QLatin1String("t"))
            out << r.readElementText();
    }
    return r.hasError() ? QStringList{r.errorString()} : out;
}

// Runs `steps` as a build does: an error a call throws ends the build as failed, and a picture
// that failed behind it, reported at the end, stopped it first.
std::optional<RuntimeError> build(PptxHost& host, const std::function<void()>& steps) {
    try {
        steps();
    } catch (const RuntimeError& e) {
        const auto earlier = host.endBuild(PresentationHost::Outcome::Failed);
        return earlier ? *earlier : e;
    }
    return host.endBuild(PresentationHost::Outcome::Completed);
}

int slideCount(const QString& pptx) {
    return int(attributeValues(partOf(pptx, "ppt/presentation.xml"), "p:sldId", "id").size());
}

// Last in a test: where the validator is missing, it skips the test.
void expectValid(const QString& pptx) {
    VERIFY_VALID_PPTX({pptx});
}

// The fault seam's one failing call of a table row.
struct Fault {
    IoCall call = IoCall::Write;
    // Calls about entries whose names start so fail; empty: every such call.
    QByteArray entry;
    int error = 0;
};
Fault g_fault;

int injected(IoCall call, const QByteArray& entry) {
    return call == g_fault.call && entry.startsWith(g_fault.entry) ? g_fault.error : 0;
}

using Step = std::function<void(PptxHost&, const QString& dir)>;
using Change = std::function<void(const QString& picture)>;

// A change made as the writer first reads the named entry, whenever its thread gets there.
struct ChangeWhenRead {
    QByteArray entry;
    std::function<void()> change;
    std::atomic<bool> done{false};
};
ChangeWhenRead g_whenRead;

int changeWhenRead(IoCall call, const QByteArray& entry) {
    if (call == IoCall::ReadPicture && entry.startsWith(g_whenRead.entry) &&
        !g_whenRead.done.exchange(true))
        g_whenRead.change();
    return 0;
}
using Prepare = std::function<void(const QString& out, const QString& picture)>;
// Makes a file in `dir`; its path.
using MakeFile = std::function<QString(const QString& dir)>;

// A slide with a picture 480 x 360 points at (120, 60), still held.
void heldPicture(PptxHost& host, const QString& path) {
    host.addSlide(host.slideCount() + 1, kLayoutBlank);
    host.addPicture(readPicture(path), kMsoFalse, kMsoTrue, 120, 60, 480, 360);
}

// A slide with a two-paragraph text box, its text range held.
void heldText(PptxHost& host) {
    host.addSlide(host.slideCount() + 1, kLayoutBlank);
    addText(host, QStringLiteral("one\ntwo"));
}

// A title slide with its title held.
void heldTitle(PptxHost& host) {
    host.addSlide(host.slideCount() + 1, kLayoutTitle);
    host.placeholderTextRange(kPlaceholderTitle);
    host.setText(QStringLiteral("Crete"));
}

} // namespace

class TestPptxHost : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString pic(const QString& name, const char* format = "png") {
        const QString path = dir_.filePath(name);
        if (!QFileInfo::exists(path) && makePicture(dir_.path(), name, format, 160, 120).isEmpty())
            qWarning() << "cannot write" << path;
        return path;
    }
    QString outPath(const QString& name) { return dir_.filePath(name + QStringLiteral(".pptx")); }
    // Written by showOperations, validated together after it.
    QStringList showDecks_;

private Q_SLOTS:
    void smallDeckPartByPart();
    void titleSlideOnWideSlides();
    void everyFormatStoredAsItIs_data();
    void everyFormatStoredAsItIs();
    void phoneFormatsStoredDecodedUpright_data();
    void phoneFormatsStoredDecodedUpright();
    void fileListedTwiceStoredOnce();
    void namesAreEscaped();
    void slidesInsertedWhereAsked();
    void sameListSameBytes();
    void showOperations_data();
    void showOperations();
    void showDecksValid();
    void operationErrors_data();
    void operationErrors();
    void numberedNameNeverOverwrites();
    void documentsFolderNotWritable_data();
    void documentsFolderNotWritable();
    void failedBuildKeepsOrWritesNothing_data();
    void failedBuildKeepsOrWritesNothing();
    void outputPathReplacedByEmptyDeck();
    void pictureNoLongerAsMeasured_data();
    void pictureNoLongerAsMeasured();
    void outputFile_data();
    void outputFile();
    void pictureMadeInMemory();
    void folderSyncFails();
    void madeOnEveryCore_data();
    void madeOnEveryCore();
    void faultAtEveryPicture_data();
    void faultAtEveryPicture();
    void undecodablePhoneFormat();
    void musicMeasured_data();
    void musicMeasured();
};

void TestPptxHost::smallDeckPartByPart() {
    const QString out = outPath(QStringLiteral("small"));
    writeDeck(out, {pic(QStringLiteral("one.png"))}, true);

    // Pictures go in as they are added, the rest at the end.
    const QStringList expectedOrder =
        QStringLiteral(
            "ppt/media/image1.png [Content_Types].xml _rels/.rels docProps/core.xml "
            "docProps/app.xml "
            "ppt/presentation.xml "
            "ppt/_rels/presentation.xml.rels ppt/slideMasters/slideMaster1.xml "
            "ppt/slideMasters/_rels/slideMaster1.xml.rels ppt/slideLayouts/slideLayout1.xml "
            "ppt/slideLayouts/_rels/slideLayout1.xml.rels ppt/theme/theme1.xml ppt/presProps.xml "
            "ppt/viewProps.xml ppt/tableStyles.xml ppt/slides/slide1.xml "
            "ppt/slides/_rels/slide1.xml.rels")
            .split(QLatin1Char(' '));
    QStringList names;
    for (const ZipEntry& e : zipEntries(out)) {
        names << e.name;
        // Pictures stored as they are, XML compressed.
        QCOMPARE(e.method, e.name.startsWith(QLatin1String("ppt/media/")) ? 0 : 8);
    }
    QCOMPARE(names, expectedOrder);

    const QByteArray expectedSlide =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><p:sld xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main">)"
        R"(<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>)"
        R"(<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/><a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>)"
        R"(<p:pic><p:nvPicPr><p:cNvPr id="2" name="Picture 1" descr="one.png"/><p:cNvPicPr><a:picLocks noChangeAspect="1"/></p:cNvPicPr><p:nvPr/></p:nvPicPr>)"
        R"(<p:blipFill><a:blip r:embed="rId2"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>)"
        R"(<p:spPr><a:xfrm><a:off x="1524000" y="762000"/><a:ext cx="6096000" cy="4572000"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom>)"
        R"(<a:ln w="3175"><a:solidFill><a:srgbClr val="000000"/></a:solidFill></a:ln></p:spPr></p:pic>)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="3" name="TextBox 2"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>)"
        R"(<p:spPr><a:xfrm><a:off x="1524000" y="5461000"/><a:ext cx="6096000" cy="274320"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:noFill/></p:spPr>)"
        R"(<p:txBody><a:bodyPr wrap="square" rtlCol="0"><a:spAutoFit/></a:bodyPr><a:lstStyle/>)"
        R"(<a:p><a:r><a:rPr lang="en-US" sz="1200" dirty="0"><a:latin typeface="+mn-lt"/></a:rPr><a:t>Description</a:t></a:r>)"
        R"(<a:endParaRPr lang="en-US" sz="1200" dirty="0"><a:latin typeface="+mn-lt"/></a:endParaRPr></a:p></p:txBody></p:sp>)"
        R"(</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>)"
        "\n";
    QCOMPARE(partOf(out, QStringLiteral("ppt/slides/slide1.xml")), expectedSlide);

    const QByteArray rels = partOf(out, QStringLiteral("ppt/slides/_rels/slide1.xml.rels"));
    QCOMPARE(attributeValues(rels, "Relationship", "Id"), QStringList({"rId1", "rId2"}));
    QCOMPARE(attributeValues(rels, "Relationship", "Target"),
             QStringList({"../slideLayouts/slideLayout1.xml", "../media/image1.png"}));
    const QByteArray types = partOf(out, QStringLiteral("[Content_Types].xml"));
    QCOMPARE(attributeValues(types, "Default", "Extension"), QStringList({"rels", "xml", "png"}));
    QVERIFY(attributeValues(types, "Override", "PartName").contains("/ppt/slides/slide1.xml"));
    const QByteArray pres = partOf(out, QStringLiteral("ppt/presentation.xml"));
    QCOMPARE(attributeValues(pres, "p:sldId", "id"), QStringList{"256"});
    QCOMPARE(attributeValues(pres, "p:sldId", "r:id"), QStringList{"rId2"});
    QCOMPARE(
        attributeValues(partOf(out, "ppt/_rels/presentation.xml.rels"), "Relationship", "Target")
            .mid(0, 2),
        QStringList({"slideMasters/slideMaster1.xml", "slides/slide1.xml"}));
    QVERIFY(partOf(out, "docProps/app.xml").contains("<Slides>1</Slides>"));
    expectValid(out);
}

// A title slide brings its layout into the package, with the title and subtitle placeholders
// where applications put them, centred on a 16:9 slide.
void TestPptxHost::titleSlideOnWideSlides() {
    const QString out = outPath(QStringLiteral("titled"));
    BuildOptions options;
    options.layout = Layout::FourPerSlide;
    options.wide = true;
    options.title = QStringLiteral("Sun & <sea>");
    options.subtitle = QStringLiteral("Crete");
    HeaderPictureLoader loader;
    PptxHost host(PptxHostOptions{out, {}, false, nullptr});
    buildSlides({pic(QStringLiteral("one.png"))}, options, loader, host);

    QStringList names;
    for (const ZipEntry& e : zipEntries(out))
        names << e.name;
    QVERIFY(names.contains("ppt/slideLayouts/slideLayout2.xml"));
    QVERIFY(names.contains("ppt/slideLayouts/_rels/slideLayout2.xml.rels"));
    const QByteArray pres = partOf(out, "ppt/presentation.xml");
    QCOMPARE(attributeValues(pres, "p:sldSz", "cx"), QStringList{"12192000"});
    QCOMPARE(attributeValues(pres, "p:sldSz", "cy"), QStringList{"6858000"});
    QCOMPARE(attributeValues(pres, "p:sldSz", "type"), QStringList{""});
    QCOMPARE(
        attributeValues(partOf(out, "ppt/slideMasters/slideMaster1.xml"), "p:sldLayoutId", "id"),
        QStringList({"2147483649", "2147483650"}));
    QVERIFY(attributeValues(partOf(out, "[Content_Types].xml"), "Override", "PartName")
                .contains("/ppt/slideLayouts/slideLayout2.xml"));

    // The title slide first, on the title layout; the photos' slide on the blank one.
    QCOMPARE(
        attributeValues(partOf(out, "ppt/slides/_rels/slide1.xml.rels"), "Relationship", "Target"),
        QStringList{"../slideLayouts/slideLayout2.xml"});
    QCOMPARE(
        attributeValues(partOf(out, "ppt/slides/_rels/slide2.xml.rels"), "Relationship", "Target")
            .first(),
        "../slideLayouts/slideLayout1.xml");
    const QByteArray title = partOf(out, "ppt/slides/slide1.xml");
    QCOMPARE(texts(title), QStringList({"Sun & <sea>", "Crete"}));
    QCOMPARE(attributeValues(title, "p:ph", "type"), QStringList({"ctrTitle", "subTitle"}));
    // 54 and 108 points in on a 720-point slide, 120 more on a 960-point one.
    const QStringList left{"2209800", "2895600"};
    QCOMPARE(attributeValues(title, "a:off", "x").mid(1), left);
    QCOMPARE(attributeValues(partOf(out, "ppt/slideLayouts/slideLayout2.xml"), "a:off", "x").mid(1),
             left);
    // 160 x 120 pixels in the top left cell, 470 points wide on 16:9: 300 x 225 points at
    // 5 + (470 - 300) / 2 = 90.
    QCOMPARE(attributeValues(partOf(out, "ppt/slides/slide2.xml"), "a:off", "x").mid(1),
             QStringList{"1143000"});
    expectValid(out);
}

void TestPptxHost::everyFormatStoredAsItIs_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("contentType");
    for (const char* f : {"png", "jpeg", "gif", "bmp", "tiff"})
        QTest::newRow(f) << f << QStringLiteral("image/") + QLatin1String(f);
    QTest::newRow("wmf") << "wmf"
                         << "image/x-wmf";
    QTest::newRow("emf") << "emf"
                         << "image/x-emf";
}

void TestPptxHost::everyFormatStoredAsItIs() {
    QFETCH(QString, format);
    QFETCH(QString, contentType);
    // A misleading name: the format comes from the bytes.
    const QString source = pic(QStringLiteral("format-%1.pic").arg(format), qPrintable(format));
    QVERIFY(QFileInfo::exists(source));
    const QString out = outPath(format);
    writeDeck(out, {source});

    QCOMPARE(partOf(out, QStringLiteral("ppt/media/image1.") + format), readBytes(source));
    const QByteArray types = partOf(out, QStringLiteral("[Content_Types].xml"));
    const QStringList exts = attributeValues(types, "Default", "Extension");
    QVERIFY(exts.contains(format));
    QCOMPARE(attributeValues(types, "Default", "ContentType").at(exts.indexOf(format)),
             contentType);
}

void TestPptxHost::phoneFormatsStoredDecodedUpright_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("alpha");
    // Stored 64 x 48 with a quarter turn: shown 48 x 64.
    QImage stored(64, 48, QImage::Format_ARGB32);
    stored.fill(qRgb(200, 120, 40));
    QImage seeThrough = stored;
    seeThrough.fill(qRgba(200, 120, 40, 128));
    const QColorSpace p3(QColorSpace::DisplayP3);
    stored.setColorSpace(p3);
    QByteArray heic = heifBytes(stored, 6);
    QTest::newRow("heic") << heic << "jpeg" << false;
    QTest::newRow("avif with alpha")
        << heifBytes(seeThrough, 6, HeifCodec::Av1, true) << "png" << true;
    QTest::newRow("webp") << withWebpExif(webpBytes(stored), stored.size(), 6) << "jpeg" << false;
    QTest::newRow("webp with alpha")
        << withWebpExif(webpBytes(seeThrough), stored.size(), 6) << "png" << true;
}

void TestPptxHost::phoneFormatsStoredDecodedUpright() {
    QFETCH(QByteArray, file);
    QFETCH(QString, extension);
    QFETCH(bool, alpha);
    const QString source = writeBytes(dir_.path(), QStringLiteral("phone.pic"), file);
    const QString out = outPath(QStringLiteral("phone-") + QTest::currentDataTag());
    writeDeck(out, {source});

    const QString part = QStringLiteral("ppt/media/image1.") + extension;
    const QByteArray stored = partOf(out, part);
    const QImage copy = QImage::fromData(stored);
    // Upright, with nothing left for an application to turn again.
    QCOMPARE(copy.size(), QSize(48, 64));
    QCOMPARE(readPicture(writeBytes(dir_.path(), QStringLiteral("copy.") + extension, stored))
                 .orientation,
             1);
    QCOMPARE(attributeValues(partOf(out, "ppt/slides/slide1.xml"), "a:xfrm", "rot"),
             QStringList({"", ""}));
    QCOMPARE(copy.hasAlphaChannel(), alpha);
    const QByteArray types = partOf(out, QStringLiteral("[Content_Types].xml"));
    QVERIFY(attributeValues(types, "Default", "Extension").contains(extension));
    if (QTest::currentDataTag() == QByteArray("heic"))
        QCOMPARE(copy.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    expectValid(out);
}

void TestPptxHost::fileListedTwiceStoredOnce() {
    const QString a = pic(QStringLiteral("twice.jpg"), "jpeg");
    const QString out = outPath(QStringLiteral("twice"));
    PptxHost host(PptxHostOptions{out, {}, true, nullptr});
    startDeck(host);
    placePicture(host, a);
    placePicture(host, pic(QStringLiteral("other.png")));
    // The same file under another spelling of its path counts as the same file.
    placePicture(host, dir_.path() + QStringLiteral("//./twice.jpg"));
    // Twice on one slide: one relationship, two shapes with their own ids.
    host.addPicture(readPicture(a), kMsoFalse, kMsoTrue, 0, 0, 10, 10);
    host.releasePicture();
    host.endBuild(PresentationHost::Outcome::Completed);

    QStringList media;
    for (const ZipEntry& e : zipEntries(out)) {
        if (e.name.startsWith(QLatin1String("ppt/media/")))
            media << e.name;
    }
    QCOMPARE(media, QStringList({"ppt/media/image1.jpeg", "ppt/media/image2.png"}));
    QCOMPARE(
        attributeValues(partOf(out, "ppt/slides/_rels/slide3.xml.rels"), "Relationship", "Target"),
        QStringList({"../slideLayouts/slideLayout1.xml", "../media/image1.jpeg"}));
    const QByteArray slide3 = partOf(out, "ppt/slides/slide3.xml");
    QCOMPARE(attributeValues(slide3, "a:blip", "r:embed"), QStringList({"rId2", "rId2"}));
    QCOMPARE(attributeValues(slide3, "p:cNvPr", "id"), QStringList({"1", "2", "3"}));
}

void TestPptxHost::namesAreEscaped() {
    const QString name = QStringLiteral("a&b <\"c\">'d'.png");
    const QString out = outPath(QStringLiteral("escaped"));
    PptxHost host(PptxHostOptions{out, {}, true, nullptr});
    startDeck(host);
    placePicture(host, pic(name));
    // Markup, a control character XML cannot carry, and a second paragraph.
    addText(host, QStringLiteral("<b>&amp;</b>\x01 ]]>\r\nline two"));
    host.endBuild(PresentationHost::Outcome::Completed);

    const QByteArray slide = partOf(out, "ppt/slides/slide1.xml");
    QCOMPARE(attributeValues(slide, "p:cNvPr", "descr"), QStringList({"", name, ""}));
    QCOMPARE(texts(slide), QStringList({"<b>&amp;</b> ]]>", "line two"}));
    expectValid(out);
}

void TestPptxHost::slidesInsertedWhereAsked() {
    const QString out = outPath(QStringLiteral("order"));
    PptxHost host(PptxHostOptions{out, {}, true, nullptr});
    startDeck(host);
    for (const auto& [index, text] : {std::pair{1, "B"}, {1, "A"}, {3, "D"}, {3, "C"}}) {
        host.addSlide(index, kLayoutBlank);
        addText(host, QString::fromLatin1(text));
    }
    QCOMPARE(host.slideCount(), 4);
    host.endBuild(PresentationHost::Outcome::Completed);
    QStringList order;
    for (int i = 1; i <= 4; ++i)
        order << texts(partOf(out, QStringLiteral("ppt/slides/slide%1.xml").arg(i)));
    QCOMPARE(order, QStringList({"A", "B", "C", "D"}));
}

void TestPptxHost::sameListSameBytes() {
    const QStringList pics{pic(QStringLiteral("det1.jpg"), "jpeg"),
                           pic(QStringLiteral("det2.gif"), "gif"),
                           pic(QStringLiteral("det1.jpg"), "jpeg")};
    const QString first = outPath(QStringLiteral("det-a"));
    const QString second = outPath(QStringLiteral("det-b"));
    writeDeck(first, pics, true);
    // Time stamps and modes of the source files must not reach the package.
    QThread::sleep(1);
    ::utime(QFile::encodeName(pics[0]).constData(), nullptr);
    ::chmod(QFile::encodeName(pics[1]).constData(), 0600);
    writeDeck(second, pics, true);
    QVERIFY(readBytes(first) == readBytes(second));
}

// What each of the show's operations writes, where it belongs in its part, and that calling it
// again or taking it back leaves what the last call asked.
void TestPptxHost::showOperations_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("part");
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<int>("count");
    const QString slide = QStringLiteral("ppt/slides/slide1.xml");
    const auto photo = [](const QString& dir, int orientation) {
        if (orientation == 0)
            return makePicture(dir, QStringLiteral("show.png"), "png", 160, 120);
        return makeOrientedJpeg(dir, QStringLiteral("turned%1.jpg").arg(orientation), 64, 48,
                                orientation);
    };
    const auto cropped = [photo](int orientation, QList<float> crops) {
        return Step([=](PptxHost& h, const QString& dir) {
            heldPicture(h, photo(dir, orientation));
            for (qsizetype i = 0; i + 3 < crops.size(); i += 4)
                h.setPictureCrop(crops[i], crops[i + 1], crops[i + 2], crops[i + 3]);
        });
    };
    // 10% and 20% of 480 x 360: the frame shrinks by the crop and the rest stays put.
    QTest::newRow("crop") << "crop" << cropped(0, {48, 36, 96, 72}) << slide
                          << QByteArray(R"(<a:blip r:embed="rId2"/>)"
                                        R"(<a:srcRect l="10000" t="10000" r="20000" b="20000"/>)"
                                        R"(<a:stretch><a:fillRect/></a:stretch></p:blipFill>)"
                                        R"(<p:spPr><a:xfrm><a:off x="2133600" y="1219200"/>)"
                                        R"(<a:ext cx="4267200" cy="3200400"/></a:xfrm>)")
                          << 1;
    QTest::newRow("crop again: of the size added")
        << "recrop" << cropped(0, {48, 36, 96, 72, 0, 0, 240, 0}) << slide
        << QByteArray(R"(<a:srcRect l="0" t="0" r="50000" b="0"/><a:stretch><a:fillRect/>)"
                      R"(</a:stretch></p:blipFill><p:spPr><a:xfrm><a:off x="1524000" y="762000"/>)"
                      R"(<a:ext cx="3048000" cy="4572000"/>)")
        << 1;
    QTest::newRow("crop taken back")
        << "uncrop" << cropped(0, {48, 36, 96, 72, 0, 0, 0, 0}) << slide
        << QByteArray(R"(<a:blip r:embed="rId2"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>)"
                      R"(<p:spPr><a:xfrm><a:off x="1524000" y="762000"/>)"
                      R"(<a:ext cx="6096000" cy="4572000"/>)")
        << 1;
    // Asked of the upright picture (left 10%, top 20%, bottom 10%), written of the stored one.
    QTest::newRow("crop of a picture stored a quarter turned")
        << "crop6" << cropped(6, {48, 72, 0, 36}) << slide
        << QByteArray(R"(<a:srcRect l="20000" t="0" r="10000" b="10000"/>)"
                      R"(<a:stretch><a:fillRect/></a:stretch></p:blipFill><p:spPr>)"
                      R"(<a:xfrm rot="5400000"><a:off x="3276600" y="533400"/>)"
                      R"(<a:ext cx="3200400" cy="5486400"/>)")
        << 1;
    QTest::newRow("crop of a picture stored mirrored")
        << "crop2" << cropped(2, {48, 72, 0, 36}) << slide
        << QByteArray(R"(<a:srcRect l="0" t="20000" r="10000" b="10000"/>)") << 1;
    // A copy made upright is cropped as asked.
    QTest::newRow("crop of a phone photo stored upright")
        << "cropheic" << Step([](PptxHost& h, const QString& dir) {
               QImage stored(64, 48, QImage::Format_RGB32);
               stored.fill(Qt::darkCyan);
               heldPicture(h, writeBytes(dir, QStringLiteral("turned.heic"), heifBytes(stored, 6)));
               h.setPictureCrop(48, 72, 0, 36);
           })
        << slide
        << QByteArray(R"(<a:srcRect l="10000" t="20000" r="0" b="10000"/>)"
                      R"(<a:stretch><a:fillRect/></a:stretch></p:blipFill><p:spPr><a:xfrm>)")
        << 1;
    QTest::newRow("grey") << "grey" << Step([photo](PptxHost& h, const QString& dir) {
        heldPicture(h, photo(dir, 0));
        h.setPictureColorType(kPictureColorGrayscale);
    }) << slide << QByteArray(R"(<a:blip r:embed="rId2"><a:grayscl/></a:blip>)")
                          << 1;
    QTest::newRow("grey taken back") << "ungrey" << Step([photo](PptxHost& h, const QString& dir) {
        heldPicture(h, photo(dir, 0));
        h.setPictureColorType(kPictureColorGrayscale);
        h.setPictureColorType(kPictureColorAutomatic);
    }) << slide << QByteArray(R"(<a:blip r:embed="rId2"/>)")
                                     << 1;
    QTest::newRow("filled text box")
        << "fill" << Step([](PptxHost& h, auto&) {
               heldText(h);
               h.setTextboxFill(0x1A2B3C, 0.25f);
           })
        << slide
        << QByteArray(R"(</a:prstGeom><a:solidFill>)"
                      R"(<a:srgbClr val="1A2B3C"><a:alpha val="75000"/>)"
                      R"(</a:srgbClr></a:solidFill></p:spPr>)")
        << 1;
    QTest::newRow("text colour")
        << "textcolour" << Step([](PptxHost& h, auto&) {
               heldText(h);
               h.setFontColor(0xFFFFFF);
           })
        << slide
        << QByteArray(R"( sz="1800" dirty="0"><a:solidFill><a:srgbClr val="FFFFFF"/>)"
                      R"(</a:solidFill><a:latin typeface="+mn-lt"/>)")
        << 4;
    QTest::newRow("title colour")
        << "titlecolour" << Step([](PptxHost& h, auto&) {
               heldTitle(h);
               h.setFontColor(0x102030);
           })
        << slide
        << QByteArray(R"(<a:r><a:rPr lang="en-US" dirty="0"><a:solidFill>)"
                      R"(<a:srgbClr val="102030"/></a:solidFill></a:rPr><a:t>Crete</a:t>)"
                      R"(</a:r><a:endParaRPr lang="en-US" dirty="0"><a:solidFill>)"
                      R"(<a:srgbClr val="102030"/></a:solidFill></a:endParaRPr>)")
        << 1;
    QTest::newRow("centred") << "centred" << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setParagraphAlignment(kAlignCenter);
    }) << slide << QByteArray(R"(<a:p><a:pPr algn="ctr"/><a:r>)")
                             << 2;
    QTest::newRow("right") << "right" << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setParagraphAlignment(kAlignRight);
    }) << slide << QByteArray(R"(<a:p><a:pPr algn="r"/><a:r>)")
                           << 2;
    // A caption on a foot: its box grows upwards.
    QTest::newRow("anchored at the foot") << "foot" << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setVerticalAnchor(kAnchorBottom);
    }) << slide << QByteArray(R"(<a:bodyPr wrap="square" rtlCol="0" anchor="b"><a:spAutoFit/>)")
                                          << 1;
    QTest::newRow("anchored at the top: as it was") << "top" << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setVerticalAnchor(kAnchorBottom);
        h.setVerticalAnchor(kAnchorTop);
    }) << slide << QByteArray(R"(anchor=)") << 0;
    QTest::newRow("left in a text box: as it was") << "left" << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setParagraphAlignment(kAlignCenter);
        h.setParagraphAlignment(kAlignLeft);
    }) << slide << QByteArray("<a:pPr") << 0;
    // The title layout centres its text; left must say so.
    QTest::newRow("left in a title") << "lefttitle" << Step([](PptxHost& h, auto&) {
        heldTitle(h);
        h.setParagraphAlignment(kAlignLeft);
    }) << slide << QByteArray(R"(<a:p><a:pPr algn="l"/><a:r>)")
                                     << 1;
    QTest::newRow("background") << "black" << Step([photo](PptxHost& h, const QString& dir) {
        h.setBackgroundColor(0x000000);
        heldPicture(h, photo(dir, 0));
    }) << "ppt/slideMasters/slideMaster1.xml"
                                << QByteArray(R"(<p:cSld><p:bg><p:bgPr><a:solidFill>)"
                                              R"(<a:srgbClr val="000000"/></a:solidFill>)"
                                              R"(<a:effectLst/></p:bgPr></p:bg><p:spTree>)")
                                << 1;
    const auto transition = [](std::int32_t effect, double seconds) {
        return Step([=](PptxHost& h, auto&) {
            heldText(h);
            h.setSlideShowTransition(kTransitionWipe, 1);
            h.setSlideShowTransition(effect, seconds);
        });
    };
    QTest::newRow("fade, 5 s")
        << "fade" << transition(kTransitionFade, 5) << slide
        << QByteArray(R"(</p:clrMapOvr><p:transition spd="med" advTm="5000"><p:fade/>)"
                      R"(</p:transition></p:sld>)")
        << 1;
    QTest::newRow("push on a click")
        << "push" << transition(kTransitionPush, 0) << slide
        << QByteArray(R"(</p:clrMapOvr><p:transition spd="med"><p:push/></p:transition></p:sld>)")
        << 1;
    QTest::newRow("wipe, 2.5 s")
        << "wipe" << transition(kTransitionWipe, 2.5f) << slide
        << QByteArray(R"(<p:transition spd="med" advTm="2500"><p:wipe/></p:transition>)") << 1;
    QTest::newRow("no effect, 3 s")
        << "advance" << transition(kTransitionNone, 3) << slide
        << QByteArray(R"(</p:clrMapOvr><p:transition spd="med" advTm="3000"><p:cut/>)"
                      R"(</p:transition></p:sld>)")
        << 1;
    QTest::newRow("no effect, to the millisecond of a long show")
        << "advancems" << transition(kTransitionNone, 4000000.217) << slide
        << QByteArray(R"(<p:transition spd="med" advTm="4000000217"><p:cut/>)") << 1;
    // Music of a show of two slides, the title put first after them: mp3, wav, the mp3 again.
    const auto music = [](bool loop, QStringList names) {
        return Step([=](PptxHost& h, const QString& dir) {
            QStringList files;
            for (const QString& name : names)
                files << makeMusic(dir, name, name.endsWith(QLatin1String(".wav")) ? 1.5 : 1);
            if (loop)
                h.setLoopUntilStopped(kMsoTrue);
            QVERIFY(!files.contains(QString()));
            QCOMPARE(h.addMusic(files) > 0, true);
            heldText(h);
            heldTitle(h);
            h.addSlide(1, kLayoutTitle);
        });
    };
    const QStringList twice{"song.mp3", "tone.wav", "song.mp3"};
    QTest::newRow("music across the show, from the slide put first")
        << "music" << music(false, twice) << slide
        << QByteArray(R"(<p:cMediaNode vol="80000" numSld="3" showWhenStopped="0">)"
                      R"(<p:cTn id="13" fill="hold" display="0">)")
        << 1;
    QTest::newRow("music: each file once, each play its own sound shape")
        << "music2" << music(false, twice) << "ppt/slides/_rels/slide1.xml.rels"
        << QByteArray(R"(relationships/audio" Target="../media/media1.mp3"/>)") << 2;
    QTest::newRow("music: the second file after the first")
        << "music3" << music(false, twice) << slide
        << QByteArray(R"(presetClass="mediacall" presetSubtype="0" fill="hold" )"
                      R"(nodeType="afterEffect">)")
        << 3;
    QTest::newRow("music: on the first slide only")
        << "music4" << music(false, twice) << "ppt/slides/slide2.xml" << QByteArray("<p:audio")
        << 0;
    QTest::newRow("music: the embedded copy")
        << "music5" << music(false, {"song.m4a"}) << slide
        << QByteArray(R"(<a:audioFile r:link="rId3"/><p:extLst>)"
                      R"(<p:ext uri="{DAA4B4D4-6D71-4841-9C94-3DE7FCFB9230}">)"
                      R"(<p14:media xmlns:p14="http://schemas.microsoft.com/office/powerpoint/)"
                      R"(2010/main" r:embed="rId4"/></p:ext></p:extLst>)")
        << 1;
    QTest::newRow("music: a lone file repeats with the show")
        << "musicloop" << music(true, {"song.mp3"}) << slide
        << QByteArray(R"(<p:cTn id="7" repeatCount="indefinite" fill="hold" display="0">)") << 1;
    QTest::newRow("music: several play once a round")
        << "musicloop2" << music(true, twice) << slide << QByteArray("repeatCount") << 0;
    for (const auto& [name, type] :
         {std::pair{"song.mp3", "audio/mpeg"}, std::pair{"song.m4a", "audio/mp4"},
          std::pair{"tone.wav", "audio/wav"}}) {
        const QString extension = QString::fromLatin1(name).section(QLatin1Char('.'), 1);
        QTest::addRow("music: %s", type)
            << "music-" + extension << music(false, {QString::fromLatin1(name)})
            << "[Content_Types].xml"
            << QStringLiteral(R"(<Default Extension="%1" ContentType="%2"/>)")
                   .arg(extension, QLatin1String(type))
                   .toUtf8()
            << 1;
    }
    QTest::newRow("no effect on a click: as it was")
        << "click" << transition(kTransitionNone, 0) << slide << QByteArray("<p:transition") << 0;
    QTest::newRow("loop") << "loop" << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setLoopUntilStopped(kMsoTrue);
    }) << "ppt/presProps.xml"
                          << QByteArray(R"(<p:showPr loop="1"><p:present/><p:sldAll/></p:showPr>)"
                                        R"(</p:presentationPr>)")
                          << 1;
    QTest::newRow("loop taken back") << "noloop" << Step([](PptxHost& h, auto&) {
        h.setLoopUntilStopped(kMsoTrue);
        h.setLoopUntilStopped(kMsoFalse);
    }) << "ppt/presProps.xml" << QByteArray("<p:showPr")
                                     << 0;
    const QByteArray mainPart = R"(<Override PartName="/ppt/presentation.xml" )"
                                R"(ContentType="application/vnd.openxmlformats-officedocument.)";
    QTest::newRow(".ppsx: a slide show")
        << "show.PpSx" << Step([](PptxHost& h, auto&) { heldText(h); }) << "[Content_Types].xml"
        << mainPart + "presentationml.slideshow.main+xml\"/>" << 1;
    QTest::newRow(".pptx: a presentation")
        << "notshow" << Step([](PptxHost& h, auto&) { heldText(h); }) << "[Content_Types].xml"
        << mainPart + "presentationml.presentation.main+xml\"/>" << 1;
    const auto sized = [](float width, float height) {
        return Step([=](PptxHost& h, auto&) { h.setSlideSize(width, height); });
    };
    QTest::newRow("4:3") << "size43" << sized(720, 540) << "docProps/app.xml"
                         << QByteArray("<PresentationFormat>On-screen Show (4:3)<") << 1;
    QTest::newRow("16:9") << "size169" << sized(960, 540) << "docProps/app.xml"
                          << QByteArray("<PresentationFormat>On-screen Show (16:9)<") << 1;
    QTest::newRow("other sizes") << "size1610" << sized(864, 540) << "docProps/app.xml"
                                 << QByteArray("<PresentationFormat>Custom<") << 1;
}

void TestPptxHost::showOperations() {
    QFETCH(QString, file);
    QFETCH(Step, step);
    QFETCH(QString, part);
    QFETCH(QByteArray, fragment);
    QFETCH(int, count);
    const QString out =
        dir_.filePath(file.contains(QLatin1Char('.')) ? file : file + QStringLiteral(".pptx"));
    PptxHost host(PptxHostOptions{out, {}, false, nullptr});
    startDeck(host);
    step(host, dir_.path());
    QVERIFY(!host.endBuild(PresentationHost::Outcome::Completed));
    const QByteArray xml = partOf(out, part);
    QVERIFY2(xml.count(fragment) == count, xml.constData());
    showDecks_ << out;
}

void TestPptxHost::showDecksValid() {
    QVERIFY(!showDecks_.isEmpty());
    VERIFY_VALID_PPTX(showDecks_);
}

void TestPptxHost::operationErrors_data() {
    QTest::addColumn<bool>("presentation");
    QTest::addColumn<Step>("step");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("operation");
    const QString add = QStringLiteral("Slides.Add"), pic = QStringLiteral("Shapes.AddPicture");
    auto picture = [](const QString& name, float width = 10) {
        return Step([=](PptxHost& h, const QString& dir) {
            h.addSlide(1, kLayoutBlank);
            h.addPicture(readPicture(QDir(dir).filePath(name)), 0, -1, 0, 0, width, 10);
        });
    };
    QTest::newRow("slide index 0")
        << true << Step([](PptxHost& h, auto&) { h.addSlide(0, kLayoutBlank); }) << 5 << add;
    QTest::newRow("slide index past the end")
        << true << Step([](PptxHost& h, auto&) { h.addSlide(2, kLayoutBlank); }) << 5 << add;
    QTest::newRow("layout other than blank or title")
        << true << Step([](PptxHost& h, auto&) { h.addSlide(1, 2); }) << 5 << add;
    QTest::newRow("slide size once there are slides") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.setSlideSize(960, 540);
    }) << 5 << "PageSetup.SlideSize";
    QTest::newRow("slide under an inch wide")
        << true << Step([](PptxHost& h, auto&) { h.setSlideSize(71, 540); }) << 5
        << "PageSetup.SlideSize";
    QTest::newRow("placeholder on a blank slide") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.placeholderTextRange(kPlaceholderTitle);
    }) << 5 << "Shapes.Placeholders";
    QTest::newRow("third placeholder of a title slide") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutTitle);
        h.placeholderTextRange(3);
    }) << 5 << "Shapes.Placeholders";
    QTest::newRow("picture before any slide") << true << Step([](PptxHost& h, const QString& d) {
        h.addPicture(readPicture(d + QStringLiteral("/good.png")), 0, -1, 0, 0, 10, 10);
    }) << 5 << pic;
    QTest::newRow("endless width")
        << true << picture(QStringLiteral("good.png"), std::numeric_limits<float>::infinity()) << 5
        << pic;
    QTest::newRow("border with no picture held")
        << true << Step([](PptxHost& h, auto&) { h.setLineWeight(kBorderWeight); }) << 5
        << "LineFormat.Weight";
    QTest::newRow("text range before a text box")
        << true << Step([](PptxHost& h, auto&) { h.textRange(); }) << 5 << "TextFrame.TextRange";
    QTest::newRow("vertical text") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.addTextbox(5, 0, 0, 10, 10);
    }) << 5 << "Shapes.AddTextbox";
    const auto held = [picture](const std::function<void(PptxHost&)>& call) {
        return Step([=](PptxHost& h, const QString& dir) {
            picture(QStringLiteral("good.png"))(h, dir);
            call(h);
        });
    };
    const QString crop = QStringLiteral("PictureFormat.Crop");
    QTest::newRow("negative crop")
        << true << held([](PptxHost& h) { h.setPictureCrop(0, -1, 0, 0); }) << 5 << crop;
    QTest::newRow("crop leaving no width")
        << true << held([](PptxHost& h) { h.setPictureCrop(4, 0, 6, 0); }) << 5 << crop;
    QTest::newRow("crop leaving no height")
        << true << held([](PptxHost& h) { h.setPictureCrop(0, 0, 0, 10); }) << 5 << crop;
    QTest::newRow("endless crop") << true << held([](PptxHost& h) {
        h.setPictureCrop(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0);
    }) << 5 << crop;
    QTest::newRow("crop with no picture held") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.setPictureCrop(1, 1, 1, 1);
    }) << 5 << crop;
    QTest::newRow("endless rotation") << true << held([](PptxHost& h) {
        h.setPictureRotation(std::numeric_limits<float>::infinity());
    }) << 5 << "Shape.Rotation";
    QTest::newRow("rotation with no picture held") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.setPictureRotation(90);
    }) << 5 << "Shape.Rotation";
    QTest::newRow("colour type other than automatic or grey")
        << true << held([](PptxHost& h) { h.setPictureColorType(3); }) << 5
        << "PictureFormat.ColorType";
    QTest::newRow("fill before a text box") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.setTextboxFill(0, 0);
    }) << 5 << "Shape.Fill";
    QTest::newRow("fill more than clear") << true << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setTextboxFill(0, 1.5f);
    }) << 5 << "Shape.Fill";
    QTest::newRow("fill colour beyond 0xRRGGBB") << true << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setTextboxFill(0x1000000, 0);
    }) << 5 << "Shape.Fill";
    QTest::newRow("anchor before a text box") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.setVerticalAnchor(kAnchorBottom);
    }) << 5 << "TextFrame.VerticalAnchor";
    QTest::newRow("anchored in the middle") << true << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setVerticalAnchor(3);
    }) << 5 << "TextFrame.VerticalAnchor";
    QTest::newRow("text colour with no text range") << true << Step([](PptxHost& h, auto&) {
        h.addSlide(1, kLayoutBlank);
        h.setFontColor(0);
    }) << 5 << "Font.Color";
    QTest::newRow("justified") << true << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setParagraphAlignment(4);
    }) << 5 << "ParagraphFormat.Alignment";
    QTest::newRow("background beyond 0xRRGGBB")
        << true << Step([](PptxHost& h, auto&) { h.setBackgroundColor(0xFF000000); }) << 5
        << "SlideMaster.Background";
    QTest::newRow("transition effect 4") << true << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setSlideShowTransition(4, 5);
    }) << 5 << "SlideShowTransition";
    QTest::newRow("negative advance") << true << Step([](PptxHost& h, auto&) {
        heldText(h);
        h.setSlideShowTransition(kTransitionFade, -5);
    }) << 5 << "SlideShowTransition";
    QTest::newRow("transition before any slide")
        << true << Step([](PptxHost& h, auto&) { h.setSlideShowTransition(kTransitionFade, 5); })
        << 5 << "SlideShowTransition";
    QTest::newRow("loop before a presentation")
        << false << Step([](PptxHost& h, auto&) { h.setLoopUntilStopped(kMsoTrue); }) << 5
        << "SlideShowSettings.LoopUntilStopped";
    QTest::newRow("slides before a presentation")
        << false << Step([](PptxHost& h, auto&) { h.slideCount(); }) << 5 << "Slides.Count";
}

void TestPptxHost::operationErrors() {
    QFETCH(bool, presentation);
    QFETCH(Step, step);
    QFETCH(int, number);
    QFETCH(QString, operation);
    pic(QStringLiteral("good.png"));
    PptxHost host(PptxHostOptions{outPath(QStringLiteral("unused")), {}, true, nullptr});
    host.createApplication();
    if (presentation)
        host.addPresentation(kMsoTrue);
    try {
        step(host, dir_.path());
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.text().startsWith(operation + QStringLiteral(": ")), qPrintable(e.text()));
        // Errors about a file name it.
        QCOMPARE(e.file().isEmpty(), number == 5);
    }
}

void TestPptxHost::numberedNameNeverOverwrites() {
    const QString docs = dir_.filePath(QStringLiteral("docs/sub"));
    RecordingOpener opener;
    PptxHostOptions options;
    options.documentsFolder = docs;
    options.opener = &opener;
    PptxHost host(options);

    // The folder is made when missing; the first build takes number 1.
    host.createApplication();
    host.setVisible(kMsoTrue);
    host.addPresentation(kMsoTrue);
    host.endBuild(PresentationHost::Outcome::Completed);
    QCOMPARE(host.savedPath(), docs + QStringLiteral("/Presentation 1.pptx"));
    QCOMPARE(opener.opened, QStringList{host.savedPath()});
    QVERIFY(host.openedOnDesktop());

    // Taken names (a file, a folder, a dangling link) are passed over, never replaced.
    writeBytes(docs, QStringLiteral("Presentation 2.pptx"), "mine");
    QDir(docs).mkdir(QStringLiteral("Presentation 3.pptx"));
    QFile::link(docs + QStringLiteral("/nowhere"), docs + QStringLiteral("/Presentation 4.pptx"));
    startDeck(host);
    placePicture(host, pic(QStringLiteral("n.png")));
    host.endBuild(PresentationHost::Outcome::Completed);
    QCOMPARE(host.savedPath(), docs + QStringLiteral("/Presentation 5.pptx"));
    QCOMPARE(readBytes(docs + QStringLiteral("/Presentation 2.pptx")), QByteArray("mine"));
    // Not visible: nothing opened this time.
    QCOMPARE(opener.opened.size(), 1);
    QVERIFY(!host.openedOnDesktop());
    QCOMPARE(QDir(docs).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4);
}

void TestPptxHost::documentsFolderNotWritable_data() {
    QTest::addColumn<bool>("underAFile");
    QTest::newRow("read-only folder") << false;
    QTest::newRow("folder that cannot be made") << true;
}

void TestPptxHost::documentsFolderNotWritable() {
    QFETCH(bool, underAFile);
    QString docs = dir_.filePath(QStringLiteral("readonly"));
    if (underAFile) {
        docs = writeBytes(dir_.path(), QStringLiteral("plainfile"), "x") + "/Documents";
    } else {
        if (::geteuid() == 0)
            QSKIP("root writes everywhere");
        QVERIFY(QDir().mkpath(docs));
        QVERIFY(QFile::setPermissions(docs, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    PptxHostOptions options;
    options.documentsFolder = docs;
    PptxHost host(options);
    try {
        // The package is begun with the presentation: the build stops before any picture.
        startDeck(host);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(errPathFileAccess));
        QCOMPARE(e.file(), docs);
        const QString cause = underAFile ? "Not a directory" : "Permission denied";
        QVERIFY2(e.text().contains(cause), qPrintable(e.text()));
    }
    QVERIFY(host.savedPath().isEmpty());
    if (!underAFile) {
        QFile::setPermissions(docs, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        QVERIFY(QDir(docs).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
}

void TestPptxHost::failedBuildKeepsOrWritesNothing_data() {
    QTest::addColumn<bool>("keepOnFailure");
    QTest::newRow("window keeps what was made") << true;
    QTest::newRow("batch writes nothing") << false;
}

void TestPptxHost::failedBuildKeepsOrWritesNothing() {
    QFETCH(bool, keepOnFailure);
    const QString out = outPath(QStringLiteral("failed-%1").arg(keepOnFailure));
    PptxHost host(PptxHostOptions{out, {}, keepOnFailure, nullptr});
    startDeck(host);
    placePicture(host, pic(QStringLiteral("f.png")));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, placePicture(host, dir_.filePath("gone.png")));
    host.endBuild(PresentationHost::Outcome::Failed);
    QCOMPARE(QFileInfo::exists(out), keepOnFailure);
    // The slide the missing picture was to go on is not kept blank.
    if (keepOnFailure)
        QCOMPARE(slideCount(out), 1);
}

void TestPptxHost::outputPathReplacedByEmptyDeck() {
    const QString out = writeBytes(dir_.path(), QStringLiteral("replace.pptx"), "old");
    writeDeck(out, {});
    QVERIFY(attributeValues(partOf(out, "ppt/presentation.xml"), "p:sldIdLst", "x").isEmpty());
    QVERIFY(partOf(out, "docProps/app.xml").contains("<Slides>0</Slides>"));
    for (const ZipEntry& e : zipEntries(out))
        QVERIFY2(!e.name.startsWith(QLatin1String("ppt/slides/")), qPrintable(e.name));
}

// Between measuring and saving the picture file changed, went away or became a FIFO: the
// build stops on error 75 naming it, nothing hangs, and nothing of the save is left behind.
// Changed after it went in (as the writer comes to read it), it is left out of the deck a
// failed build keeps.
void TestPptxHost::pictureNoLongerAsMeasured_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("afterAdding");
    const auto resize = [](qint64 to) {
        return Change([to](const QString& p) { QVERIFY(QFile::resize(p, to)); });
    };
    QTest::newRow("removed") << Change([](const QString& p) { QFile::remove(p); }) << false;
    QTest::newRow("replaced by a FIFO") << Change([](const QString& p) {
        QFile::remove(p);
        QCOMPARE(::mkfifo(QFile::encodeName(p).constData(), 0600), 0);
    }) << false;
    QTest::newRow("replaced by text") << Change([](const QString& p) {
        writeBytes(QFileInfo(p).path(), QFileInfo(p).fileName(), "shopping list\n");
    }) << false;
    QTest::newRow("replaced by a PNG") << Change([](const QString& p) {
        const QString png = makePicture(QFileInfo(p).path(), "other.png", "png", 64, 48);
        QFile::remove(p);
        QVERIFY(QFile::rename(png, p));
    }) << false;
    QTest::newRow("emptied") << resize(0) << false;
    QTest::newRow("truncated") << resize(100) << false;
    QTest::newRow("grown") << resize(100000) << false;
    QTest::newRow("rewritten, same size") << Change([](const QString& p) {
        const QByteArray bytes = readBytes(p);
        QThread::msleep(20);
        writeBytes(QFileInfo(p).path(), QFileInfo(p).fileName(), bytes);
    }) << false;
    QTest::newRow("grown after it went in") << resize(100000) << true;
}

void TestPptxHost::pictureNoLongerAsMeasured() {
    QFETCH(Change, change);
    QFETCH(bool, afterAdding);
    QTemporaryDir dir;
    const QString out = writeBytes(dir.path(), QStringLiteral("kept.pptx"), "old");
    const QString photo = makeOrientedJpeg(dir.path(), QStringLiteral("p.jpg"), 64, 48, 6);
    const QString before = makePicture(dir.path(), QStringLiteral("before.png"), "png", 16, 12);
    PptxHost host(PptxHostOptions{out, {}, afterAdding, nullptr});
    const Picture measured = readPicture(photo);
    g_whenRead.entry = "ppt/media/image2.";
    g_whenRead.change = [&] { change(photo); };
    g_whenRead.done = false;
    const auto error = build(host, [&] {
        startDeck(host);
        placePicture(host, before);
        host.addSlide(2, kLayoutBlank);
        if (!afterAdding)
            change(photo);
        else
            setFaultHook(changeWhenRead);
        host.addPicture(measured, kMsoFalse, kMsoTrue, 0, 0, 100, 100);
    });
    setFaultHook(nullptr);
    QVERIFY(!afterAdding || g_whenRead.done);
    QVERIFY(error);
    QCOMPARE(error->number(), int(errPathFileAccess));
    QCOMPARE(error->file(), photo);
    QVERIFY(QDir(dir.path()).entryList({".~slidemill-*"}, QDir::Hidden | QDir::Files).isEmpty());
    if (!afterAdding) {
        QCOMPARE(readBytes(out), QByteArray("old"));
        return;
    }
    // Kept by the window: whole, up to the picture that failed.
    QCOMPARE(slideCount(out), 1);
    QVERIFY(!readPart(out, QStringLiteral("ppt/media/image2.jpeg")));
    expectValid(out);
}

void TestPptxHost::outputFile_data() {
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<int>("mode"); // of the deck saved; 0 when refused
    QTest::addColumn<QString>("error");
    const auto native = [](const QString& p) { return QFile::encodeName(p); };
    QTest::newRow("new: 0666 less the umask") << Prepare([](auto&, auto&) {}) << 0644 << "";
    QTest::newRow("replaced: mode and group kept") << Prepare([native](const QString& out, auto&) {
        writeBytes(QFileInfo(out).path(), QFileInfo(out).fileName(), "old");
        QCOMPARE(::chmod(native(out).constData(), 0640), 0);
        if (::geteuid() == 0)
            QCOMPARE(::chown(native(out).constData(), uid_t(-1), 1), 0);
    }) << 0640 << "";
    QTest::newRow("a link: written through") << Prepare([](const QString& out, auto&) {
        QVERIFY(QFile::link(QStringLiteral("target.pptx"), out));
    }) << 0644 << "";
    // In a sticky folder anyone writes to, a link is followed only when it is ours or the
    // folder owner's, as the kernel follows them.
    const auto shared = [native](const QString& out, uid_t owner) {
        QCOMPARE(::chmod(native(QFileInfo(out).path()).constData(), 01777), 0);
        writeBytes(QFileInfo(out).path(), QStringLiteral("target.pptx"), "old");
        QVERIFY(QFile::link(QStringLiteral("target.pptx"), out));
        if (owner != ::geteuid())
            QCOMPARE(::lchown(native(out).constData(), owner, gid_t(-1)), 0);
    };
    QTest::newRow("our link in a shared folder: written through")
        << Prepare([shared](const QString& out, auto&) { shared(out, ::geteuid()); }) << 0644 << "";
    QTest::newRow("another user's link in a shared folder: refused")
        << Prepare([shared](const QString& out, auto&) { shared(out, 65534); }) << 0
        << "a link in a shared folder owned by someone else";
    QTest::newRow("a FIFO: refused") << Prepare([native](const QString& out, auto&) {
        QCOMPARE(::mkfifo(native(out).constData(), 0600), 0);
    }) << 0 << "the output is not a regular file";
    QTest::newRow("a picture: refused") << Prepare([native](const QString& out, const QString& p) {
        QCOMPARE(::link(native(p).constData(), native(out).constData()), 0);
    }) << 0 << "the output is one of the pictures";
}

void TestPptxHost::outputFile() {
    QFETCH(Prepare, prepare);
    QFETCH(int, mode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString picture = makePicture(dir.path(), QStringLiteral("p.png"), "png", 16, 12);
    const QByteArray pictureBytes = readBytes(picture);
    const QString out = dir.filePath(QStringLiteral("out.pptx"));
    if (QByteArrayView(QTest::currentDataTag()).contains("another user") && ::geteuid() != 0)
        QSKIP("only root can give a link to another user");
    prepare(out, picture);
    const QByteArray native = QFile::encodeName(out);
    struct stat before {};
    const bool existed = ::lstat(native.constData(), &before) == 0;
    const mode_t umask = ::umask(022);
    try {
        writeDeck(out, {picture});
        QVERIFY2(error.isEmpty(), "no error");
    } catch (const RuntimeError& e) {
        QVERIFY2(!error.isEmpty() && e.text().contains(error), qPrintable(e.text()));
        QCOMPARE(e.file(), out);
    }
    ::umask(umask);
    struct stat link {
    }, saved{};
    QCOMPARE(::lstat(native.constData(), &link), 0);
    QCOMPARE(::stat(native.constData(), &saved), 0);
    if (existed)
        QCOMPARE(link.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(readBytes(picture), pictureBytes);
    QVERIFY(QDir(dir.path()).entryList({".~slidemill-*"}, QDir::Hidden | QDir::Files).isEmpty());
    if (mode == 0) {
        if (QFileInfo::exists(dir.filePath(QStringLiteral("target.pptx"))))
            QCOMPARE(readBytes(dir.filePath(QStringLiteral("target.pptx"))), QByteArray("old"));
        return;
    }
    QCOMPARE(int(saved.st_mode & 07777), mode);
    if (existed && S_ISREG(before.st_mode))
        QCOMPARE(saved.st_gid, before.st_gid);
    QCOMPARE(zipEntries(out).size(), std::size_t(17));
}

// The way in for pictures made in memory: the bytes go in as made and in order with the
// files around them; a maker's error is its own picture's outcome.
void TestPptxHost::pictureMadeInMemory() {
    QTemporaryDir dir;
    const Picture file = readPicture(makePicture(dir.path(), "a.png", "png", 16, 12));
    Picture heic = file;
    heic.path = QStringLiteral("b.heic");
    heic.format = PictureFormat::Heic;
    const QByteArray made = jpegBytes(8, 8);
    const auto writer = [&dir](const QString& name) {
        return std::make_unique<pptx::PackageWriter>(pptx::SaveFile::replacing(dir.filePath(name)));
    };
    pptx::Deck deck;
    deck.media = {{file, {}}, {heic, {}}, {file, {}}};
    deck.slides.resize(1);
    for (int i = 0; i < 3; ++i) {
        pptx::Shape shape;
        shape.id = i + 2;
        shape.media = i;
        deck.slides[0].shapes.push_back(shape);
    }
    auto package = writer("made.pptx");
    package->addPicture(0, deck.media[0]);
    package->addPicture(1, deck.media[1], [made] {
        return pictures::MadePicture{made, PictureFormat::Jpeg, {}};
    });
    package->addPicture(2, deck.media[2]);
    package->finish(deck);
    const QString out = package->commit({});
    QStringList names;
    for (const ZipEntry& e : zipEntries(out))
        names << e.name;
    QCOMPARE(names.mid(0, 3), QStringList({"ppt/media/image1.png", "ppt/media/image2.jpeg",
                                           "ppt/media/image3.png"}));
    QCOMPARE(partOf(out, "ppt/media/image2.jpeg"), made);

    auto failing = writer("failed.pptx");
    failing->addPicture(0, deck.media[0]);
    failing->addPicture(1, deck.media[1], []() -> pictures::MadePicture {
        throw RuntimeError::withFile(errInvalidPicture, "b.heic");
    });
    failing->addPicture(2, deck.media[2]);
    failing->drain();
    QVERIFY(failing->stored(0) && !failing->stored(1) && failing->stored(2));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, std::rethrow_exception(failing->firstFailure()));

    // The next picture is made while the one before it is, on both cores: a maker that waits
    // for the next one to start sees it start.
    auto overlapping = writer("both.pptx");
    std::promise<void> secondStarted;
    std::future<void> started = secondStarted.get_future();
    bool overlapped = false;
    overlapping->addPicture(0, deck.media[1], [&] {
        overlapped = started.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        return pictures::MadePicture{made, PictureFormat::Jpeg, {}};
    });
    overlapping->addPicture(1, deck.media[1], [&] {
        secondStarted.set_value();
        return pictures::MadePicture{made, PictureFormat::Jpeg, {}};
    });
    overlapping->drain();
    QVERIFY(overlapped);
}

// The deck's new name is synced to the disk with its folder; when that fails, so does the save.
void TestPptxHost::folderSyncFails() {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("synced.pptx"));
    g_fault = {IoCall::Sync, "/", EIO};
    setFaultHook(injected);
    std::optional<RuntimeError> failed;
    try {
        writeDeck(out, {makePicture(dir.path(), QStringLiteral("p.png"), "png", 16, 12)});
    } catch (const RuntimeError& e) {
        failed = e;
    }
    setFaultHook(nullptr);
    QVERIFY(failed);
    QCOMPARE(failed->number(), int(errPathFileAccess));
    QCOMPARE(failed->file(), out);
    QVERIFY2(failed->text().contains(QStringLiteral("the folder cannot be synced to the disk: ") +
                                     pptx::errnoText(EIO)),
             qPrintable(failed->text()));
}

// As many pictures are made at once as the process has cores to run on, whatever the
// machine, previews waiting or not: slow fake jobs count those at work together.
void TestPptxHost::madeOnEveryCore_data() {
    QTest::addColumn<bool>("oneCore");
    QTest::addColumn<bool>("previews");
    QTest::newRow("one core, as taskset -c 0 leaves it") << true << false;
    QTest::newRow("every core") << false << false;
    QTest::newRow("one core, previews waiting") << true << true;
    QTest::newRow("every core, previews waiting") << false << true;
}

void TestPptxHost::madeOnEveryCore() {
    QFETCH(bool, oneCore);
    QFETCH(bool, previews);
    cpu_set_t all;
    QCOMPARE(::sched_getaffinity(0, sizeof all, &all), 0);
    const auto restore = qScopeGuard([&all] { ::sched_setaffinity(0, sizeof all, &all); });
    if (oneCore) {
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &all)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        QCOMPARE(::sched_setaffinity(0, sizeof one, &one), 0);
    }
    const int cores = pictures::usableCores();
    QCOMPARE(cores == 1, oneCore || CPU_COUNT(&all) == 1);
    QTemporaryDir dir;
    Picture heic = readPicture(makePicture(dir.path(), "a.png", "png", 16, 12));
    heic.format = PictureFormat::Heic;
    pptx::PackageWriter package(pptx::SaveFile::replacing(dir.filePath("cores.pptx")));
    const QByteArray made = jpegBytes(8, 8);
    std::atomic<int> working{0}, most{0};
    const auto work = [&] {
        const int now = ++working;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        --working;
    };
    // Previews share the pool and its bound.
    std::vector<pictures::PoolJob<void>> waiting;
    for (int i = 0; previews && i < 2 * cores; ++i)
        waiting.push_back(
            pictures::PicturePool::shared().submit(pictures::Priority::Preview, {}, work));
    for (int i = 0; i < 3 * cores + 1; ++i) {
        package.addPicture(i, {heic, {}}, [&] {
            work();
            return pictures::MadePicture{made, PictureFormat::Jpeg, {}};
        });
    }
    package.drain();
    for (pictures::PoolJob<void>& preview : waiting)
        preview.result.get();
    QCOMPARE(most.load(), cores);
}

// A 20-photo build in the window's way, with a read, a read-back, a write or the sync failing
// at each picture in turn. The error names the picture that failed (the deck for what only the
// deck can fail at), and the deck kept holds every slide before that picture, whole, with
// every picture byte for byte: no failure is another picture's.
void TestPptxHost::faultAtEveryPicture_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("namesPicture");
    QTest::addColumn<bool>("anyKept");
    // The photos are resized, so that each is decoded on a thread of its own.
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<int>("number");
    QTest::newRow("reading a picture")
        << int(IoCall::ReadPicture) << EIO << true << true << false << 75;
    QTest::newRow("reading a picture back")
        << int(IoCall::ReadBack) << EIO << true << true << false << 75;
    QTest::newRow("writing a picture")
        << int(IoCall::Write) << ENOSPC << false << true << false << 75;
    QTest::newRow("syncing the deck") << int(IoCall::Sync) << EIO << false << false << false << 75;
    // A read error while decoding is the read error, not an undecodable picture.
    QTest::newRow("reading a picture being decoded")
        << int(IoCall::ReadPicture) << EIO << true << true << true << 75;
    // No exception but ours leaves a thread: an allocation that failed is the picture's
    // error 7, and the build ends as for any picture's error.
    QTest::newRow("decoding a picture runs out of memory")
        << int(IoCall::Allocate) << ENOMEM << true << true << true << 7;
    // A thread that cannot start (a pids limit) is the picture's error, not a hang.
    QTest::newRow("starting a picture's thread")
        << int(IoCall::StartThread) << EAGAIN << true << true << true << 75;
}

void TestPptxHost::faultAtEveryPicture() {
    QFETCH(int, call);
    QFETCH(int, error);
    QFETCH(bool, namesPicture);
    QFETCH(bool, anyKept);
    QFETCH(bool, decoded);
    QFETCH(int, number);
    QTemporaryDir dir;
    QStringList photos;
    for (int i = 0; i < (decoded ? 6 : 20); ++i)
        photos << makePicture(dir.path(), QStringLiteral("p%1.jpg").arg(i), "jpeg",
                              (decoded ? 600 : 16) + i, decoded ? 450 : 12);
    HeaderPictureLoader loader;
    QStringList decks;
    for (int k = 0; k < (anyKept ? photos.size() : 1); ++k) {
        const QString docs = dir.filePath(QStringLiteral("docs%1").arg(k));
        PptxHostOptions options{{}, docs, true, nullptr};
        if (decoded)
            options.pixelsPerInch = kMinPixelsPerInch;
        PptxHost host(options);
        g_fault = {IoCall(call),
                   anyKept ? QStringLiteral("ppt/media/image%1.").arg(k + 1).toUtf8() : "", error};
        setFaultHook(injected);
        std::optional<RuntimeError> failed;
        try {
            buildOneOne(photos, false, loader, host);
        } catch (const RuntimeError& e) {
            failed = e;
        }
        setFaultHook(nullptr);
        QVERIFY2(failed, qPrintable(QString::number(k)));
        QCOMPARE(failed->number(), number);
        QCOMPARE(failed->file(), namesPicture ? photos[k] : docs);
        if (number == errPathFileAccess)
            QVERIFY2(failed->text().contains(pptx::errnoText(error)), qPrintable(failed->text()));
        // A picture that cannot be read is not a failure to save.
        if (call == int(IoCall::ReadPicture))
            QVERIFY2(
                failed->text().startsWith(QLatin1String("Path/File access error: cannot read")),
                qPrintable(failed->text()));
        QVERIFY(QDir(docs).entryList({".~slidemill-*"}, QDir::Hidden | QDir::Files).isEmpty());
        const QString saved = host.savedPath();
        QCOMPARE(saved.isEmpty(), k == 0);
        if (saved.isEmpty())
            continue;
        decks << saved;
        QCOMPARE(slideCount(saved), k);
        for (int i = 0; i < k; ++i) {
            const QByteArray part =
                partOf(saved, QStringLiteral("ppt/media/image%1.jpeg").arg(i + 1));
            if (decoded)
                QVERIFY(QImage::fromData(part).width() < 600);
            else
                QCOMPARE(part, readBytes(photos[i]));
        }
        QVERIFY(!readPart(saved, QStringLiteral("ppt/media/image%1.jpeg").arg(k + 1)));
    }
    if (decks.isEmpty())
        return;
    const QString complaints = zipReadersComplain(decks);
    QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
    VERIFY_VALID_PPTX(decks);
}

// A HEIC whose boxes are whole but whose coded picture is noise fails only when decoded: the
// error names it, and the deck the window keeps is whole without it.
void TestPptxHost::undecodablePhoneFormat() {
    QImage blank(64, 48, QImage::Format_RGB32);
    blank.fill(Qt::white);
    QByteArray heic = heifBytes(blank);
    const qsizetype mdat = heic.indexOf("mdat") + 4;
    heic.replace(mdat, heic.size() - mdat, QByteArray(heic.size() - mdat, '\x5a'));
    const QString noise = writeBytes(dir_.path(), QStringLiteral("noise.heic"), heic);
    const QString out = outPath(QStringLiteral("noise"));
    PptxHost host(PptxHostOptions{out, {}, true, nullptr});
    // The failure surfaces with a later picture or at the end, as the decoding goes; either
    // way it names the picture, and the pictures after it are not blamed.
    const auto error = build(host, [&] {
        startDeck(host);
        placePicture(host, pic(QStringLiteral("before-noise.png")));
        placePicture(host, noise);
        placePicture(host, pic(QStringLiteral("after-noise.png")));
    });
    QVERIFY(error);
    QCOMPARE(error->number(), int(errInvalidPicture));
    QCOMPARE(error->file(), noise);
    // In our words: the library's text (or another thread's, in libvips' shared buffer) is
    // for the debug log only.
    QCOMPARE(error->text(),
             QStringLiteral("Invalid picture: the picture's data cannot be decoded"));
    QCOMPARE(slideCount(out), 1);
    QVERIFY(readPart(out, QStringLiteral("ppt/media/image1.png")));
    QVERIFY(!readPart(out, QStringLiteral("ppt/media/image2.jpeg")));
    expectValid(out);
}

// What a music file is measured as, or why it is refused: it is not trusted, so nothing it
// names is ever opened (a playlist or a list of files naming a good song is still refused).
void TestPptxHost::musicMeasured_data() {
    QTest::addColumn<MakeFile>("make");
    QTest::addColumn<int>("number"); // 0: taken
    QTest::addColumn<QString>("cause");
    QTest::addColumn<qint64>("leastMs");
    QTest::addColumn<qint64>("mostMs");
    const auto tone = [](const char* name, double seconds) {
        return MakeFile([=](const QString& dir) { return makeMusic(dir, name, seconds); });
    };
    const auto bytes = [](const char* name, QByteArray content) {
        return MakeFile([=](const QString& dir) {
            return writeBytes(dir, QString::fromLatin1(name), content);
        });
    };
    // The first `keep` of a tone's bytes.
    const auto cut = [](const char* name, double keep) {
        return MakeFile([=](const QString& dir) {
            const QString whole = makeMusic(dir, QStringLiteral("whole-") + name, 3);
            const QByteArray all = readBytes(whole);
            return writeBytes(dir, QString::fromLatin1(name),
                              all.left(qsizetype(double(all.size()) * keep)));
        });
    };
    // A good song beside it, which a reader that followed the list would play.
    const auto naming = [](const char* name, const char* format) {
        return MakeFile([=](const QString& dir) {
            const QString song = makeMusic(dir, QStringLiteral("good.mp3"), 2);
            return writeBytes(dir, QString::fromLatin1(name),
                              QString::fromLatin1(format).arg(song).toUtf8());
        });
    };
    const QString notMusic = QStringLiteral("it is not MP3, M4A or WAV");
    // Encoders add a frame or two of silence to MP3 and AAC.
    QTest::newRow("MP3") << tone("a.mp3", 2) << 0 << QString() << qint64(2000) << qint64(2100);
    QTest::newRow("AAC in M4A") << tone("a.m4a", 2) << 0 << QString() << qint64(2000)
                                << qint64(2100);
    QTest::newRow("WAV, to the millisecond")
        << tone("a.wav", 2.345) << 0 << QString() << qint64(2345) << qint64(2345);
    QTest::newRow("text named .mp3")
        << bytes("notes.mp3", "shopping list\n") << 481 << notMusic << qint64(0) << qint64(0);
    QTest::newRow("a picture named .mp3") << MakeFile([](const QString& dir) {
        const QString png = makePicture(dir, QStringLiteral("p.png"), "png", 16, 16);
        return writeBytes(dir, QStringLiteral("p.mp3"), readBytes(png));
    }) << 481 << notMusic << qint64(0) << qint64(0);
    QTest::newRow("an HLS playlist named .mp3")
        << naming("list.mp3", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n%1\n"
                              "#EXT-X-ENDLIST\n")
        << 481 << notMusic << qint64(0) << qint64(0);
    QTest::newRow("an ffconcat list named .mp3")
        << naming("concat.mp3", "ffconcat version 1.0\nfile '%1'\n") << 481 << notMusic << qint64(0)
        << qint64(0);
    QTest::newRow("an M3U playlist named .m4a")
        << naming("list.m4a", "#EXTM3U\n%1\n") << 481 << notMusic << qint64(0) << qint64(0);
    QTest::newRow("a video") << tone("v.mp4", 1) << 481 << QStringLiteral("it is a video")
                             << qint64(0) << qint64(0);
    QTest::newRow("MP3 cut short") << cut("cut.mp3", 0.5) << 481
                                   << QStringLiteral("it is cut short") << qint64(0) << qint64(0);
    QTest::newRow("WAV cut short") << cut("cut.wav", 0.5) << 481
                                   << QStringLiteral("it is cut short") << qint64(0) << qint64(0);
    // Its index comes last and is gone.
    QTest::newRow("M4A cut short")
        << cut("cut.m4a", 0.9) << 481 << notMusic << qint64(0) << qint64(0);
    QTest::newRow("empty") << bytes("empty.mp3", QByteArray()) << 481 << notMusic << qint64(0)
                           << qint64(0);
    QTest::newRow("a folder") << MakeFile([](const QString& dir) {
        QDir(dir).mkdir(QStringLiteral("folder.mp3"));
        return QDir(dir).filePath(QStringLiteral("folder.mp3"));
    }) << 481 << QStringLiteral("it is not a regular file")
                              << qint64(0) << qint64(0);
    QTest::newRow("missing") << MakeFile([](const QString& dir) {
        return QDir(dir).filePath(QStringLiteral("gone.mp3"));
    }) << 53 << QString() << qint64(0)
                             << qint64(0);
}

void TestPptxHost::musicMeasured() {
    QFETCH(MakeFile, make);
    QFETCH(int, number);
    QFETCH(QString, cause);
    QFETCH(qint64, leastMs);
    QFETCH(qint64, mostMs);
    QTemporaryDir dir;
    const QString path = make(dir.path());
    if (path.isEmpty())
        QSKIP("ffmpeg is not installed");
    try {
        const MusicFile music = measureMusic(path);
        QCOMPARE(number, 0);
        QVERIFY2(music.durationMs >= leastMs && music.durationMs <= mostMs,
                 qPrintable(QString::number(music.durationMs)));
        QCOMPARE(music.path, path);
        QCOMPARE(music.file.size, QFileInfo(path).size());
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.file(), path);
        QVERIFY2(e.text().contains(cause), qPrintable(e.text()));
    }
}

QTEST_GUILESS_MAIN(TestPptxHost)
#include "test_pptxhost.moc"
