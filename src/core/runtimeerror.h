#pragma once

#include <QString>
#include <exception>
#include <span>
#include <string>

namespace slidemill {

// The numbers a handler may see; each has its standard text.
enum ErrorNumber : int {
    errInvalidCall = 5,
    errOverflow = 6,
    errOutOfMemory = 7,
    errDivisionByZero = 11,
    errLoadingLibrary = 48,
    errInternal = 51,
    errFileNotFound = 53,
    errDeviceUnavailable = 68,
    errPathFileAccess = 75,
    errPathNotFound = 76,
    errInvalidPicture = 481,
};

// One error number: its standard text, and what it tells the user of a build.
struct ErrorNumberRow {
    int number;
    const char* text;
    // After the text in slidemill-build's --help and the manual pages: "a picture or LIST does
    // not exist"; nullptr for a number they do not list.
    const char* meaning;
};

// Every number with a standard text, those with a meaning first, in the order --help lists
// them.
std::span<const ErrorNumberRow> errorNumbers();

// A run-time error: a number, a text and, where known, the file concerned.
// Thrown from any call that fails; the handler's error mode decides what follows.
class RuntimeError : public std::exception {
public:
    RuntimeError(int number, QString text, QString file = {});
    // The standard text for the number.
    explicit RuntimeError(int number);
    static RuntimeError withFile(int number, QString file);

    int number() const noexcept { return number_; }
    const QString& text() const noexcept { return text_; }
    const QString& file() const noexcept { return file_; }
    const char* what() const noexcept override { return what_.c_str(); }

    // "Run-time error 'N':", an empty line, the text, then the file where known, written on
    // one line whatever its name holds.
    QString report() const;
    // One line, for the batch companion: "Run-time error 'N': text (file)".
    QString oneLine() const;

    static QString standardText(int number);

    // Whatever was thrown, as the error of `file` (where the error names none): an allocation
    // that failed is 7, a thread or other system resource that could not be had 75, anything
    // else 51. For the boundaries of threads, futures and pools, past which nothing but a
    // RuntimeError may go.
    static RuntimeError from(const std::exception_ptr& thrown, const QString& file = {});

private:
    int number_;
    QString text_;
    QString file_;
    std::string what_;
};

} // namespace slidemill
