// The .pptx host: what it writes, part by part, and how it saves.

#include "core/runtimeerror.h"
#include "host/pptxhost.h"
#include "support/deckcheck.h"
#include "testpictures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace slidemill;
using namespace slidemill::test;

namespace {

struct RecordingOpener : DesktopOpener {
    QStringList opened;
    void open(const QString& path) override { opened << path; }
};

// The calls a one-photo build makes for each picture.
void placePicture(PptxHost& host, const QString& path, bool description) {
    host.addSlide(host.slideCount() + 1, kLayoutBlank);
    host.addPicture(path, kMsoFalse, kMsoTrue, 120, 60, 480, 360);
    host.setLineVisible(kMsoTrue);
    host.setLineWeight(kBorderWeight);
    host.releasePicture();
    if (description) {
        host.addTextbox(kTextOrientationHorizontal, 120, 430, 480, 30);
        host.textRange();
        host.setText(QStringLiteral("Description"));
        host.setFontSize(12);
        host.releaseTextRange();
    }
}

QString build(const QString& out, const QStringList& pictures, bool description = false) {
    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.setVisible(kMsoTrue);
    host.addPresentation(kMsoTrue);
    for (const QString& p : pictures)
        placePicture(host, p, description);
    host.endBuild(PresentationHost::Outcome::Completed);
    return host.savedPath();
}

QByteArray part(const QString& pptx, const QString& name) {
    const auto bytes = readPart(pptx, name);
    return bytes ? *bytes : QByteArray("<missing " + name.toUtf8() + ">");
}

// The values of one attribute on every element of that name, in document order.
QStringList attributeValues(const QByteArray& xml, const QString& element, const QString& attr) {
    QStringList out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && r.qualifiedName() == element)
            out << r.attributes().value(attr).toString();
    }
    return r.hasError() ? QStringList{QStringLiteral("parse error: ") + r.errorString()} : out;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPptxHost : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString pic(const QString& name, const QString& format, QColor fill = Qt::red) {
        const QString path = dir_.filePath(name);
        if (!QFileInfo::exists(path) && !writePicture(path, format, fill))
            qWarning() << "cannot write" << path;
        return path;
    }

private Q_SLOTS:
    void smallDeckPartByPart();
    void everyFormatStoredAsItIs_data();
    void everyFormatStoredAsItIs();
    void fileListedTwiceStoredOnce();
    void namesAreEscaped();
    void emptyPresentation();
    void slidesInsertedWhereAsked();
    void sameListSameBytes();
    void operationErrors_data();
    void operationErrors();
    void unreadablePicture();
    void numberedNameNeverOverwrites();
    void documentsFolderNotWritable_data();
    void documentsFolderNotWritable();
    void failedBuildKeepsOrWritesNothing_data();
    void failedBuildKeepsOrWritesNothing();
    void outputPathReplacedOnlyWhenComplete();
};

