// The process-wide state of the decoding libraries, all of it, and who may touch it when. They
// live in the decoding module with the code that calls them; the module itself is loaded once
// (decodinglibrary.cpp) and never unloaded, and keeps its own copy of the code it shares with
// the program (decodingmodule.cpp says which).
//
// libvips is started once, by the first picture that must be decoded (a build that decodes
// nothing never starts it), from whichever thread that is: the start is a function-local
// static, so threads that arrive meanwhile wait for it. Everything it sets then is set once and
// never changed: the cache off, one thread per operation (pictures run side by side on the
// picture pool instead), every loader blocked but the five called by name, its log handler,
// and malloc's mapping threshold, which is the whole process's. A thread that ran libvips calls
// vips_thread_shutdown when its picture is done (VipsThreadEnd), whether it is a pool's or not.
//
// libvips keeps one error buffer for the whole process, which any thread may be writing to:
// what it holds may be another picture's, or a warning before the error. It is read only for
// the debug log, never made a cause and never cleared (that would wipe other threads' errors).
// The causes users read are ours, by failure class.
//
// libheif keeps no state that a picture changes; the decoders under it (libde265, dav1d) print
// to standard error themselves, so they run on a thread of their own whose file table's
// standard error is /dev/null (runWithOwnStandardErrorMuted). No thread ever changes the
// process's standard error.
#include "pictures/libraries.h"

#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QLoggingCategory>
#include <QStringList>
#include <malloc.h>
#include <utility>

namespace slidemill::pictures {

namespace {

Q_LOGGING_CATEGORY(lcVips, "libvips")

// The only loaders libvips may use; every other one, and anything it marks untrusted, is
// blocked. Each is called by name for the format measured, never chosen by the file's bytes.
constexpr const char* kLoaders[] = {"VipsForeignLoadJpegSource", "VipsForeignLoadPngSource",
                                    "VipsForeignLoadNsgifSource", "VipsForeignLoadTiffSource",
                                    "VipsForeignLoadWebpSource"};

void vipsLog(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    qCWarning(lcVips, "%s", message);
}

bool startVips() {
    if (VIPS_INIT("slidemill") != 0)
        return false;
    // Buffers of a megabyte or more (decoded pictures, libde265's planes) are mapped for each
    // picture and given back when freed, instead of the arenas keeping the largest picture's
    // memory once malloc's threshold has grown past it: one 12-MP HEIC after another peaked at
    // 138 MiB without this and 117 with it, two camera JPEGs at once at 76 and 70.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // Its warnings go where Qt's do: dropped unless SLIDEMILL_DEBUG is set. Its notes (info,
    // debug) stay GLib's, shown only when G_MESSAGES_DEBUG asks for them.
    g_log_set_handler(
        "VIPS", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
        vipsLog, nullptr);
    // No picture is made twice, and two are made at once on their own threads.
    vips_cache_set_max(0);
    vips_cache_set_max_mem(0);
    vips_cache_set_max_files(0);
    vips_concurrency_set(1);
    vips_block_untrusted_set(TRUE);
    vips_operation_block_set("VipsForeignLoad", TRUE);
    for (const char* loader : kLoaders)
        vips_operation_block_set(loader, FALSE);
    return true;
}

} // namespace

[[noreturn]] void undecodable(const Picture& picture, const QString& cause) {
    throw RuntimeError(
        errInvalidPicture,
        QStringLiteral("%1: %2").arg(RuntimeError::standardText(errInvalidPicture), cause),
        picture.path);
}

// libvips keeps one error buffer for the whole process, which any thread may be writing to:
// what it holds may be another picture's, or a warning before the error. It goes to the debug
// log as it is, never into the cause, and is never cleared (that would wipe other threads').
[[noreturn]] void vipsFailed(const Picture& picture) {
    char* text = vips_error_buffer_copy();
    const QStringList lines = QString::fromUtf8(text ? text : "").trimmed().split(u'\n');
    g_free(text);
    qCWarning(lcVips, "%s: failed; libvips' error buffer ends: %s",
              qPrintable(printablePath(picture.path)), qPrintable(lines.last()));
    undecodable(picture, QStringLiteral("the picture's data cannot be decoded"));
}

void needVips(const Picture& picture) {
    static const bool started = startVips();
    if (!started)
        throw RuntimeError(errLoadingLibrary,
                           QStringLiteral("%1: the decoding module cannot start libvips")
                               .arg(RuntimeError::standardText(errLoadingLibrary)),
                           picture.path);
}

Image loaded(const Picture& picture, int failed, VipsImage*& out) {
    if (failed)
        vipsFailed(picture);
    return Image(std::exchange(out, nullptr));
}

VipsThreadEnd::~VipsThreadEnd() {
    vips_thread_shutdown();
    malloc_trim(0);
}

void logLibraryText(const Picture& picture, const char* library, const QString& text) {
    qCWarning(lcVips, "%s: %s: %s", qPrintable(printablePath(picture.path)), library,
              qPrintable(text));
}

QSize sizeOf(const VipsImage* image) {
    return {image->Xsize, image->Ysize};
}

} // namespace slidemill::pictures
