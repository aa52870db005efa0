#include "support/deckcheck.h"

#include "host/pptxhost.h"
#include "slides/picturemetrics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
#include <zip.h>

namespace slidemill::test {

namespace {

CheckResult run(const QString& program, const QStringList& args, int timeoutMs) {
    CheckResult r;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted()) {
        r.output = QStringLiteral("cannot start %1").arg(program);
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.output = QStringLiteral("%1 timed out").arg(program);
        return r;
    }
    r.output = QString::fromLocal8Bit(p.readAll());
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return r;
}

struct Zip {
    zip_t* z = nullptr;
    explicit Zip(const QString& path) {
        z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    }
    ~Zip() {
        if (z)
            zip_discard(z);
    }
};

} // namespace

void writeDeck(const QString& out, const QStringList& pictures, bool descriptions,
               const QRectF& frame) {
    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.setVisible(kMsoTrue);
    host.addPresentation(kMsoTrue);
    for (const QString& p : pictures) {
        host.addSlide(host.slideCount() + 1, kLayoutBlank);
        host.addPicture(readPicture(p), kMsoFalse, kMsoTrue, float(frame.x()), float(frame.y()),
                        float(frame.width()), float(frame.height()));
        host.setLineVisible(kMsoTrue);
        host.setLineWeight(kBorderWeight);
        host.releasePicture();
        if (descriptions) {
            host.addTextbox(kTextOrientationHorizontal, float(frame.x()),
                            float(frame.bottom() + 10), float(frame.width()), 30);
            host.textRange();
            host.setText(QStringLiteral("Description"));
            host.setFontSize(12);
            host.releaseTextRange();
        }
    }
    if (const auto failed = host.endBuild(PresentationHost::Outcome::Completed))
        throw *failed;
}

QByteArray partOf(const QString& pptx, const QString& partName) {
    const auto bytes = readPart(pptx, partName);
    return bytes ? *bytes : QByteArray("<missing " + partName.toUtf8() + ">");
}

QStringList attributeValues(const QByteArray& xml, const QString& element, const QString& attr) {
    QStringList out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && r.qualifiedName() == element)
            out << r.attributes().value(attr).toString();
    }
    return r.hasError() ? QStringList{QStringLiteral("parse error: ") + r.errorString()} : out;
}

std::vector<ZipEntry> zipEntries(const QString& pptx) {
    std::vector<ZipEntry> out;
    Zip zip(pptx);
    if (!zip.z)
        return out;
    const zip_int64_t n = zip_get_num_entries(zip.z, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        if (zip_stat_index(zip.z, zip_uint64_t(i), 0, &st) != 0)
            continue;
        out.push_back({QString::fromUtf8(st.name), int(st.comp_method), st.size, st.comp_size});
    }
    return out;
}

QString zipReadersComplain(const QStringList& decks) {
    QString complaints;
    QProcess python;
    const QString script = QStringLiteral("import sys, zipfile\n"
                                          "for f in sys.argv[1:]:\n"
                                          "    bad = zipfile.ZipFile(f).testzip()\n"
                                          "    if bad: print(f, bad)\n");
    python.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + decks);
    if (!python.waitForFinished(120000) || python.exitCode() != 0)
        complaints += QStringLiteral("python: ") + python.readAllStandardError();
    complaints += QString::fromUtf8(python.readAllStandardOutput());
    for (const QString& deck : decks) {
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-tqq"), deck});
        if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0)
            complaints += QStringLiteral("unzip -t %1: %2").arg(deck, unzip.readAll());
    }
    return complaints;
}

