#include "app/form1.h"
#include "app/qtmessageboxes.h"
#include "browser/systemvolumes.h"
#include "core/messagehandler.h"
#include "host/desktopopener.h"
#include "host/pptxhost.h"
#include "pictures/previewmaker.h"
#include "slides/picturemetrics.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>

using namespace slidemill;

int main(int argc, char* argv[]) {
    installMessageHandler();
    QApplication app(argc, argv);
    removeUnfinishedSavesOnSignal();
    QApplication::setOrganizationName(QStringLiteral("Slidemill"));
    QApplication::setApplicationName(QStringLiteral("Slidemill"));
    QApplication::setApplicationVersion(QStringLiteral(SLIDEMILL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("slidemill"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/slidemill.ico")));

    QtMessageBoxes boxes;
    SystemVolumes volumes;
    HeaderPictureLoader loader;
    PreviewMaker previews;
    SystemDesktopOpener opener;
    QSettings settings;
    Form1 form(Services{boxes, volumes, loader, previews,
                        [&opener](int pixelsPerInch) {
                            PptxHostOptions options;
                            options.opener = &opener;
                            options.pixelsPerInch = pixelsPerInch;
                            return std::make_unique<PptxHost>(options);
                        },
                        &settings});
    form.show();
    return app.exec();
}
