#include "core/saveerror.h"

#include "core/runtimeerror.h"

#include <cstring>

namespace slidemill {

void failSave(const QString& cause, const QString& file) {
    throw RuntimeError(errPathFileAccess, QStringLiteral("Saving the presentation: %1").arg(cause),
                       file);
}

void failSaveErrno(int error, const QString& file) {
    failSave(errnoText(error), file);
}

void failRead(int error, const QString& file) {
    throw RuntimeError(errPathFileAccess,
                       QStringLiteral("%1: cannot read the picture: %2")
                           .arg(RuntimeError::standardText(errPathFileAccess), errnoText(error)),
                       file);
}

void pictureChanged(const QString& file) {
    failSave(QStringLiteral("the picture changed after it was measured"), file);
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace slidemill
