// The program's side of the decoding module's interface (decodingabi.h). The module is loaded
// once, by the first picture that must be decoded, from whichever thread that is: the load is
// a function-local static, so threads that arrive meanwhile wait for it, and what it found is
// never changed or unloaded. A module that cannot be loaded stays so for the process: every
// picture that needs it fails alike, with 48, never as the picture's fault.
#include "pictures/decodinglibrary.h"

#include "core/faults.h"
#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "pictures/budget.h"
#include "pictures/decodingabi.h"
#include "pictures/thumbnail.h"

#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <link.h>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill::pictures {

// What crosses the interface as a number is numbered alike on both sides.
static_assert(SLIDEMILL_FORMAT_PNG == int(PictureFormat::Png) &&
              SLIDEMILL_FORMAT_JPEG == int(PictureFormat::Jpeg) &&
              SLIDEMILL_FORMAT_GIF == int(PictureFormat::Gif) &&
              SLIDEMILL_FORMAT_BMP == int(PictureFormat::Bmp) &&
              SLIDEMILL_FORMAT_TIFF == int(PictureFormat::Tiff) &&
              SLIDEMILL_FORMAT_WMF == int(PictureFormat::Wmf) &&
              SLIDEMILL_FORMAT_EMF == int(PictureFormat::Emf) &&
              SLIDEMILL_FORMAT_HEIC == int(PictureFormat::Heic) &&
              SLIDEMILL_FORMAT_HEIF == int(PictureFormat::Heif) &&
              SLIDEMILL_FORMAT_AVIF == int(PictureFormat::Avif) &&
              SLIDEMILL_FORMAT_WEBP == int(PictureFormat::Webp) &&
              SLIDEMILL_FORMAT_COUNT == int(PictureFormat::Count));
static_assert(SLIDEMILL_IO_READ_PICTURE == int(IoCall::ReadPicture) &&
              SLIDEMILL_IO_READ_BACK == int(IoCall::ReadBack) &&
              SLIDEMILL_IO_WRITE == int(IoCall::Write) && SLIDEMILL_IO_SYNC == int(IoCall::Sync) &&
              SLIDEMILL_IO_START_THREAD == int(IoCall::StartThread) &&
              SLIDEMILL_IO_ALLOCATE == int(IoCall::Allocate) &&
              SLIDEMILL_IO_MEASURE_PICTURE == int(IoCall::MeasurePicture));

namespace {

// Not one of the program's own categories: shown only with SLIDEMILL_DEBUG.
Q_LOGGING_CATEGORY(lcDlopen, "dlopen")

constexpr char kModuleName[] = "slidemill-decoding.so";

void take(int64_t bytes, int wait) {
    takeDecodeBudget(bytes, wait != 0);
}

void give(int64_t bytes) {
    giveDecodeBudget(bytes);
}

int fault(int call, const char* entry, std::size_t length) {
    return injectedFault(IoCall(call), QByteArray(entry, qsizetype(length)));
}

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

// Why the file at `path` cannot be mapped as a module of this program's; empty when it can. A
// module cut short would be mapped past its end, and the first touch there ends the process
// with SIGBUS.
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
    for (int i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        if (!readAt(fd, off_t(header.e_phoff + i * sizeof segment), &segment, sizeof segment) ||
            !within(segment.p_offset, segment.p_filesz, size))
            return "cut short";
    }
    return {};
}

struct Loaded {
    const SlidemillDecoding* decoding = nullptr;
    std::string path;
    // Why it cannot be used, when it cannot.
    std::string why;
};

Loaded load() {
    Loaded loaded;
    loaded.path = modulePath();
    if (loaded.why = notOurModule(loaded.path); !loaded.why.empty())
        return loaded;
    void* module = dlopen(loaded.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        qCWarning(lcDlopen, "%s", dlerror());
        loaded.why = "it cannot be loaded";
        return loaded;
    }
    const auto open =
        reinterpret_cast<SlidemillDecodingOpen>(dlsym(module, SLIDEMILL_DECODING_OPEN));
    if (!open) {
        loaded.why = "it has no " SLIDEMILL_DECODING_OPEN;
        return loaded;
    }
    static const SlidemillHost host{take, give, fault, standardErrorQuieted() ? 1 : 0};
    std::uint32_t theirs = 0;
    loaded.decoding = open(SLIDEMILL_DECODING_ABI, &host, &theirs);
    if (!loaded.decoding) {
        char text[96];
        std::snprintf(text, sizeof text, "its interface is %08x, this program's %08x", theirs,
                      unsigned(SLIDEMILL_DECODING_ABI));
        loaded.why = text;
    }
    return loaded;
}