void TestPptxHost::smallDeckPartByPart() {
    const QString out = dir_.filePath(QStringLiteral("small.pptx"));
    QCOMPARE(build(out, {pic(QStringLiteral("one.png"), QStringLiteral("png"))}, true),
             QFileInfo(out).absoluteFilePath());

    const QStringList expectedOrder{"[Content_Types].xml",
                                    "_rels/.rels",
                                    "docProps/core.xml",
                                    "docProps/app.xml",
                                    "ppt/presentation.xml",
                                    "ppt/_rels/presentation.xml.rels",
                                    "ppt/slideMasters/slideMaster1.xml",
                                    "ppt/slideMasters/_rels/slideMaster1.xml.rels",
                                    "ppt/slideLayouts/slideLayout1.xml",
                                    "ppt/slideLayouts/_rels/slideLayout1.xml.rels",
                                    "ppt/theme/theme1.xml",
                                    "ppt/presProps.xml",
                                    "ppt/viewProps.xml",
                                    "ppt/tableStyles.xml",
                                    "ppt/slides/slide1.xml",
                                    "ppt/slides/_rels/slide1.xml.rels",
                                    "ppt/media/image1.png"};
    QStringList names;
    for (const ZipEntry& e : zipEntries(out)) {
        names << e.name;
        // Pictures stored as they are, XML compressed.
        QCOMPARE(e.method, e.name.startsWith(QLatin1String("ppt/media/")) ? 0 : 8);
    }
    QCOMPARE(names, expectedOrder);

    const QByteArray slide = part(out, QStringLiteral("ppt/slides/slide1.xml"));
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
    QCOMPARE(slide, expectedSlide);

    const QByteArray rels = part(out, QStringLiteral("ppt/slides/_rels/slide1.xml.rels"));
    QCOMPARE(attributeValues(rels, "Relationship", "Id"), QStringList({"rId1", "rId2"}));
    QCOMPARE(attributeValues(rels, "Relationship", "Target"),
             QStringList({"../slideLayouts/slideLayout1.xml", "../media/image1.png"}));

    const QByteArray types = part(out, QStringLiteral("[Content_Types].xml"));
    QCOMPARE(attributeValues(types, "Default", "Extension"), QStringList({"rels", "xml", "png"}));
    QVERIFY(attributeValues(types, "Override", "PartName").contains("/ppt/slides/slide1.xml"));

    const QByteArray pres = part(out, QStringLiteral("ppt/presentation.xml"));
    QCOMPARE(attributeValues(pres, "p:sldSz", "cx"), QStringList{"9144000"});
    QCOMPARE(attributeValues(pres, "p:sldSz", "cy"), QStringList{"6858000"});
    QCOMPARE(attributeValues(pres, "p:sldId", "id"), QStringList{"256"});
    QCOMPARE(attributeValues(pres, "p:sldId", "r:id"), QStringList{"rId2"});
    const QByteArray presRels = part(out, QStringLiteral("ppt/_rels/presentation.xml.rels"));
    QCOMPARE(attributeValues(presRels, "Relationship", "Target").mid(0, 2),
             QStringList({"slideMasters/slideMaster1.xml", "slides/slide1.xml"}));

    QCOMPARE(attributeValues(part(out, "ppt/slideLayouts/slideLayout1.xml"), "p:sldLayout", "type"),
             QStringList{"blank"});
    QCOMPARE(attributeValues(part(out, "ppt/theme/theme1.xml"), "a:latin", "typeface"),
             QStringList({"Calibri Light", "Calibri"}));
    QVERIFY(part(out, "docProps/app.xml").contains("<Slides>1</Slides>"));
    QVERIFY(part(out, "docProps/core.xml").contains("<dc:creator>Slidemill</dc:creator>"));

    const CheckResult v = validatePptx({out});
    if (!v.skipped)
        QVERIFY2(v.ok, qPrintable(v.output));
}

void TestPptxHost::everyFormatStoredAsItIs_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("contentType");
    QTest::newRow("png") << "png"
                         << "image/png";
    QTest::newRow("jpeg") << "jpeg"
                          << "image/jpeg";
    QTest::newRow("gif") << "gif"
                         << "image/gif";
    QTest::newRow("bmp") << "bmp"
                         << "image/bmp";
    QTest::newRow("tiff") << "tiff"
                          << "image/tiff";
    QTest::newRow("wmf") << "wmf"
                         << "image/x-wmf";
    QTest::newRow("emf") << "emf"
                         << "image/x-emf";
}

void TestPptxHost::everyFormatStoredAsItIs() {
    QFETCH(QString, format);
    QFETCH(QString, contentType);
    // A misleading name: the format comes from the bytes.
    const QString source = pic(QStringLiteral("format-%1.pic").arg(format), format);
    QVERIFY(QFileInfo::exists(source));
    const QString out = dir_.filePath(format + QStringLiteral(".pptx"));
    build(out, {source});

    const QString media = QStringLiteral("ppt/media/image1.") + format;
    const auto stored = readPart(out, media);
    QVERIFY2(stored, qPrintable(media));
    QCOMPARE(*stored, fileBytes(source));
    const QByteArray types = part(out, QStringLiteral("[Content_Types].xml"));
    const QStringList exts = attributeValues(types, "Default", "Extension");
    const QStringList ctypes = attributeValues(types, "Default", "ContentType");
    QVERIFY(exts.contains(format));
    QCOMPARE(ctypes.at(exts.indexOf(format)), contentType);
}

