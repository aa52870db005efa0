// The decoding module is loaded once, by the first picture that must be decoded, from
// whichever thread that is: the load is a function-local static, so threads that arrive
// meanwhile wait for it, and what it found is never changed or unloaded. A module that cannot
// be loaded stays so for the process: every picture that needs it fails alike.
#include "pictures/decodinglibrary.h"

#include "core/runtimeerror.h"

#include <QLoggingCategory>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace slidemill::pictures {

namespace {

// Not one of the program's own categories: shown only with SLIDEMILL_DEBUG.
Q_LOGGING_CATEGORY(lcDlopen, "dlopen")

constexpr char kModuleName[] = "slidemill-decoding.so";

std::atomic<bool> g_missing{false};

// The first place that holds the module: the override, else beside the program (a build
// tree), else the installed place relative to the program, so that no build's path is kept in
// the program.
std::string modulePath() {
    if (const char* path = secure_getenv("SLIDEMILL_DECODING_MODULE"); path && *path)
        return path;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return kModuleName;
    const std::filesystem::path beside = program.parent_path() / kModuleName;
    if (::access(beside.c_str(), F_OK) == 0)
        return beside;
    return (program.parent_path() / SLIDEMILL_DECODING_DIR / kModuleName).lexically_normal();
}

const DecodingEntries* load() {
    const std::string path = modulePath();
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        qCWarning(lcDlopen, "%s", dlerror());
        return nullptr;
    }
    const auto entries =
        reinterpret_cast<DecodingEntriesFunction>(dlsym(module, kDecodingEntriesSymbol));
    if (!entries) {
        qCWarning(lcDlopen, "%s", dlerror());
        return nullptr;
    }
    const DecodingEntries* loaded = entries();
    if (std::strcmp(loaded->version, SLIDEMILL_VERSION) != 0) {
        qCWarning(lcDlopen, "%s: version %s, not " SLIDEMILL_VERSION, path.c_str(),
                  loaded->version);
        return nullptr;
    }
    return loaded;
}

} // namespace

const DecodingEntries& decodingLibrary(const Picture& picture) {
    static const DecodingEntries* const entries = [] {
        const DecodingEntries* loaded = load();
        g_missing.store(!loaded);
        return loaded;
    }();
    if (!entries)
        undecodable(picture, QStringLiteral("the picture decoding library cannot start"));
    return *entries;
}

bool decodingLibraryMissing() {
    return g_missing.load();
}

[[noreturn]] void undecodable(const Picture& picture, const QString& cause) {
    throw RuntimeError(
        errInvalidPicture,
        QStringLiteral("%1: %2").arg(RuntimeError::standardText(errInvalidPicture), cause),
        picture.path);
}

Thumbnail makeThumbnail(const Picture& picture, int side, const std::function<bool()>& cancelled) {
    if (picture.format == PictureFormat::Wmf || picture.format == PictureFormat::Emf)
        return {};
    return decodingLibrary(picture).makeThumbnail(picture, side, cancelled);
}

} // namespace slidemill::pictures
