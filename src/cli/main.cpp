#include "cli/batch.h"
#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "host/pptxhost.h"
#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

using namespace slidemill;

int main(int argc, char** argv) {
    installMessageHandler();
    // Qt decodes the arguments lossily; file names must reach the file system unchanged.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << pathFromNative(argv[i]);
    // QImageReader finds its format plugins (TIFF among them) through the application object.
    QCoreApplication app(argc, argv);
    removeUnfinishedSavesOnSignal();
    QTextStream out(stdout);
    QTextStream err(stderr);

    HeaderPictureLoader loader;
    std::shared_ptr<PptxHost> host;
    BatchServices services;
    services.loader = &loader;
    services.standardOutputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    services.makeHost = [&host](const QString& outputPath) {
        PptxHostOptions options;
        options.outputPath = outputPath;
        if (outputPath == QLatin1String("-")) {
            options.outputPath = QStringLiteral("standard output");
            options.outputDescriptor = STDOUT_FILENO;
        }
        options.keepOnFailure = false; // OUT stays as it was when the build fails
        options.opener = nullptr;
        host = std::make_shared<PptxHost>(options);
        return host;
    };
    services.bytesWritten = [&host] { return host ? host->bytesWritten() : 0; };
    services.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return runBatch(args, out, err, services);
}