void TestPptxHost::fileListedTwiceStoredOnce() {
    const QString a = pic(QStringLiteral("twice.jpg"), QStringLiteral("jpeg"));
    const QString b = pic(QStringLiteral("other.png"), QStringLiteral("png"));
    // The same file under another spelling of its path counts as the same file.
    const QString aAgain = dir_.path() + QStringLiteral("//./twice.jpg");
    const QString out = dir_.filePath(QStringLiteral("twice.pptx"));

    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.addPresentation(kMsoTrue);
    placePicture(host, a, false);
    placePicture(host, b, false);
    placePicture(host, aAgain, false);
    // Twice on one slide: one relationship, two shapes with their own ids.
    host.addPicture(a, kMsoFalse, kMsoTrue, 0, 0, 10, 10);
    host.releasePicture();
    host.endBuild(PresentationHost::Outcome::Completed);

    QStringList media;
    for (const ZipEntry& e : zipEntries(out)) {
        if (e.name.startsWith(QLatin1String("ppt/media/")))
            media << e.name;
    }
    QCOMPARE(media, QStringList({"ppt/media/image1.jpeg", "ppt/media/image2.png"}));
    QCOMPARE(
        attributeValues(part(out, "ppt/slides/_rels/slide3.xml.rels"), "Relationship", "Target"),
        QStringList({"../slideLayouts/slideLayout1.xml", "../media/image1.jpeg"}));
    const QByteArray slide3 = part(out, "ppt/slides/slide3.xml");
    QCOMPARE(attributeValues(slide3, "a:blip", "r:embed"), QStringList({"rId2", "rId2"}));
    QCOMPARE(attributeValues(slide3, "p:cNvPr", "id"), QStringList({"1", "2", "3"}));
}

void TestPptxHost::namesAreEscaped() {
    const QString name = QStringLiteral("a&b <\"c\">'d'.png");
    const QString path = pic(name, QStringLiteral("png"));
    const QString out = dir_.filePath(QStringLiteral("escaped.pptx"));

    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.addPresentation(kMsoTrue);
    placePicture(host, path, false);
    host.addTextbox(kTextOrientationHorizontal, 0, 0, 100, 20);
    host.textRange();
    // Markup, a control character XML cannot carry, and a second paragraph.
    host.setText(QStringLiteral("<b>&amp;</b>\x01 ]]>\r\nline two"));
    host.endBuild(PresentationHost::Outcome::Completed);

    const QByteArray slide = part(out, "ppt/slides/slide1.xml");
    QCOMPARE(attributeValues(slide, "p:cNvPr", "descr"), QStringList({"", name, ""}));
    QStringList texts;
    QXmlStreamReader r(slide);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && r.name() == QLatin1String("t"))
            texts << r.readElementText();
    }
    QVERIFY2(!r.hasError(), qPrintable(r.errorString()));
    QCOMPARE(texts, QStringList({"<b>&amp;</b> ]]>", "line two"}));
    const CheckResult v = validatePptx({out});
    if (!v.skipped)
        QVERIFY2(v.ok, qPrintable(v.output));
}

void TestPptxHost::emptyPresentation() {
    const QString out = dir_.filePath(QStringLiteral("empty.pptx"));
    build(out, {});
    QVERIFY(attributeValues(part(out, "ppt/presentation.xml"), "p:sldIdLst", "x").isEmpty());
    QVERIFY(part(out, "docProps/app.xml").contains("<Slides>0</Slides>"));
    for (const ZipEntry& e : zipEntries(out))
        QVERIFY2(!e.name.startsWith(QLatin1String("ppt/slides/")), qPrintable(e.name));
}

void TestPptxHost::slidesInsertedWhereAsked() {
    const QString out = dir_.filePath(QStringLiteral("order.pptx"));
    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.addPresentation(kMsoTrue);
    for (const auto& [index, text] : {std::pair{1, "B"}, {1, "A"}, {3, "D"}, {3, "C"}}) {
        host.addSlide(index, kLayoutBlank);
        host.addTextbox(kTextOrientationHorizontal, 0, 0, 100, 20);
        host.textRange();
        host.setText(QString::fromLatin1(text));
    }
    QCOMPARE(host.slideCount(), 4);
    host.endBuild(PresentationHost::Outcome::Completed);
    QString order;
    for (int i = 1; i <= 4; ++i) {
        QXmlStreamReader r(part(out, QStringLiteral("ppt/slides/slide%1.xml").arg(i)));
        while (!r.atEnd()) {
            if (r.readNext() == QXmlStreamReader::StartElement && r.name() == QLatin1String("t"))
                order += r.readElementText();
        }
    }
    QCOMPARE(order, QStringLiteral("ABCD"));
}

void TestPptxHost::sameListSameBytes() {
    const QStringList pics{pic(QStringLiteral("det1.jpg"), QStringLiteral("jpeg")),
                           pic(QStringLiteral("det2.gif"), QStringLiteral("gif")),
                           pic(QStringLiteral("det1.jpg"), QStringLiteral("jpeg"))};
    const QString first = dir_.filePath(QStringLiteral("det-a.pptx"));
    const QString second = dir_.filePath(QStringLiteral("det-b.pptx"));
    build(first, pics, true);
    // Time stamps and modes of the source files must not reach the package.
    QThread::sleep(1);
    ::utime(QFile::encodeName(pics[0]).constData(), nullptr);
    ::chmod(QFile::encodeName(pics[1]).constData(), 0600);
    build(second, pics, true);
    QCOMPARE(fileBytes(first).size(), fileBytes(second).size());
    QVERIFY(fileBytes(first) == fileBytes(second));
}

