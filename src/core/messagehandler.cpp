#include "core/messagehandler.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QtGlobal>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <sched.h>
#include <thread>
#include <tiffio.h>
#include <unistd.h>

namespace slidemill {

namespace {

Q_LOGGING_CATEGORY(lcLibtiff, "libtiff")

// Set once the handler is in place: tests, the fuzzer and SLIDEMILL_DEBUG keep every line,
// a sanitizer's report included.
QtMessageHandler previous = nullptr;
// Whether the process is quieted: set with the handler, or as the program that loaded us says.
std::atomic<bool> g_quiet{false};

bool debugOutput() {
    const QByteArray debug = qgetenv("SLIDEMILL_DEBUG");
    return !debug.isEmpty() && debug != "0";
}

// libtiff writes its warnings and errors to standard error itself unless told otherwise; Qt's
// TIFF reader leaves its handlers as they are. The reader's own result says whether a picture
// could be read.
void tiffMessage(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    qCWarning(lcLibtiff, "%s: %s", module ? module : "", text);
}

void filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool ours = context.category && qstrncmp(context.category, "slidemill", 9) == 0 &&
                      (context.category[9] == '\0' || context.category[9] == '.');
    if (ours || type == QtCriticalMsg || type == QtFatalMsg)
        previous(type, context, message);
}

} // namespace

void installMessageHandler() {
    TIFFSetWarningHandler(tiffMessage);
    TIFFSetErrorHandler(tiffMessage);
    if (!debugOutput()) {
        previous = qInstallMessageHandler(filter);
        g_quiet.store(true);
    }
}

bool standardErrorQuieted() {
    return g_quiet.load();
}

void setStandardErrorQuieted(bool quieted) {
    g_quiet.store(quieted);
}

void runWithOwnStandardErrorMuted(const std::function<void()>& work) {
    const bool quiet = g_quiet.load();
    std::exception_ptr failure;
    std::thread thread([&] {
        // Closing this table's copies at the end closes nothing else, and the locks the
        // process holds belong to the other table.
        if (quiet && ::unshare(CLONE_FILES) == 0) {
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (null >= 0) {
                ::dup2(null, STDERR_FILENO);
                ::close(null);
            }
        }
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace slidemill
