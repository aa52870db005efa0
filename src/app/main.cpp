#include "app/form1.h"
#include "app/qtmessageboxes.h"
#include "browser/systemvolumes.h"
#include "core/messagehandler.h"
#include "host/desktopopener.h"
#include "host/pptxhost.h"
#include "slides/picturemetrics.h"

#include <QApplication>
#include <QIcon>

using namespace slidemill;

int main(int argc, char* argv[]) {
    installMessageHandler();
    QApplication app(argc, argv);
    removeUnfinishedSavesOnSignal();
    QApplication::setApplicationName(QStringLiteral("Slidemill"));
    QApplication::setApplicationVersion(QStringLiteral(SLIDEMILL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("slidemill"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/slidemill.ico")));

    QtMessageBoxes boxes;
    SystemVolumes volumes;
    HeaderPictureLoader loader;
    SystemDesktopOpener opener;
    Form1 form(Services{boxes, volumes, loader, [&opener] {
                            PptxHostOptions options;
                            options.opener = &opener;
                            return std::make_unique<PptxHost>(options);
                        }});
    form.show();
    return app.exec();
}
