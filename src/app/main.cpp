#include "app/commandline.h"
#include "app/form1.h"
#include "app/qtmessageboxes.h"
#include "browser/systemvolumes.h"
#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "host/desktopopener.h"
#include "host/pptxhost.h"
#include "pictures/previewmaker.h"
#include "pictures/thumbnailcache.h"
#include "slides/picturemetrics.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

using namespace slidemill;

namespace {

// Qt decodes the arguments lossily; file names must reach the file system unchanged.
QStringList argumentsOf(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << pathFromNative(argv[i]);
    return args;
}

QString currentFolder() {
    const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? pathFromNative(cwd.get()) : QString();
}

} // namespace

int main(int argc, char* argv[]) {
    installMessageHandler();
    // Before the application object, which needs a display.
    if (const std::optional<QString> text = informationAsked(argumentsOf(argc, argv))) {
        const QByteArray out = text->toUtf8();
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv by now.
    const WindowArguments given = readWindowArguments(argumentsOf(argc, argv), currentFolder());
    if (!given.unknownOption.isEmpty()) {
        std::fprintf(stderr, "slidemill: unknown option '%s'\nTry 'slidemill --help'.\n",
                     nativePath(given.unknownOption).constData());
        return 2;
    }
    removeUnfinishedSavesOnSignal();
    QApplication::setOrganizationName(QStringLiteral("Slidemill"));
    QApplication::setApplicationName(QStringLiteral("Slidemill"));
    QApplication::setApplicationVersion(QStringLiteral(SLIDEMILL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.example.Slidemill"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/slidemill.ico")));

    QtMessageBoxes boxes;
    SystemVolumes volumes;
    HeaderPictureLoader loader;
    const ThumbnailCache thumbnails(ThumbnailCache::userRoot());
    PreviewMaker previews;
    previews.shareThumbnails(&thumbnails);
    SystemDesktopOpener opener;
    QSettings settings;
    Form1 form(Services{boxes, volumes, loader, previews,
                        [&opener](int pixelsPerInch, const QString& folder) {
                            PptxHostOptions options;
                            options.opener = &opener;
                            options.pixelsPerInch = pixelsPerInch;
                            options.documentsFolder = folder;
                            return std::make_unique<PptxHost>(options);
                        },
                        &settings});
    form.show();
    // Once the window is up, so that a message about what was left out stands over it.
    if (!given.photos.isEmpty())
        QTimer::singleShot(0, &form, [&form, &given] { form.openPhotos(given.photos); });
    return app.exec();
}