std::optional<QByteArray> readPart(const QString& pptx, const QString& partName) {
    Zip zip(pptx);
    if (!zip.z)
        return std::nullopt;
    const QByteArray name = partName.toUtf8();
    zip_stat_t st;
    if (zip_stat(zip.z, name.constData(), 0, &st) != 0)
        return std::nullopt;
    zip_file_t* f = zip_fopen(zip.z, name.constData(), 0);
    if (!f)
        return std::nullopt;
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    const zip_int64_t got = zip_fread(f, bytes.data(), st.size);
    zip_fclose(f);
    if (got != zip_int64_t(st.size))
        return std::nullopt;
    return bytes;
}

CheckResult validatePptx(const QStringList& pptxFiles) {
    const QString tool = QStringLiteral(SLIDEMILL_SHARED_DIR "/tools/validate-pptx");
    QString missing;
    if (!QFileInfo(tool).isFile())
        missing = tool + QStringLiteral(" is missing");
    else if (QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
        missing = QStringLiteral("xmllint is not installed");
    else if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
        missing = QStringLiteral("python3 is not installed");
    if (!missing.isEmpty()) {
        CheckResult r;
        r.skipped = true;
        r.output = QStringLiteral("no package validator: ") + missing;
        return r;
    }
    return run(QStringLiteral("python3"), QStringList{tool} + pptxFiles, 300000);
}

CheckResult convertToPdf(const QStringList& pptxFiles, const QString& outDir) {
    return convertTo(pptxFiles, outDir, QStringLiteral("pdf"));
}

CheckResult convertTo(const QStringList& pptxFiles, const QString& outDir, const QString& format) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        CheckResult r;
        r.skipped = true;
        r.output = QStringLiteral("LibreOffice (soffice) is not installed");
        return r;
    }
    // A profile of its own, so that parallel runs and a user's running office do not meet.
    QTemporaryDir profile(QDir::tempPath() + QStringLiteral("/slidemill-lo-XXXXXX"));
    QStringList args{QStringLiteral("-env:UserInstallation=") +
                         QUrl::fromLocalFile(profile.path()).toString(),
                     QStringLiteral("--headless"),
                     QStringLiteral("--norestore"),
                     QStringLiteral("--convert-to"),
                     format,
                     QStringLiteral("--outdir"),
                     outDir};
    args += pptxFiles;
    CheckResult r = run(soffice, args, 600000);
    for (const QString& f : pptxFiles) {
        if (!QFileInfo::exists(convertedPathFor(f, outDir, format))) {
            r.ok = false;
            r.output += QStringLiteral("\nno %1 for %2").arg(format, f);
        }
    }
    return r;
}

QString pdfPathFor(const QString& pptx, const QString& outDir) {
    return convertedPathFor(pptx, outDir, QStringLiteral("pdf"));
}

QString convertedPathFor(const QString& pptx, const QString& outDir, const QString& format) {
    return outDir + QLatin1Char('/') + QFileInfo(pptx).completeBaseName() + QLatin1Char('.') +
           format;
}

int pdfPageCount(const QString& pdf) {
    const CheckResult r = run(QStringLiteral("pdfinfo"), {pdf}, 60000);
    if (!r.ok)
        return -1;
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"),
                                   QRegularExpression::MultilineOption);
    const auto m = pages.match(r.output);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString renderPage(const QString& pdf, int page, int dpi, const QString& outPrefix) {
    const CheckResult r =
        run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
             QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
             QString::number(page), QStringLiteral("-singlefile"), pdf, outPrefix},
            120000);
    const QString png = outPrefix + QStringLiteral(".png");
    return r.ok && QFileInfo::exists(png) ? png : QString();
}

namespace {

bool red(QRgb c) {
    return qRed(c) > 170 && qGreen(c) < 90 && qBlue(c) < 90;
}
bool blue(QRgb c) {
    return qBlue(c) > 150 && qRed(c) < 90 && qGreen(c) < 90;
}
bool white(QRgb c) {
    return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235;
}

// The bounding box of the pixels that match, and their centre of mass.
struct Region {
    QRect box;
    QPointF centre;
};

template <typename Match> Region region(const QImage& img, Match match) {
    Region r;
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (!match(img.pixel(x, y)))
                continue;
            r.box |= QRect(x, y, 1, 1);
            sx += x;
            sy += y;
            ++n;
        }
    }
    if (n > 0)
        r.centre = {sx / n, sy / n};
    return r;
}

