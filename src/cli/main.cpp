#include "cli/batch.h"
#include "host/pptxhost.h"
#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

using namespace slidemill;

int main(int argc, char** argv) {
    // QImageReader finds its format plugins (TIFF among them) through the application object.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    HeaderPictureLoader loader;
    BatchServices services;
    services.loader = &loader;
    services.makeHost = [](const QString& outputPath) {
        PptxHostOptions options;
        options.outputPath = outputPath;
        options.keepOnFailure = false; // OUT stays as it was when the build fails
        options.opener = nullptr;
        return std::make_shared<PptxHost>(options);
    };
    return runBatch(app.arguments(), out, err, services);
}
