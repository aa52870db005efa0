#include "host/music.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"

#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <memory>
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
// A file whose packets end this much before the length its header gives is cut short.
constexpr std::int64_t kShortByMs = 250;

[[noreturn]] void refuse(const QString& path, const QString& cause) {
    throw RuntimeError(errInvalidPicture,
                       QStringLiteral("%1: not music Slidemill can store: %2")
                           .arg(RuntimeError::standardText(errInvalidPicture), cause),
                       path);
}

QString avText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}

// The file, read by position through its descriptor: the readers never open anything.
struct Source {
    int fd = -1;
    qint64 size = 0;
    qint64 at = 0;
    int error = 0;
};

int readSource(void* opaque, std::uint8_t* buffer, int size) {
    auto* s = static_cast<Source*>(opaque);
    for (;;) {
        const ssize_t n = ::pread(s->fd, buffer, std::size_t(size), s->at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            s->error = errno;
            return AVERROR(EIO);
        }
        if (n == 0)
            return AVERROR_EOF;
        s->at += n;
        return int(n);
    }
}

std::int64_t seekSource(void* opaque, std::int64_t offset, int whence) {
    auto* s = static_cast<Source*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return s->size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += s->at;
        break;
    case SEEK_END:
        offset += s->size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    s->at = offset;
    return offset;
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

struct Io {
    AVIOContext* io = nullptr;
    ~Io() {
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

struct Format {
    AVFormatContext* context = nullptr;
    ~Format() { avformat_close_input(&context); }
};

struct Options {
    AVDictionary* dict = nullptr;
    ~Options() { av_dict_free(&dict); }
};

std::int64_t toMs(std::int64_t value, AVRational base) {
    return av_rescale_q(value, base, AVRational{1, 1000});
}

MusicFormat formatOf(const QString& path, const AVFormatContext& c, const AVStream& audio) {
    const QString reader = QString::fromLatin1(c.iformat->name);
    const AVCodecID codec = audio.codecpar->codec_id;
    if (reader == QLatin1String("mp3") && codec == AV_CODEC_ID_MP3)
        return MusicFormat::Mp3;
    if (reader.split(QLatin1Char(',')).contains(QLatin1String("m4a")) && codec == AV_CODEC_ID_AAC)
        return MusicFormat::M4a;
    if (reader == QLatin1String("wav")) {
        switch (codec) {
        case AV_CODEC_ID_PCM_U8:
        case AV_CODEC_ID_PCM_S16LE:
        case AV_CODEC_ID_PCM_S24LE:
        case AV_CODEC_ID_PCM_S32LE:
        case AV_CODEC_ID_PCM_F32LE:
            return MusicFormat::Wav;
        default:
            break;
        }
    }
    refuse(path, QStringLiteral("its sound is %1 in %2; MP3, AAC in M4A and PCM in WAV are taken")
                     .arg(QString::fromLatin1(avcodec_get_name(codec)), reader));
}

} // namespace

MusicFile measureMusic(const QString& path) {
    // The library's own messages would go to standard error, around ours.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;

    Descriptor fd;
    // Not waiting on a FIFO put in its place; a folder or a device is no music.
    fd.fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd.fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw RuntimeError::withFile(errFileNotFound, path);
        failRead(errno, path);
    }
    struct stat st;
    if (::fstat(fd.fd, &st) != 0)
        failRead(errno, path);
    if (!S_ISREG(st.st_mode))
        refuse(path, QStringLiteral("it is not a regular file"));
    MusicFile music;
    music.path = path;
    music.file = identityOf(st);

    Source source{fd.fd, qint64(st.st_size), 0, 0};
    Io io;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferBytes));
    if (!buffer)
        throw RuntimeError(errOutOfMemory);
    io.io = avio_alloc_context(buffer, kBufferBytes, 0, &source, readSource, nullptr, seekSource);
    if (!io.io) {
        av_free(buffer);
        throw RuntimeError(errOutOfMemory);
    }
    Format format;
    format.context = avformat_alloc_context();
    if (!format.context)
        throw RuntimeError(errOutOfMemory);
    format.context->pb = io.io;
    format.context->flags |= AVFMT_FLAG_CUSTOM_IO;

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
    if (const int e = avformat_open_input(&format.context, "", nullptr, &options.dict); e < 0) {
        // Freed by the failed open.
        format.context = nullptr;
        if (source.error)
            failRead(source.error, path);
        // Another reader's file (a playlist, a list of files, a picture) is refused as EINVAL.
        refuse(path, e == AVERROR_INVALIDDATA || e == AVERROR(EINVAL)
                         ? QStringLiteral("it is not MP3, M4A or WAV")
                         : avText(e));
    }
    AVFormatContext& c = *format.context;
    int audio = -1;
    for (unsigned i = 0; i < c.nb_streams; ++i) {
        const AVStream& s = *c.streams[i];
        const AVMediaType type = s.codecpar->codec_type;
        // A cover picture goes with the sound.
        if (type == AVMEDIA_TYPE_VIDEO && !(s.disposition & AV_DISPOSITION_ATTACHED_PIC))
            refuse(path, QStringLiteral("it is a video"));
        if (type == AVMEDIA_TYPE_AUDIO) {
            if (audio >= 0)
                refuse(path, QStringLiteral("it holds more than one sound"));
            audio = int(i);
        }
    }
    if (audio < 0)
        refuse(path, QStringLiteral("it holds no sound"));
    const AVStream& stream = *c.streams[audio];
    music.format = formatOf(path, c, stream);

    // Every packet, to its end: the length that plays, whatever the header says.
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    if (!packet)
        throw RuntimeError(errOutOfMemory);
    std::int64_t first = AV_NOPTS_VALUE, end = AV_NOPTS_VALUE;
    for (;;) {
        const int e = av_read_frame(&c, packet.get());
        if (e == AVERROR_EOF)
            break;
        if (e < 0) {
            if (source.error)
                failRead(source.error, path);
            refuse(path, QStringLiteral("it is damaged (%1)").arg(avText(e)));
        }
        if (packet->stream_index == audio) {
            const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (at != AV_NOPTS_VALUE) {
                if (first == AV_NOPTS_VALUE || at < first)
                    first = at;
                if (end == AV_NOPTS_VALUE || at + packet->duration > end)
                    end = at + packet->duration;
            }
        }
        av_packet_unref(packet.get());
    }
    if (first == AV_NOPTS_VALUE || end <= first)
        refuse(path, QStringLiteral("it holds no sound"));
    music.durationMs = toMs(end - first, stream.time_base);
    if (music.durationMs <= 0)
        refuse(path, QStringLiteral("it holds no sound"));
    // What the header promised and the file no longer holds: a copy cut off.
    std::int64_t promised = -1;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        promised = toMs(stream.duration, stream.time_base);
    else if (c.duration != AV_NOPTS_VALUE && c.duration > 0)
        promised = c.duration / (AV_TIME_BASE / 1000);
    // The WAV reader takes what is there for all there is: the RIFF size says what was written.
    if (music.format == MusicFormat::Wav) {
        unsigned char riff[8];
        if (::pread(fd.fd, riff, 8, 0) == 8) {
            const quint32 size = quint32(riff[4]) | quint32(riff[5]) << 8 | quint32(riff[6]) << 16 |
                                 quint32(riff[7]) << 24;
            // A writer that could not go back to fill it in leaves it at its most.
            if (size != 0xFFFFFFFFu && qint64(size) + 8 > source.size)
                refuse(path, QStringLiteral("it is cut short: %1 bytes of the %2 it should hold")
                                 .arg(source.size)
                                 .arg(qint64(size) + 8));
        }
    }
    if (promised > 0 && music.durationMs + std::max(kShortByMs, promised / 100) < promised)
        refuse(path, QStringLiteral("it is cut short: %1 ms of the %2 ms it should hold")
                         .arg(music.durationMs)
                         .arg(promised));
    // Read through its descriptor: had it been written to meanwhile, it is not what was read.
    if (!(identityOf(fd.fd) == music.file))
        failSave(QStringLiteral("the file changed while it was measured"), path);
    return music;
}

const char* musicExtension(MusicFormat format) {
    switch (format) {
    case MusicFormat::Mp3:
        break;
    case MusicFormat::M4a:
        return "m4a";
    case MusicFormat::Wav:
        return "wav";
    }
    return "mp3";
}

const char* musicContentType(MusicFormat format) {
    switch (format) {
    case MusicFormat::Mp3:
        break;
    case MusicFormat::M4a:
        return "audio/mp4";
    case MusicFormat::Wav:
        return "audio/wav";
    }
    return "audio/mpeg";
}

} // namespace slidemill
