#include "core/runtimeerror.h"

#include "core/nativepath.h"

namespace slidemill {

RuntimeError::RuntimeError(int number, QString text, QString file)
    : number_(number), text_(std::move(text)), file_(std::move(file)) {
    what_ = oneLine().toStdString();
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, standardText(number)) {}

RuntimeError RuntimeError::withFile(int number, QString file) {
    return RuntimeError(number, standardText(number), std::move(file));
}

QString RuntimeError::standardText(int number) {
    switch (number) {
    case errInvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case errOverflow:
        return QStringLiteral("Overflow");
    case errDivisionByZero:
        return QStringLiteral("Division by zero");
    case errFileNotFound:
        return QStringLiteral("File not found");
    case errDeviceUnavailable:
        return QStringLiteral("Device unavailable");
    case errPathFileAccess:
        return QStringLiteral("Path/File access error");
    case errPathNotFound:
        return QStringLiteral("Path not found");
    case errInvalidPicture:
        return QStringLiteral("Invalid picture");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

QString RuntimeError::report() const {
    QString s = QStringLiteral("Run-time error '%1':\n\n%2").arg(number_).arg(text_);
    if (!file_.isEmpty())
        s += QStringLiteral("\n\n") + printablePath(file_);
    return s;
}

QString RuntimeError::oneLine() const {
    QString s = QStringLiteral("Run-time error '%1': %2").arg(number_).arg(text_);
    if (!file_.isEmpty())
        s += QStringLiteral(" (%1)").arg(printablePath(file_));
    return s;
}

} // namespace slidemill