bool near(QPointF a, QPointF b, double tolerance) {
    return qAbs(a.x() - b.x()) <= tolerance && qAbs(a.y() - b.y()) <= tolerance;
}

} // namespace

QImage uprightPhoto() {
    QImage img(90, 120, QImage::Format_RGB32);
    img.fill(qRgb(255, 240, 150));
    QPainter p(&img);
    p.fillRect(0, 0, 22, 30, Qt::red);
    p.fillRect(72, 0, 18, 15, Qt::blue);
    return img;
}

QRectF shownPictureFrame(const QByteArray& slideXml) {
    const double emuPerPoint = 12700;
    // The shape tree's own transform comes first, then the first shape's.
    auto first = [&](const char* element, const char* attr) {
        return attributeValues(slideXml, QLatin1String(element), QLatin1String(attr))
                   .value(1)
                   .toDouble() /
               emuPerPoint;
    };
    QRectF box(first("a:off", "x"), first("a:off", "y"), first("a:ext", "cx"),
               first("a:ext", "cy"));
    const int rot =
        attributeValues(slideXml, QStringLiteral("a:xfrm"), QStringLiteral("rot")).value(1).toInt();
    // A quarter turn about the centre shows the box with its sides exchanged.
    if (rot == 5400000 || rot == 16200000) {
        const QPointF c = box.center();
        box = QRectF(c.x() - box.height() / 2, c.y() - box.width() / 2, box.height(), box.width());
    }
    return box;
}

QString uprightProblem(const QImage& page, const QRectF& frame, const QMarginsF& crop) {
    const Region picture = region(page, [](QRgb c) { return !white(c); });
    const Region r = region(page, red), b = region(page, blue);
    // The blocks, top left and top right, as much of them as the crop leaves.
    const QRectF shown = frame.marginsRemoved(crop);
    const auto block = [&](double x, double width, double height) {
        return QRectF(frame.x() + x / 90 * frame.width(), frame.y(), width / 90 * frame.width(),
                      height / 120 * frame.height())
            .intersected(shown);
    };
    const QPointF redAt = block(0, 22, 30).center(), blueAt = block(72, 18, 15).center();
    const bool fills = qAbs(picture.box.left() - shown.left()) <= 2 &&
                       qAbs(picture.box.top() - shown.top()) <= 2 &&
                       qAbs(picture.box.width() - shown.width()) <= 3 &&
                       qAbs(picture.box.height() - shown.height()) <= 3;
    if (fills && near(r.centre, redAt, 6) && near(b.centre, blueAt, 6))
        return {};
    return QStringLiteral("picture %1,%2 %3x%4 for frame %5,%6 %7x%8, red at %9,%10, blue at "
                          "%11,%12, not %13,%14 and %15,%16")
        .arg(picture.box.x())
        .arg(picture.box.y())
        .arg(picture.box.width())
        .arg(picture.box.height())
        .arg(shown.x(), 0, 'f', 0)
        .arg(shown.y(), 0, 'f', 0)
        .arg(shown.width(), 0, 'f', 0)
        .arg(shown.height(), 0, 'f', 0)
        .arg(r.centre.x(), 0, 'f', 0)
        .arg(r.centre.y(), 0, 'f', 0)
        .arg(b.centre.x(), 0, 'f', 0)
        .arg(b.centre.y(), 0, 'f', 0)
        .arg(redAt.x(), 0, 'f', 0)
        .arg(redAt.y(), 0, 'f', 0)
        .arg(blueAt.x(), 0, 'f', 0)
        .arg(blueAt.y(), 0, 'f', 0);
}

} // namespace slidemill::test
