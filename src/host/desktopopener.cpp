#include "host/desktopopener.h"

#include "core/nativepath.h"

#include <QProcess>

namespace slidemill {

// xdg-open, started directly: it is safe on the build's thread, where Qt's desktop services
// may ask the window system for an activation token. The file goes as a URL of its bytes, so
// a name that is not UTF-8 arrives as it is on the disk.
bool SystemDesktopOpener::open(const QString& path) {
    const QByteArray url = "file://" + nativePath(path).toPercentEncoding("/");
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromLatin1(url)});
}

} // namespace slidemill