void TestPptxHost::operationErrors_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("namesFile");
    QTest::newRow("slide index 0") << 0 << 5 << "Slides.Add" << false;
    QTest::newRow("slide index past the end") << 1 << 5 << "Slides.Add" << false;
    QTest::newRow("layout other than blank") << 2 << 5 << "Slides.Add" << false;
    QTest::newRow("picture before any slide") << 3 << 5 << "Shapes.AddPicture" << false;
    QTest::newRow("missing picture") << 4 << 53 << "Shapes.AddPicture" << true;
    QTest::newRow("not a picture") << 5 << 481 << "Shapes.AddPicture" << true;
    QTest::newRow("border with no picture held") << 6 << 5 << "LineFormat.Weight" << false;
    QTest::newRow("text range before a text box") << 7 << 5 << "TextFrame.TextRange" << false;
    QTest::newRow("vertical text") << 8 << 5 << "Shapes.AddTextbox" << false;
    QTest::newRow("slides before a presentation") << 9 << 5 << "Slides.Count" << false;
    QTest::newRow("endless width") << 10 << 5 << "Shapes.AddPicture" << false;
}

void TestPptxHost::operationErrors() {
    QFETCH(int, step);
    QFETCH(int, number);
    QFETCH(QString, operation);
    QFETCH(bool, namesFile);
    const QString good = pic(QStringLiteral("good.png"), QStringLiteral("png"));
    const QString missing = dir_.filePath(QStringLiteral("missing.png"));
    const QString text = dir_.filePath(QStringLiteral("text.png"));
    writeBytes(text, "not a picture at all");

    PptxHost host(PptxHostOptions{dir_.filePath("unused.pptx"), {}, true, nullptr});
    host.createApplication();
    if (step != 9)
        host.addPresentation(kMsoTrue);
    if (step >= 4 && step != 9)
        host.addSlide(1, kLayoutBlank);
    try {
        switch (step) {
        case 0:
            host.addSlide(0, kLayoutBlank);
            break;
        case 1:
            host.addSlide(2, kLayoutBlank);
            break;
        case 2:
            host.addSlide(1, 1);
            break;
        case 3:
            host.addPicture(good, 0, -1, 0, 0, 10, 10);
            break;
        case 4:
            host.addPicture(missing, 0, -1, 0, 0, 10, 10);
            break;
        case 5:
            host.addPicture(text, 0, -1, 0, 0, 10, 10);
            break;
        case 6:
            host.setLineWeight(kBorderWeight);
            break;
        case 7:
            host.textRange();
            break;
        case 8:
            host.addTextbox(5, 0, 0, 10, 10);
            break;
        case 9:
            host.slideCount();
            break;
        case 10:
            host.addPicture(good, 0, -1, 0, 0, std::numeric_limits<float>::infinity(), 10);
            break;
        }
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.text().startsWith(operation + QStringLiteral(": ")), qPrintable(e.text()));
        if (namesFile)
            QVERIFY(!e.file().isEmpty());
    }
}

void TestPptxHost::unreadablePicture() {
    if (::geteuid() == 0)
        QSKIP("root reads every file");
    const QString locked = pic(QStringLiteral("locked.png"), QStringLiteral("png"));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    PptxHost host(PptxHostOptions{dir_.filePath("unused.pptx"), {}, true, nullptr});
    host.createApplication();
    host.addPresentation(kMsoTrue);
    host.addSlide(1, kLayoutBlank);
    try {
        host.addPicture(locked, 0, -1, 0, 0, 10, 10);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(errPathFileAccess));
        QCOMPARE(e.file(), locked);
        QVERIFY2(e.text().contains(QStringLiteral("Permission denied")), qPrintable(e.text()));
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
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

    // Taken names (a file, a folder, a dangling link) are passed over, never replaced.
    writeBytes(docs + QStringLiteral("/Presentation 2.pptx"), "mine");
    QDir(docs).mkdir(QStringLiteral("Presentation 3.pptx"));
    QFile::link(docs + QStringLiteral("/nowhere"), docs + QStringLiteral("/Presentation 4.pptx"));
    host.createApplication();
    host.addPresentation(kMsoTrue);
    placePicture(host, pic(QStringLiteral("n.png"), QStringLiteral("png")), false);
    host.endBuild(PresentationHost::Outcome::Completed);
    QCOMPARE(host.savedPath(), docs + QStringLiteral("/Presentation 5.pptx"));
    QCOMPARE(fileBytes(docs + QStringLiteral("/Presentation 2.pptx")), QByteArray("mine"));
    // Not visible: nothing opened this time.
    QCOMPARE(opener.opened.size(), 1);
    QCOMPARE(QDir(docs).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4);
}

