#include "core/runtimeerror.h"

#include "core/nativepath.h"

#include <new>
#include <system_error>

namespace slidemill {

namespace {

constexpr ErrorNumberRow kErrorNumbers[] = {
    {errFileNotFound, "File not found", "a picture or LIST does not exist"},
    {errPathFileAccess, "Path/File access error",
     "a file cannot be read, or OUT cannot be written"},
    {errInvalidPicture, "Invalid picture", "not a picture, or music, Slidemill can use"},
    {errOverflow, "Overflow", "a picture too tall, or too wide for its height, to place"},
    {errInvalidCall, "Invalid procedure call or argument", "a position or size out of range"},
    {errLoadingLibrary, "Error in loading DLL",
     "the decoding module is missing, damaged or from another version"},
    {errOutOfMemory, "Out of memory", nullptr},
    {errDivisionByZero, "Division by zero", nullptr},
    {errInternal, "Internal error", nullptr},
    {errDeviceUnavailable, "Device unavailable", nullptr},
    {errPathNotFound, "Path not found", nullptr},
};

} // namespace

std::span<const ErrorNumberRow> errorNumbers() {
    return kErrorNumbers;
}

RuntimeError::RuntimeError(int number, QString text, QString file)
    : number_(number), text_(std::move(text)), file_(std::move(file)) {
    what_ = oneLine().toStdString();
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, standardText(number)) {}

RuntimeError RuntimeError::withFile(int number, QString file) {
    return RuntimeError(number, standardText(number), std::move(file));
}

QString RuntimeError::standardText(int number) {
    for (const ErrorNumberRow& row : errorNumbers())
        if (row.number == number)
            return QLatin1String(row.text);
    return QStringLiteral("Application-defined or object-defined error");
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
