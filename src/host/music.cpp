#include "host/music.h"

#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "host/musicinput.h"

#include <QStringList>

#include <memory>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace slidemill {

namespace {

// A file whose packets end this much before the length its header gives is cut short.
constexpr std::int64_t kShortByMs = 250;

[[noreturn]] void refuse(const QString& path, const QString& cause) {
    refuseMusic(path, cause);
}

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
    MusicInput input(path);
    MusicFile music;
    music.path = path;
    music.file = input.file();
    AVFormatContext& c = input.context();
    const int audio = input.audioIndex();
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
        if (e < 0)
            input.failed(e);
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
        if (::pread(input.fd(), riff, 8, 0) == 8) {
            const quint32 size = quint32(riff[4]) | quint32(riff[5]) << 8 | quint32(riff[6]) << 16 |
                                 quint32(riff[7]) << 24;
            // A writer that could not go back to fill it in leaves it at its most.
            if (size != 0xFFFFFFFFu && qint64(size) + 8 > input.size())
                refuse(path, QStringLiteral("it is cut short: %1 bytes of the %2 it should hold")
                                 .arg(input.size())
                                 .arg(qint64(size) + 8));
        }
    }
    if (promised > 0 && music.durationMs + std::max(kShortByMs, promised / 100) < promised)
        refuse(path, QStringLiteral("it is cut short: %1 ms of the %2 ms it should hold")
                         .arg(music.durationMs)
                         .arg(promised));
    // Read through its descriptor: had it been written to meanwhile, it is not what was read.
    if (!(identityOf(input.fd()) == music.file))
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
