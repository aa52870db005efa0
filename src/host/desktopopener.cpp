#include "host/desktopopener.h"

#include <QDesktopServices>
#include <QUrl>

namespace slidemill {

bool SystemDesktopOpener::open(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace slidemill
