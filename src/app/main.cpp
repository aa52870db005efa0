#include "app/commandline.h"
#include "app/form1.h"
#include "app/qtmessageboxes.h"
#include "browser/systemvolumes.h"
#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "host/desktopopener.h"
#include "host/pptxhost.h"
#include "host/renderinghost.h"
#include "pictures/previewmaker.h"
#include "pictures/thumbnailcache.h"
#include "slides/picturemetrics.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

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
    // All before the application object, which needs a display.
    const QStringList args = argumentsOf(argc, argv);
    if (const std::optional<QString> text = informationAsked(args)) {
        const QByteArray out = text->toUtf8();
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "slidemill: cannot write to standard output: %s\n",
                         std::strerror(errno ? errno : EIO));
            return 1;
        }
        return 0;
    }
    const WindowArguments given = readWindowArguments(args, currentFolder());
    if (!given.unknownOption.isEmpty() || !given.missingValue.isEmpty()) {
        std::fprintf(stderr, "slidemill: %s '%s'%s\nTry 'slidemill --help'.\n",
                     given.unknownOption.isEmpty() ? "option" : "unknown option",
                     nativePath(given.unknownOption + given.missingValue).constData(),
                     given.unknownOption.isEmpty() ? " needs a value" : "");
        return 2;
    }
    // Qt is given its own options alone: a photo's name is never taken for one of them.
    QList<QByteArray> qtArgs{argv[0]};
    for (const QString& option : given.qtOptions)
        qtArgs << nativePath(option);
    std::vector<char*> qtArgv;
    for (QByteArray& arg : qtArgs)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(qtArgs.size());
    QApplication app(qtArgc, qtArgv.data());
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
                        [&opener](const DeckRequest& request) {
                            PptxHostOptions options;
                            options.opener = request.open ? &opener : nullptr;
                            options.pixelsPerInch = request.pixelsPerInch;
                            options.documentsFolder = request.folder;
                            options.outputPath = request.path;
                            // Saving over an album's file keeps the old one unless all is made.
                            options.keepOnFailure = request.path.isEmpty();
                            return hostFor(options);
                        },
                        &settings, askWithFileDialog,
                        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QStringLiteral("/Slidemill/Deck pictures"),
                        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                            QStringLiteral("/Slidemill/Shows")});
    form.show();
    // Once the window is up, so that a message about what was left out stands over it. A deck
    // among them opens in the album window, as does --album.
    QTimer::singleShot(0, &form, [&form, &given] {
        if (given.album || !given.decks.isEmpty())
            form.showAlbumWindow();
        if (!given.photos.isEmpty())
            form.openPhotos(given.photos);
        if (!given.decks.isEmpty())
            form.openAlbum(given.decks.first());
    });
    return app.exec();
}
