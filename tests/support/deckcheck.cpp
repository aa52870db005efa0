#include "support/deckcheck.h"

#include "host/pptxhost.h"
#include "slides/picturemetrics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    host.endBuild(PresentationHost::Outcome::Completed);
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
    if (!QFileInfo(tool).isFile() ||
        QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty()) {
        CheckResult r;
        r.skipped = true;
        r.output = QStringLiteral("validate-pptx or xmllint is not available");
        return r;
    }
    return run(QStringLiteral("python3"), QStringList{tool} + pptxFiles, 300000);
}

CheckResult convertToPdf(const QStringList& pptxFiles, const QString& outDir) {
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
                     QStringLiteral("pdf"),
                     QStringLiteral("--outdir"),
                     outDir};
    args += pptxFiles;
    CheckResult r = run(soffice, args, 600000);
    for (const QString& f : pptxFiles) {
        if (!QFileInfo::exists(pdfPathFor(f, outDir))) {
            r.ok = false;
            r.output += QStringLiteral("\nno PDF for %1").arg(f);
        }
    }
    return r;
}

QString pdfPathFor(const QString& pptx, const QString& outDir) {
    return outDir + QLatin1Char('/') + QFileInfo(pptx).completeBaseName() + QStringLiteral(".pdf");
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

} // namespace slidemill::test
