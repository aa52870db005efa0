#include "host/musicinput.h"

#include "host/descriptorio.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace slidemill {

namespace {

// The first look at a file: what the readers may read before they say what it is, and how
// much of its sound they may read to learn its streams.
constexpr char kProbeBytes[] = "1048576";
constexpr char kAnalyzeMicroseconds[] = "5000000";
constexpr int kBufferBytes = 64 * 1024;

struct Options {
    AVDictionary* dict = nullptr;
    ~Options() { av_dict_free(&dict); }
};

} // namespace

void refuseMusic(const QString& path, const QString& cause) {
    throw RuntimeError(errInvalidPicture,
                       QStringLiteral("%1: not music Slidemill can store: %2")
                           .arg(RuntimeError::standardText(errInvalidPicture), cause),
                       path);
}

QString avErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}

struct MusicInput::State {
    QString path;
    FileIdentity file;
    DescriptorIo source;
    AVIOContext* io = nullptr;
    AVFormatContext* context = nullptr;
    int audio = -1;

    ~State() {
        avformat_close_input(&context);
        freeDescriptorContext(io);
        if (source.fd >= 0)
            ::close(source.fd);
    }
};

MusicInput::MusicInput(const QString& path) : d_(std::make_unique<State>()) {
    // The library's own messages would go to standard error, around ours.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;

    State& d = *d_;
    d.path = path;
    // Not waiting on a FIFO put in its place; a folder or a device is no music.
    d.source.fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (d.source.fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw RuntimeError::withFile(errFileNotFound, path);
        failRead(errno, path);
    }
    struct stat st;
    if (::fstat(d.source.fd, &st) != 0)
        failRead(errno, path);
    if (!S_ISREG(st.st_mode))
        refuseMusic(path, QStringLiteral("it is not a regular file"));
    d.file = identityOf(st);
    d.source.size = qint64(st.st_size);

    d.io = descriptorContext(&d.source, kBufferBytes, false);
    d.context = avformat_alloc_context();
    if (!d.context)
        throw RuntimeError(errOutOfMemory);
    d.context->pb = d.io;
    d.context->flags |= AVFMT_FLAG_CUSTOM_IO;

    Options options;
    // The MP4 reader's name lists m4a; nothing else reads the file, and nothing it names is
    // opened: no protocol but the file's own, no reference to another file followed.
    av_dict_set(&options.dict, "format_whitelist", "mp3,mov,wav", 0);
    av_dict_set(&options.dict, "protocol_whitelist", "file", 0);
    av_dict_set(&options.dict, "probesize", kProbeBytes, 0);
    av_dict_set(&options.dict, "formatprobesize", kProbeBytes, 0);
    av_dict_set(&options.dict, "analyzeduration", kAnalyzeMicroseconds, 0);
    av_dict_set(&options.dict, "enable_drefs", "0", 0);
    av_dict_set(&options.dict, "use_absolute_path", "0", 0);
    // No name to guess by: what the file holds says what it is.
    if (const int e = avformat_open_input(&d.context, "", nullptr, &options.dict); e < 0) {
        // Freed by the failed open.
        d.context = nullptr;
        if (d.source.error)
            failRead(d.source.error, path);
        // Another reader's file (a playlist, a list of files, a picture) is refused as EINVAL.
        refuseMusic(path, e == AVERROR_INVALIDDATA || e == AVERROR(EINVAL)
                              ? QStringLiteral("it is not MP3, M4A or WAV")
                              : avErrorText(e));
    }
    const AVFormatContext& c = *d.context;
    for (unsigned i = 0; i < c.nb_streams; ++i) {
        const AVStream& s = *c.streams[i];
        const AVMediaType type = s.codecpar->codec_type;
        // A cover picture goes with the sound.
        if (type == AVMEDIA_TYPE_VIDEO && !(s.disposition & AV_DISPOSITION_ATTACHED_PIC))
            refuseMusic(path, QStringLiteral("it is a video"));
        if (type == AVMEDIA_TYPE_AUDIO) {
            if (d.audio >= 0)
                refuseMusic(path, QStringLiteral("it holds more than one sound"));
            d.audio = int(i);
        }
    }
    if (d.audio < 0)
        refuseMusic(path, QStringLiteral("it holds no sound"));
}

MusicInput::~MusicInput() = default;

const QString& MusicInput::path() const {
    return d_->path;
}

const FileIdentity& MusicInput::file() const {
    return d_->file;
}

int MusicInput::fd() const {
    return d_->source.fd;
}

qint64 MusicInput::size() const {
    return d_->source.size;
}

AVFormatContext& MusicInput::context() {
    return *d_->context;
}

AVStream& MusicInput::audio() {
    return *d_->context->streams[d_->audio];
}

int MusicInput::audioIndex() const {
    return d_->audio;
}

void MusicInput::failed(int avError) const {
    if (d_->source.error)
        failRead(d_->source.error, d_->path);
    refuseMusic(d_->path, QStringLiteral("it is damaged (%1)").arg(avErrorText(avError)));
}

} // namespace slidemill
