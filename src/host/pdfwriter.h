#pragma once

#include "slides/recordeddeck.h"
#include "slides/resolutions.h"

#include <QString>
#include <functional>

namespace slidemill {

struct PdfOptions {
    // As the deck's pictures are stored in a .pptx; 0: as their files hold them.
    int pixelsPerInch = kDefaultPixelsPerInch;
    // How much is done, 0 to 1; false cancels.
    std::function<bool(double done)> progress;
};

// A PDF of the deck, a page a slide at the slide's size in points: each picture as the .pptx
// would store it (a JPEG kept goes in byte for byte), stored once however often it shows, and
// the text as text in the deck's fonts, embedded. `path` is replaced only once the PDF is
// whole; nothing is left behind on failure or cancel. Returns false when cancelled. Throws
// RuntimeError naming the file at fault: a picture, or the output.
bool writePdf(const RecordedDeck& deck, const QString& path, const PdfOptions& options);

// Starts finding the deck's fonts for the PDFs to come, in the background, where the caller
// knows of one early (fontconfig takes milliseconds to start): before the build, say. Once a
// process; writePdf starts it itself otherwise.
void lookUpPdfFonts();

} // namespace slidemill
