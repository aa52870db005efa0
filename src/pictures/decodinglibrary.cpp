// The decoding module is loaded once, by the first picture that must be decoded, from
// whichever thread that is: the load is a function-local static, so threads that arrive
// meanwhile wait for it, and what it found is never changed or unloaded. A module that cannot
// be loaded stays so for the process: every picture that needs it fails alike.
#include "pictures/decodinglibrary.h"

#include "core/runtimeerror.h"

#include <QLoggingCategory>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <link.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill::pictures {

// Written by the build from the module it built.
extern const char kDecodingModuleBuildId[];

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

bool readAt(int fd, off_t offset, void* into, std::size_t size) {
    return ::pread(fd, into, size, offset) == ssize_t(size);
}

// Whether [offset, offset + size) lies within a file of `fileSize` bytes.
bool within(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

// Why the module at `path` is not the one this program was built with; empty when it is. A
// module cut short would be mapped past its end, and the first touch there ends the process
// with SIGBUS; a module of another build would be run with another layout of our types.
std::string notOurModule(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return "not a regular file";
    const std::uint64_t size = std::uint64_t(st.st_size);
    ElfW(Ehdr) header;
    if (!readAt(fd, 0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF file";
    // The program's own class, byte order and machine, read from its own header.
    ElfW(Ehdr) own;
    const int self = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    const bool ownRead = self >= 0 && readAt(self, 0, &own, sizeof own);
    if (self >= 0)
        ::close(self);
    if (!ownRead || header.e_ident[EI_CLASS] != own.e_ident[EI_CLASS] ||
        header.e_ident[EI_DATA] != own.e_ident[EI_DATA] || header.e_machine != own.e_machine ||
        header.e_type != ET_DYN)
        return "not a shared object for this machine";
    if (header.e_phentsize != sizeof(ElfW(Phdr)) ||
        !within(header.e_phoff, std::uint64_t(header.e_phnum) * sizeof(ElfW(Phdr)), size) ||
        !within(header.e_shoff, std::uint64_t(header.e_shnum) * header.e_shentsize, size))
        return "cut short";
    std::string buildId;
    for (int i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        if (!readAt(fd, off_t(header.e_phoff + i * sizeof segment), &segment, sizeof segment))
            return "cut short";
        if (!within(segment.p_offset, segment.p_filesz, size))
            return "cut short";
        if (segment.p_type != PT_NOTE || segment.p_filesz > 4096)
            continue;
        std::string notes(segment.p_filesz, '\0');
        if (!readAt(fd, off_t(segment.p_offset), notes.data(), notes.size()))
            return "cut short";
        for (std::size_t at = 0; at + sizeof(ElfW(Nhdr)) <= notes.size();) {
            ElfW(Nhdr) note;
            std::memcpy(&note, notes.data() + at, sizeof note);
            const std::size_t name = at + sizeof note;
            const std::size_t desc = name + ((note.n_namesz + 3) & ~3u);
            const std::size_t next = desc + ((note.n_descsz + 3) & ~3u);
            if (next > notes.size())
                break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(notes.data() + name, "GNU", 4) == 0) {
                static constexpr char kHex[] = "0123456789abcdef";
                for (std::size_t b = desc; b < desc + note.n_descsz; ++b) {
                    buildId += kHex[std::uint8_t(notes[b]) >> 4];
                    buildId += kHex[std::uint8_t(notes[b]) & 15];
                }
            }
            at = next;
        }
    }
    if (buildId != kDecodingModuleBuildId)
        return "built apart from this program (build ID " + (buildId.empty() ? "none" : buildId) +
               ", not " + kDecodingModuleBuildId + ")";
    return {};
}

const DecodingEntries* load() {
    const std::string path = modulePath();
    if (const std::string why = notOurModule(path); !why.empty()) {
        qCWarning(lcDlopen, "%s: %s", path.c_str(), why.c_str());
        return nullptr;
    }
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