const SlidemillDecoding& decoding(const Picture& picture) {
    // Never destroyed: a pool thread may still be decoding when the process exits.
    static const Loaded& loaded = *[] {
        auto* l = new Loaded(load());
        if (!l->decoding)
            qCWarning(lcDlopen, "%s: %s", l->path.c_str(), l->why.c_str());
        return l;
    }();
    if (!loaded.decoding)
        throw RuntimeError(
            errLoadingLibrary,
            QStringLiteral("%1: the decoding module %2 does not match this program: %3")
                .arg(RuntimeError::standardText(errLoadingLibrary),
                     printablePath(QFile::decodeName(loaded.path.c_str())),
                     QString::fromLocal8Bit(loaded.why.c_str())),
            picture.path);
    return *loaded.decoding;
}

// One call's side of the interface: the picture as the module reads it, and where its results
// go.
class Call {
public:
    Call(const Picture& picture, std::function<bool()> cancelled = {})
        : path_(picture.path), entry_(FaultEntry::current()), cancelled_(std::move(cancelled)) {
        picture_ = {reinterpret_cast<const uint16_t*>(path_.utf16()),
                    std::size_t(path_.size()),
                    int(picture.format),
                    picture.widthHimetric,
                    picture.heightHimetric,
                    picture.orientation,
                    picture.orientationOffset,
                    picture.orientationBigEndian ? 1 : 0,
                    picture.file.device,
                    picture.file.inode,
                    picture.file.size,
                    picture.file.modifiedSeconds,
                    picture.file.modifiedNanoseconds,
                    picture.alpha ? 1 : 0};
        call_ = {this,
                 entry_.constData(),
                 std::size_t(entry_.size()),
                 cancelled_ ? askCancelled : nullptr,
                 bytesFor,
                 failed};
    }

    const SlidemillCall* call() const { return &call_; }
    const SlidemillPicture* picture() const { return &picture_; }

    // What the module made, or what it failed with thrown.
    QByteArray result(const SlidemillMade& made) {
        switch (made.outcome) {
        case SLIDEMILL_MADE:
            bytes_.truncate(qsizetype(made.size));
            return std::move(bytes_);
        case SLIDEMILL_CANCELLED:
            throw ThumbnailCancelled();
        case SLIDEMILL_OUT_OF_MEMORY:
            throw std::bad_alloc();
        default:
            throw error_.value_or(
                RuntimeError(errInternal, RuntimeError::standardText(errInternal), path_));
        }
    }

private:
    static int askCancelled(void* context) {
        return static_cast<Call*>(context)->cancelled_() ? 1 : 0;
    }
    static void* bytesFor(void* context, std::size_t size) {
        QByteArray& bytes = static_cast<Call*>(context)->bytes_;
        if (size > std::size_t(std::numeric_limits<qsizetype>::max()))
            return nullptr;
        try {
            bytes = QByteArray(qsizetype(size), Qt::Uninitialized);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return bytes.data();
    }
    static void failed(void* context, int number, const uint16_t* text, std::size_t textLength,
                       const uint16_t* file, std::size_t fileLength) {
        static_cast<Call*>(context)->error_.emplace(
            number,
            QString::fromUtf16(reinterpret_cast<const char16_t*>(text), qsizetype(textLength)),
            QString::fromUtf16(reinterpret_cast<const char16_t*>(file), qsizetype(fileLength)));
    }

    QString path_;
    QByteArray entry_;
    std::function<bool()> cancelled_;
    SlidemillPicture picture_;
    SlidemillCall call_;
    QByteArray bytes_;
    std::optional<RuntimeError> error_;
};

} // namespace

MadePicture madeByModule(const Picture& picture, QSize shown) {
    const SlidemillDecoding& module = decoding(picture);
    Call call(picture);
    SlidemillMade made;
    module.makePicture(call.call(), call.picture(), shown.width(), shown.height(), &made);
    QByteArray bytes = call.result(made);
    return {std::move(bytes), PictureFormat(made.format), QSize(made.width, made.height)};
}

Thumbnail makeThumbnail(const Picture& picture, int side, const std::function<bool()>& cancelled) {
    if (picture.format == PictureFormat::Wmf || picture.format == PictureFormat::Emf)
        return {};
    const SlidemillDecoding& module = decoding(picture);
    Call call(picture, cancelled);
    SlidemillMade made;
    module.makeThumbnail(call.call(), call.picture(), side, &made);
    QByteArray bytes = call.result(made);
    return {std::move(bytes), QSize(made.width, made.height)};
}

} // namespace slidemill::pictures