void TestPptxHost::documentsFolderNotWritable_data() {
    QTest::addColumn<bool>("underAFile");
    QTest::newRow("read-only folder") << false;
    QTest::newRow("folder that cannot be made") << true;
}

void TestPptxHost::documentsFolderNotWritable() {
    QFETCH(bool, underAFile);
    QString docs;
    if (underAFile) {
        const QString file = dir_.filePath(QStringLiteral("plainfile"));
        writeBytes(file, "x");
        docs = file + QStringLiteral("/Documents");
    } else {
        if (::geteuid() == 0)
            QSKIP("root writes everywhere");
        docs = dir_.filePath(QStringLiteral("readonly"));
        QVERIFY(QDir().mkpath(docs));
        QVERIFY(QFile::setPermissions(docs, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    PptxHostOptions options;
    options.documentsFolder = docs;
    PptxHost host(options);
    host.createApplication();
    host.addPresentation(kMsoTrue);
    placePicture(host, pic(QStringLiteral("ro.png"), QStringLiteral("png")), false);
    try {
        host.endBuild(PresentationHost::Outcome::Completed);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(errPathFileAccess));
        QCOMPARE(e.file(), docs);
        const QString cause =
            underAFile ? QStringLiteral("Not a directory") : QStringLiteral("Permission denied");
        QVERIFY2(e.text().contains(cause), qPrintable(e.text()));
    }
    QVERIFY(host.savedPath().isEmpty());
    if (!underAFile) {
        QFile::setPermissions(docs, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        QCOMPARE(
            QDir(docs).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
    }
}

void TestPptxHost::failedBuildKeepsOrWritesNothing_data() {
    QTest::addColumn<bool>("keepOnFailure");
    QTest::newRow("window keeps what was made") << true;
    QTest::newRow("batch writes nothing") << false;
}

void TestPptxHost::failedBuildKeepsOrWritesNothing() {
    QFETCH(bool, keepOnFailure);
    const QString out = dir_.filePath(QStringLiteral("failed-%1.pptx").arg(keepOnFailure));
    PptxHostOptions options;
    options.outputPath = out;
    options.keepOnFailure = keepOnFailure;
    PptxHost host(options);
    host.createApplication();
    host.addPresentation(kMsoTrue);
    placePicture(host, pic(QStringLiteral("f.png"), QStringLiteral("png")), true);
    host.addSlide(2, kLayoutBlank);
    QVERIFY_THROWS_EXCEPTION(RuntimeError,
                             host.addPicture(dir_.filePath("gone.png"), 0, -1, 0, 0, 1, 1));
    host.endBuild(PresentationHost::Outcome::Failed);
    QCOMPARE(QFileInfo::exists(out), keepOnFailure);
    if (keepOnFailure) {
        // Both slides kept, the second one blank.
        QCOMPARE(attributeValues(part(out, "ppt/presentation.xml"), "p:sldId", "id").size(), 2);
        QCOMPARE(attributeValues(part(out, "ppt/slides/slide2.xml"), "p:cNvPr", "id"),
                 QStringList{"1"});
    }
}

void TestPptxHost::outputPathReplacedOnlyWhenComplete() {
    const QString out = dir_.filePath(QStringLiteral("replace.pptx"));
    writeBytes(out, "old");
    const QString doomed = dir_.filePath(QStringLiteral("doomed.png"));
    writePicture(doomed, QStringLiteral("png"));
    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.addPresentation(kMsoTrue);
    placePicture(host, doomed, false);
    // The picture goes away before the package is written: the error names it, the old file
    // stays whole and no temporary file is left.
    QFile::remove(doomed);
    try {
        host.endBuild(PresentationHost::Outcome::Completed);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(errPathFileAccess));
        QCOMPARE(e.file(), doomed);
    }
    QCOMPARE(fileBytes(out), QByteArray("old"));
    QVERIFY(QDir(dir_.path())
                .entryList({QStringLiteral(".~slidemill-*")}, QDir::Hidden | QDir::Files)
                .isEmpty());

    build(out, {});
    QVERIFY(readPart(out, QStringLiteral("ppt/presentation.xml")));
}

QTEST_GUILESS_MAIN(TestPptxHost)
#include "test_pptxhost.moc"
