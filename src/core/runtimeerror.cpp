#include "core/runtimeerror.h"

#include "core/nativepath.h"

#include <new>
#include <system_error>

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
    case errOutOfMemory:
        return QStringLiteral("Out of memory");
    case errInternal:
        return QStringLiteral("Internal error");
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

RuntimeError RuntimeError::from(const std::exception_ptr& thrown, const QString& file) {
    const auto titled = [](int number, const QString& cause) {
        return QStringLiteral("%1: %2").arg(standardText(number), cause);
    };
    try {
        std::rethrow_exception(thrown);
    } catch (const RuntimeError& e) {
        return e.file().isEmpty() && !file.isEmpty() ? RuntimeError(e.number(), e.text(), file) : e;
    } catch (const std::bad_alloc&) {
        return withFile(errOutOfMemory, file);
    } catch (const std::system_error& e) {
        return RuntimeError(errPathFileAccess,
                            titled(errPathFileAccess, QString::fromLocal8Bit(e.what())), file);
    } catch (const std::exception& e) {
        return RuntimeError(errInternal, titled(errInternal, QString::fromLocal8Bit(e.what())),
                            file);
    } catch (...) {
        return withFile(errInternal, file);
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
