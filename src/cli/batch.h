#pragma once

#include "host/pptxhost.h"
#include "slides/picture.h"
#include "slides/presentationhost.h"

#include <QIODevice>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace slidemill {

// What the batch companion builds with; tests put fakes in.
struct BatchServices {
    PictureLoader* loader = nullptr;
    // The host that writes the presentation as the options say: to one file, atomically, or
    // into standard output, and nothing at all when the build fails. Made only once the
    // arguments and the list are in hand.
    std::function<std::shared_ptr<PresentationHost>(const PptxHostOptions& options)> makeHost;
    // Bytes of the presentation written so far, for the progress line; null: none known.
    std::function<qint64()> bytesWritten;
    // Zip entries of the presentation written; null: none known.
    std::function<qint64()> entriesWritten;
    // Standard input, for "--from -".
    QIODevice* input = nullptr;
    // Progress is shown only on a terminal.
    bool errIsTerminal = false;
    // Milliseconds since the run began; null: measured from the call to runBatch.
    std::function<qint64()> elapsedMs;
    // "-o -" writes no deck onto a terminal.
    bool standardOutputIsTerminal = false;
};

// Exit codes of slidemill-build.
enum BatchExit : int { batchOk = 0, batchRuntimeError = 1, batchUsageError = 2 };

// The whole of slidemill-build: args as the program received them (the first is its name),
// file names in them carried as nativepath.h describes. Help and version go to out; usage
// and run-time errors, progress and what --verbose tells go to err.
int runBatch(const QStringList& args, QTextStream& out, QTextStream& err,
             const BatchServices& services);

// The usage text, as --help prints it.
QString batchUsage();

} // namespace slidemill
