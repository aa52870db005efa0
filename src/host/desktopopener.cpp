#include "host/desktopopener.h"

#include <QDesktopServices>
#include <QUrl>

namespace slidemill {

void SystemDesktopOpener::open(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace slidemill
