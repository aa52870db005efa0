#pragma once

#include <QByteArray>
#include <QImage>
#include <QMarginsF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTest>
#include <optional>
#include <vector>

namespace slidemill::test {

// One entry of a zip file as its central directory lists it.
struct ZipEntry {
    QString name;
    // ZIP_CM_STORE (0) or ZIP_CM_DEFLATE (8).
    int method = -1;
    quint64 size = 0;
    quint64 compressedSize = 0;
};

// The entries of a .pptx in the order they are stored; empty when it is not a zip.
std::vector<ZipEntry> zipEntries(const QString& pptx);

// The bytes of one part, or nothing when the package lacks it.
std::optional<QByteArray> readPart(const QString& pptx, const QString& partName);

// The outcome of an outside check; `skipped` when the tool is not available here.
struct CheckResult {
    bool skipped = false;
    bool ok = false;
    QString output;
};

// Writes a deck through the .pptx host, a slide per picture placed at frame (points) with a
// thin border, as the one-photo build places it, and a description box under each when asked.
void writeDeck(const QString& out, const QStringList& pictures, bool descriptions = false,
               const QRectF& frame = {120, 60, 480, 360});

// A part's bytes, or a marker naming the missing part so that comparisons show it.
QByteArray partOf(const QString& pptx, const QString& partName);

// The values of one attribute on every element of that name, in document order.
QStringList attributeValues(const QByteArray& xml, const QString& element, const QString& attr);

// What the zip readers the decks must satisfy say of them: Python's zipfile.testzip and
// unzip -t. Empty when they accept every deck.
QString zipReadersComplain(const QStringList& decks);

// Runs SLIDEMILL_SHARED_DIR/tools/validate-pptx on the files. Tests check decks through
// VERIFY_VALID_PPTX below.
CheckResult validatePptx(const QStringList& pptxFiles);

// Converts the files to PDF with LibreOffice headless, in one run with a profile of its own,
// into `outDir`; the PDF of "x.pptx" is "outDir/x.pdf".
CheckResult convertToPdf(const QStringList& pptxFiles, const QString& outDir);
QString pdfPathFor(const QString& pptx, const QString& outDir);
// The same into another of LibreOffice's formats, by its extension ("odp"): what LibreOffice
// read of a deck, as it writes it down itself.
CheckResult convertTo(const QStringList& pptxFiles, const QString& outDir, const QString& format);
QString convertedPathFor(const QString& pptx, const QString& outDir, const QString& format);

// Pages of a PDF by pdfinfo; -1 when it cannot tell.
int pdfPageCount(const QString& pdf);

// Renders one page (from 1) to a PNG at `dpi`; returns the PNG's path, empty on failure.
QString renderPage(const QString& pdf, int page, int dpi, const QString& outPrefix);

// The photo the render checks place, as its owner sees it: portrait 90 x 120, pale yellow, a red
// block top left and a smaller blue one top right, so that every turn and mirror puts a block
// somewhere else.
QImage uprightPhoto();
// The box, in points, that the first picture of a slide's XML shows in, its turn applied.
QRectF shownPictureFrame(const QByteArray& slideXml);
// What is wrong with a page rendered at 72 dpi that should show uprightPhoto() upright,
// filling `frame` (points), less `crop` (points of that frame) at its sides; empty when
// nothing is.
QString uprightProblem(const QImage& page, const QRectF& frame, const QMarginsF& crop = {});

} // namespace slidemill::test

// Fails the test when the package validator rejects the decks; where the validator cannot run,
// skips it with the reason, so that the run shows the check was not made. A skip ends the test
// function: put this after its other checks.
#define VERIFY_VALID_PPTX(files)                                                                   \
    do {                                                                                           \
        const ::slidemill::test::CheckResult validated_ = ::slidemill::test::validatePptx(files);  \
        if (validated_.skipped)                                                                    \
            QSKIP(qPrintable(validated_.output));                                                  \
        QVERIFY2(validated_.ok, qPrintable(validated_.output));                                    \
    } while (false)

// Converts the decks to PDF in outDir, failing the test when LibreOffice cannot; where it is
// not installed, skips the test with the reason.
#define CONVERT_TO_PDF(files, outDir)                                                              \
    do {                                                                                           \
        const ::slidemill::test::CheckResult converted_ =                                          \
            ::slidemill::test::convertToPdf(files, outDir);                                        \
        if (converted_.skipped)                                                                    \
            QSKIP(qPrintable(converted_.output));                                                  \
        QVERIFY2(converted_.ok, qPrintable(converted_.output));                                    \
    } while (false)
