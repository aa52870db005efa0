#include "host/videowriter.h"

#include "core/faults.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "host/descriptorio.h"
#include "host/music.h"
#include "host/musicinput.h"
#include "host/pptx/savefile.h"
#include "pictures/slidepainter.h"

#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace slidemill {

namespace {

// What the video is encoded with: the same as `ffmpeg -c:v libx264 -preset veryfast -crf 20`.
constexpr char kVideoEncoder[] = "libx264";
constexpr char kPreset[] = "veryfast";
constexpr char kCrf[] = "20";
constexpr int kSampleRate = 48000;
constexpr std::int64_t kAudioBitRate = 160000;
// Music longer than the show fades out over its last seconds.
constexpr double kFadeOutSeconds = 2;
// How far past the show's end the music may run before it counts as longer: an advance fitted
// to the music ends the show as the music does, and is not faded.
constexpr std::int64_t kFitSlackMs = 100;

// HD as HD is shown; smaller pictures as players take standard definition to be.
bool isHd(QSize size) {
    return size.height() >= 720;
}

// A frame thread a core: x264's own choice, half as many again, holds some 25 MiB more a thread
// at 1080p for little more speed.
int encoderThreads() {
    return std::clamp(QThread::idealThreadCount(), 1, 8);
}

template <typename T, void (*Free)(T**)> struct Freed {
    void operator()(T* p) const { Free(&p); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, Freed<AVCodecContext, avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, Freed<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, Freed<AVPacket, av_packet_free>>;
using ResamplerPtr = std::unique_ptr<SwrContext, Freed<SwrContext, swr_free>>;
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

[[noreturn]] void failEncoding(const QString& path, const QString& what, int error) {
    failSave(QStringLiteral("%1: %2").arg(what, avErrorText(error)), path);
}

void check(int result, const QString& path, const char* what) {
    if (result < 0)
        failEncoding(path, QString::fromLatin1(what), result);
}

template <typename T> T* made(T* p) {
    if (!p)
        throw RuntimeError(errOutOfMemory);
    return p;
}

FramePtr newFrame() {
    return FramePtr(made(av_frame_alloc()));
}

constexpr int kIoBufferBytes = 256 * 1024;

// The temporary file the muxer writes through its descriptor; faststart reads it back through a
// second context on the same descriptor.
AVIOContext* fileContext(DescriptorIo* file, bool write) {
    return descriptorContext(file, kIoBufferBytes, write);
}

// The muxer opens nothing but the file it writes, read back through the same descriptor.
int openForMuxer(AVFormatContext* s, AVIOContext** pb, const char*, int flags, AVDictionary**) {
    if (!(flags & AVIO_FLAG_READ) || (flags & AVIO_FLAG_WRITE))
        return AVERROR(EPERM);
    const auto* own = static_cast<const DescriptorIo*>(s->opaque);
    auto* reader = new (std::nothrow) DescriptorIo{own->fd, 0, own->size, 0};
    if (!reader)
        return AVERROR(ENOMEM);
    try {
        *pb = fileContext(reader, false);
    } catch (...) {
        delete reader;
        return AVERROR(ENOMEM);
    }
    return 0;
}

int closeForMuxer(AVFormatContext*, AVIOContext* pb) {
    if (!pb)
        return 0;
    auto* reader = static_cast<DescriptorIo*>(pb->opaque);
    const int error = reader->error;
    freeDescriptorContext(pb);
    delete reader;
    return error ? AVERROR(error) : 0;
}

// The MP4 being written, its streams and the file under it.
class Muxer {
public:
    explicit Muxer(pptx::SaveFile& file) : file_(file) {
        io_.fd = file.fd();
        if (avformat_alloc_output_context2(&context_, nullptr, "mp4", nullptr) < 0 || !context_)
            throw RuntimeError(errOutOfMemory);
        pb_ = fileContext(&io_, true);
        context_->pb = pb_;
        context_->flags |= AVFMT_FLAG_CUSTOM_IO;
        context_->opaque = &io_;
        context_->io_open = openForMuxer;
        context_->io_close2 = closeForMuxer;
    }
    ~Muxer() {
        avformat_free_context(context_);
        freeDescriptorContext(pb_);
    }
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    AVFormatContext* context() const { return context_; }
    QString name() const { return file_.name(); }

    AVStream* addStream(const AVCodecContext& codec) {
        AVStream* stream = made(avformat_new_stream(context_, nullptr));
        check(avcodec_parameters_from_context(stream->codecpar, &codec), name(),
              "the stream cannot be set up");
        stream->time_base = codec.time_base;
        return stream;
    }

    void start() {
        AVDictionary* options = nullptr;
        // The index first, so that a browser plays the file as it downloads.
        av_dict_set(&options, "movflags", "+faststart", 0);
        const int e = avformat_write_header(context_, &options);
        av_dict_free(&options);
        ioCheck(e, "the video cannot be started");
    }

    void write(AVPacket* packet) {
        ioCheck(av_interleaved_write_frame(context_, packet), "the video cannot be written");
    }

    void finish() {
        ioCheck(av_write_trailer(context_), "the video cannot be finished");
        avio_flush(pb_);
        ioCheck(pb_->error, "the video cannot be written");
    }

private:
    void ioCheck(int e, const char* what) {
        if (io_.error)
            failSaveErrno(io_.error, name());
        check(e, name(), what);
    }

    pptx::SaveFile& file_;
    DescriptorIo io_;
    AVIOContext* pb_ = nullptr;
    AVFormatContext* context_ = nullptr;
};

// An encoder whose packets go to the muxer in the stream's time base.
class Encoder {
public:
    // What comes out goes to `sink` in the codec's time base, or straight to the muxer.
    using Sink = std::function<void(AVPacket&)>;
    Encoder(Muxer& muxer, CodecPtr codec, Sink sink = {})
        : muxer_(muxer), codec_(std::move(codec)), sink_(std::move(sink)) {
        stream_ = muxer.addStream(*codec_);
    }
    AVCodecContext& codec() { return *codec_; }

    // The length in the codec's time base the frame of `pts` shows for.
    void lasts(std::int64_t pts, std::int64_t duration) { durations_[pts] = duration; }

    // Sends a frame (null: the end) and writes what comes out.
    void send(const AVFrame* frame) {
        check(avcodec_send_frame(codec_.get(), frame), muxer_.name(), "a frame cannot be encoded");
        for (;;) {
            const int e = avcodec_receive_packet(codec_.get(), packet_.get());
            if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
                return;
            check(e, muxer_.name(), "a frame cannot be encoded");
            if (const auto d = durations_.find(packet_->pts); d != durations_.end()) {
                packet_->duration = d->second;
                durations_.erase(d);
            }
            if (sink_)
                sink_(*packet_);
            else
                write(*packet_);
            av_packet_unref(packet_.get());
        }
    }

    // A packet of this encoder's, in the codec's time base, to the muxer.
    void write(AVPacket& packet) {
        av_packet_rescale_ts(&packet, codec_->time_base, stream_->time_base);
        packet.stream_index = stream_->index;
        muxer_.write(&packet);
    }

private:
    Muxer& muxer_;
    CodecPtr codec_;
    Sink sink_;
    AVStream* stream_ = nullptr;
    PacketPtr packet_{made(av_packet_alloc())};
    std::map<std::int64_t, std::int64_t> durations_;
};

CodecPtr openedEncoder(const AVCodec* codec, const Muxer& muxer,
                       const std::function<void(AVCodecContext&, AVDictionary*&)>& setUp) {
    CodecPtr context(made(avcodec_alloc_context3(codec)));
    AVDictionary* options = nullptr;
    setUp(*context, options);
    if (muxer.context()->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int e = avcodec_open2(context.get(), codec, &options);
    av_dict_free(&options);
    check(e, muxer.name(), "the encoder cannot be opened");
    return context;
}

// The music, one file after another, as 48 kHz stereo; silence once it has all played.
class MusicSource {
public:
    ~MusicSource() { av_channel_layout_uninit(&layout_); }
    MusicSource(const MusicSource&) = delete;
    MusicSource& operator=(const MusicSource&) = delete;

    explicit MusicSource(const QStringList& files) : files_(files) {
        fifo_.reset(made(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, 4096)));
        if (!files_.isEmpty())
            open(0);
    }

    // `count` samples of each channel into `planes`.
    void read(float* planes[2], int count) {
        while (av_audio_fifo_size(fifo_.get()) < count && input_)
            decodeSome();
        const int got = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(planes),
                                           std::min(count, av_audio_fifo_size(fifo_.get())));
        for (int c = 0; c < 2; ++c)
            std::fill(planes[c] + std::max(got, 0), planes[c] + count, 0.0f);
    }

private:
    void open(int index) {
        index_ = index;
        input_ = std::make_unique<MusicInput>(files_[index]);
        const AVCodecParameters& parameters = *input_->audio().codecpar;
        const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
        if (!codec)
            refuseMusic(files_[index], QStringLiteral("its sound cannot be decoded"));
        decoder_.reset(made(avcodec_alloc_context3(codec)));
        check(avcodec_parameters_to_context(decoder_.get(), &parameters), files_[index],
              "its sound cannot be decoded");
        if (const int e = avcodec_open2(decoder_.get(), codec, nullptr); e < 0)
            input_->failed(e);
    }

    // The resampler for the frames the decoder gives, made at the first: the reader's header
    // need not tell their rate and channels.
    void convertFrom(const AVFrame& frame) {
        if (resampler_ && frame.sample_rate == rate_ && frame.format == format_ &&
            av_channel_layout_compare(&frame.ch_layout, &layout_) == 0)
            return;
        if (resampler_)
            convert(nullptr);
        rate_ = frame.sample_rate;
        format_ = frame.format;
        av_channel_layout_uninit(&layout_);
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout_, frame.ch_layout.nb_channels);
        else if (av_channel_layout_copy(&layout_, &frame.ch_layout) < 0)
            throw RuntimeError(errOutOfMemory);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* swr = nullptr;
        const int e = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLTP, kSampleRate, &layout_,
                                          AVSampleFormat(format_), rate_, 0, nullptr);
        resampler_.reset(swr);
        if (e < 0 || !swr || swr_init(swr) < 0)
            refuseMusic(files_[index_], QStringLiteral("its sound cannot be converted"));
    }

    void decodeSome() {
        const int e = av_read_frame(&input_->context(), packet_.get());
        if (e == AVERROR_EOF) {
            decode(nullptr);
            convert(nullptr);
            input_.reset();
            decoder_.reset();
            resampler_.reset();
            if (index_ + 1 < files_.size())
                open(index_ + 1);
            return;
        }
        if (e < 0)
            input_->failed(e);
        if (packet_->stream_index == input_->audioIndex())
            decode(packet_.get());
        av_packet_unref(packet_.get());
    }

    void decode(const AVPacket* packet) {
        if (const int e = avcodec_send_packet(decoder_.get(), packet); e < 0 && e != AVERROR_EOF)
            input_->failed(e);
        for (;;) {
            const int e = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
                return;
            if (e < 0)
                input_->failed(e);
            convertFrom(*frame_);
            convert(frame_.get());
            av_frame_unref(frame_.get());
        }
    }

    void convert(const AVFrame* frame) {
        if (!resampler_)
            return;
        const int in = frame ? frame->nb_samples : 0;
        const int out = swr_get_out_samples(resampler_.get(), in);
        if (out <= 0)
            return;
        check(av_audio_fifo_realloc(fifo_.get(), av_audio_fifo_size(fifo_.get()) + out),
              files_[index_], "its sound cannot be converted");
        buffer_.resize(std::size_t(out) * 2);
        std::uint8_t* planes[2] = {reinterpret_cast<std::uint8_t*>(buffer_.data()),
                                   reinterpret_cast<std::uint8_t*>(buffer_.data() + out)};
        const int n = swr_convert(
            resampler_.get(), planes, out,
            frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, in);
        if (n < 0)
            refuseMusic(files_[index_], QStringLiteral("its sound cannot be converted"));
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), n);
    }

    QStringList files_;
    qsizetype index_ = 0;
    std::unique_ptr<MusicInput> input_;
    CodecPtr decoder_;
    ResamplerPtr resampler_;
    AVChannelLayout layout_{};
    int rate_ = 0;
    int format_ = -1;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo_;
    PacketPtr packet_{made(av_packet_alloc())};
    FramePtr frame_{newFrame()};
    std::vector<float> buffer_;
};

// The show's sound: the music to the show's end, faded out when it goes on past it. Encoded on a
// thread of its own, a few seconds ahead of the pictures; the packets are written among theirs.
class Soundtrack {
public:
    Soundtrack(Muxer& muxer, const RecordedDeck& deck, double showSeconds)
        : name_(muxer.name()), music_(deck.music), total_(std::llround(showSeconds * kSampleRate)) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec)
            failSave(QStringLiteral("no AAC encoder"), muxer.name());
        encoder_.emplace(muxer,
                         openedEncoder(codec, muxer,
                                       [](AVCodecContext& c, AVDictionary*&) {
                                           c.sample_fmt = AV_SAMPLE_FMT_FLTP;
                                           c.sample_rate = kSampleRate;
                                           c.ch_layout = AV_CHANNEL_LAYOUT_STEREO;
                                           c.bit_rate = kAudioBitRate;
                                           c.time_base = AVRational{1, kSampleRate};
                                       }),
                         [this](AVPacket& packet) { queue(packet); });
        std::int64_t musicMs = deck.musicMs;
        if (musicMs <= 0)
            for (const QString& file : deck.music)
                musicMs += measureMusic(file).durationMs;
        if (musicMs > std::llround(showSeconds * 1000) + kFitSlackMs)
            fade_ = std::min<std::int64_t>(total_, std::llround(kFadeOutSeconds * kSampleRate));
        frameSize_ = encoder_->codec().frame_size > 0 ? encoder_->codec().frame_size : 1024;
    }
    ~Soundtrack() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (worker_.valid())
            worker_.wait();
    }
    Soundtrack(const Soundtrack&) = delete;
    Soundtrack& operator=(const Soundtrack&) = delete;

    // Once the muxer has its header.
    void start() {
        worker_ = std::async(std::launch::async, [this] { encode(); });
    }

    // Writes the sound up to `seconds` into the show.
    void until(double seconds) { writeBefore(std::llround(seconds * kSampleRate)); }

    void finish() {
        writeBefore(std::numeric_limits<std::int64_t>::max());
        worker_.get();
    }

private:
    void writeBefore(std::int64_t to) {
        for (;;) {
            PacketPtr packet;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !packets_.empty() || done_; });
                if (failure_)
                    std::rethrow_exception(failure_);
                if (packets_.empty() || packets_.front()->pts >= to)
                    return;
                packet = std::move(packets_.front());
                packets_.pop_front();
            }
            changed_.notify_all();
            encoder_->write(*packet);
        }
    }

    void encode() {
        try {
            for (std::int64_t done = 0; done < total_;) {
                const int n = int(std::min<std::int64_t>(frameSize_, total_ - done));
                FramePtr frame = newFrame();
                frame->nb_samples = n;
                frame->format = AV_SAMPLE_FMT_FLTP;
                frame->sample_rate = kSampleRate;
                frame->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
                check(av_frame_get_buffer(frame.get(), 0), name_, "no memory for the sound");
                float* planes[2] = {reinterpret_cast<float*>(frame->data[0]),
                                    reinterpret_cast<float*>(frame->data[1])};
                music_.read(planes, n);
                for (int i = 0; i < n; ++i) {
                    const std::int64_t left = total_ - (done + i);
                    if (left < fade_) {
                        const float gain = float(double(left) / double(fade_));
                        planes[0][i] *= gain;
                        planes[1][i] *= gain;
                    }
                }
                frame->pts = done;
                done += n;
                encoder_->send(frame.get());
            }
            encoder_->send(nullptr);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }

    // A packet encoded, kept until the pictures reach it; the encoding waits while enough are.
    void queue(AVPacket& packet) {
        PacketPtr kept(made(av_packet_alloc()));
        av_packet_move_ref(kept.get(), &packet);
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return packets_.size() < kQueuedPackets || stopping_; });
        if (stopping_)
            throw std::runtime_error("stopped");
        packets_.push_back(std::move(kept));
        lock.unlock();
        changed_.notify_all();
    }

    // About five seconds of sound.
    static constexpr std::size_t kQueuedPackets = 256;

    QString name_;
    MusicSource music_;
    std::optional<Encoder> encoder_;
    std::int64_t total_ = 0;
    std::int64_t fade_ = 0;
    int frameSize_ = 1024;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PacketPtr> packets_;
    bool done_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::future<void> worker_;
};

// The frames of the show: RGB pictures made YUV and encoded, each held until the next.
class Frames {
public:
    Frames(Muxer& muxer, QSize size, int fps) : name_(muxer.name()) {
        const AVCodec* codec = avcodec_find_encoder_by_name(kVideoEncoder);
        if (!codec)
            failSave(QStringLiteral("no H.264 encoder (%1)").arg(QLatin1String(kVideoEncoder)),
                     muxer.name());
        const bool hd = isHd(size);
        encoder_.emplace(muxer,
                         openedEncoder(codec, muxer, [&](AVCodecContext& c, AVDictionary*& o) {
                             c.width = size.width();
                             c.height = size.height();
                             c.pix_fmt = AV_PIX_FMT_YUV420P;
                             c.time_base = AVRational{1, fps};
                             c.framerate = AVRational{fps, 1};
                             c.color_range = AVCOL_RANGE_MPEG;
                             c.color_primaries = AVCOL_PRI_BT709;
                             c.color_trc = AVCOL_TRC_BT709;
                             c.colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
                             c.thread_count = encoderThreads();
                             av_dict_set(&o, "preset", kPreset, 0);
                             av_dict_set(&o, "crf", kCrf, 0);
                         }));
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = size.width();
        frame_->height = size.height();
        check(av_frame_get_buffer(frame_.get(), 0), muxer.name(), "no memory for a frame");
    }

    // The frame shown from `tick` on, until the next, to be filled in.
    AVFrame& next(std::int64_t tick) {
        flushHeld(tick);
        check(av_frame_make_writable(frame_.get()), name_, "no memory for a frame");
        frame_->pts = tick;
        held_ = tick;
        pending_ = true;
        return *frame_;
    }

    // The last frame shown lasts to `end`, and the stream ends.
    void finish(std::int64_t end) {
        flushHeld(end);
        encoder_->send(nullptr);
    }

private:
    // A frame is sent once its length is known, so that its packet carries it.
    void flushHeld(std::int64_t next) {
        if (!pending_)
            return;
        encoder_->lasts(held_, std::max<std::int64_t>(1, next - held_));
        encoder_->send(frame_.get());
        pending_ = false;
    }

    QString name_;
    std::optional<Encoder> encoder_;
    FramePtr frame_{newFrame()};
    std::int64_t held_ = 0;
    bool pending_ = false;
};

// A slide drawn whole at the video's size, each picture decoded at the size it is shown, in
// the encoder's colours.
FramePtr slideFrame(const RecordedDeck& deck, const RecordedSlide& slide, QSize size) {
    std::map<std::pair<QString, std::pair<int, int>>, QImage> decoded;
    const SlideImages images = [&](const RecordedShape& shape, QSize pixels) {
        const auto key =
            std::make_pair(shape.picture.path, std::make_pair(pixels.width(), pixels.height()));
        auto at = decoded.find(key);
        if (at == decoded.end())
            at = decoded.emplace(key, decodeUpright(shape.picture, pixels)).first;
        return at->second;
    };
    // A video of other proportions than the slides shows them whole between black bars.
    const QSizeF fitted = deck.slideSize.scaled(QSizeF(size), Qt::KeepAspectRatio);
    QImage image;
    if (std::abs(fitted.width() - size.width()) < 1 &&
        std::abs(fitted.height() - size.height()) < 1) {
        image = paintedSlide(deck, slide, size, images);
    } else {
        image = QImage(size, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        const QPointF corner((size.width() - fitted.width()) / 2,
                             (size.height() - fitted.height()) / 2);
        paintSlide(painter, QRectF(corner, fitted), deck, slide, images);
    }
    decoded.clear();
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);

    FramePtr frame = newFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = size.width();
    frame->height = size.height();
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        throw RuntimeError(errOutOfMemory);
    // One conversion a slide, on whichever thread paints it: a scaler of its own.
    const std::unique_ptr<SwsContext, ScalerFree> scaler(
        sws_getContext(size.width(), size.height(), AV_PIX_FMT_RGB32, size.width(), size.height(),
                       AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                       nullptr, nullptr, nullptr));
    if (!scaler)
        throw RuntimeError(errOutOfMemory);
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(isHd(size) ? SWS_CS_ITU709 : SWS_CS_ITU601), 0, 0,
                             1 << 16, 1 << 16);
    const std::uint8_t* source[1] = {image.constBits()};
    const int stride[1] = {int(image.bytesPerLine())};
    sws_scale(scaler.get(), source, stride, 0, size.height(), frame->data, frame->linesize);
    return frame;
}

// `weight` 256ths of b over a. In blocks of a fixed length, which the compiler vectorises.
void mixRow(std::uint8_t* __restrict out, const std::uint8_t* __restrict a,
            const std::uint8_t* __restrict b, int n, int weight) {
    constexpr int kBlock = 64;
    const auto mixed = [weight](int x, int y) {
        return std::uint8_t((x * (256 - weight) + y * weight + 128) >> 8);
    };
    int x = 0;
    for (; x + kBlock <= n; x += kBlock)
        for (int i = 0; i < kBlock; ++i)
            out[x + i] = mixed(a[x + i], b[x + i]);
    for (; x < n; ++x)
        out[x] = mixed(a[x], b[x]);
}

// The move from `from` to `to` at `progress` (0 to 1) as the slide's transition draws it, drawn
// on the planes themselves: a fade mixes them (the colour conversion being linear, as the
// pictures would mix), a push or a wipe moves them by an even number of pixels, so that the
// half-size colour planes move by whole ones.
void drawMove(AVFrame& into, const AVFrame& from, const AVFrame& to, std::int32_t transition,
              double progress) {
    const int width = into.width;
    const int edge = 2 * int(std::lround(progress * width / 2));
    const int weight = int(std::lround(progress * 256));
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? width / 2 : width;
        const int h = plane ? (into.height + 1) / 2 : into.height;
        const int at = plane ? edge / 2 : edge;
        for (int y = 0; y < h; ++y) {
            std::uint8_t* out = into.data[plane] + std::ptrdiff_t(y) * into.linesize[plane];
            const std::uint8_t* a = from.data[plane] + std::ptrdiff_t(y) * from.linesize[plane];
            const std::uint8_t* b = to.data[plane] + std::ptrdiff_t(y) * to.linesize[plane];
            switch (transition) {
            case kTransitionPush:
                std::memcpy(out, a + at, std::size_t(w - at));
                std::memcpy(out + (w - at), b, std::size_t(at));
                break;
            case kTransitionWipe:
                std::memcpy(out, b, std::size_t(at));
                std::memcpy(out + at, a + at, std::size_t(w - at));
                break;
            default:
                mixRow(out, a, b, w, weight);
                break;
            }
        }
    }
}

QSize even(QSize size) {
    return QSize(std::max(2, size.width() & ~1), std::max(2, size.height() & ~1));
}

} // namespace

QSize videoSize(const RecordedDeck& deck, const VideoOptions& options) {
    if (!options.size.isEmpty())
        return even(options.size);
    constexpr int kHeight = 1080;
    const QSizeF slide = deck.slideSize;
    if (slide.width() <= 0 || slide.height() <= 0)
        return QSize(1920, kHeight);
    return even(QSize(int(std::lround(kHeight * slide.width() / slide.height())), kHeight));
}

namespace {

bool write(const RecordedDeck& deck, const QString& path, const VideoOptions& options) {
    // The encoder's statistics would go to standard error.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    if (deck.slides.empty())
        failSave(QStringLiteral("the deck has no slides"), path);
    const int fps = options.framesPerSecond > 0 ? options.framesPerSecond : 30;
    const QSize size = videoSize(deck, options);
    const std::vector<double> starts = slideStarts(deck);
    const double show = starts.back();
    const std::int64_t end = std::max<std::int64_t>(1, std::llround(show * fps));
    const auto tickOf = [fps](double seconds) { return std::int64_t(std::llround(seconds * fps)); };
    const auto goOn = [&](std::int64_t tick) {
        return !options.progress || options.progress(std::min(1.0, double(tick) / double(end)));
    };

    // Every music file is read before anything is written: a file that is no music fails the
    // video before it begins.
    for (const QString& file : deck.music)
        MusicInput{file};

    const std::unique_ptr<pptx::SaveFile> file = pptx::SaveFile::replacing(path);
    Muxer muxer(*file);
    Frames picture(muxer, size, fps);
    std::optional<Soundtrack> sound;
    if (!deck.music.isEmpty())
        sound.emplace(muxer, deck, show);
    muxer.start();
    if (sound)
        sound->start();

    const auto painted = [&](std::size_t k) {
        return std::async(std::launch::async,
                          [&deck, size, k] { return slideFrame(deck, deck.slides[k], size); });
    };
    FramePtr previous;
    FramePtr current = slideFrame(deck, deck.slides[0], size);
    std::future<FramePtr> next;
    if (deck.slides.size() > 1)
        next = painted(1);
    std::int64_t last = -1;
    for (std::size_t k = 0; k < deck.slides.size(); ++k) {
        if (k > 0) {
            previous = std::move(current);
            current = next.get();
            if (k + 1 < deck.slides.size())
                next = painted(k + 1);
        }
        const RecordedSlide& slide = deck.slides[k];
        const std::int64_t start = tickOf(starts[k]);
        const std::int64_t move = k == 0 ? 0 : tickOf(moveSeconds(slide));
        for (std::int64_t i = 1; i < move; ++i) {
            const std::int64_t tick = start + i;
            if (tick <= last || tick >= end)
                continue;
            if (sound)
                sound->until(double(tick) / fps);
            drawMove(picture.next(tick), *previous, *current, slide.transition,
                     double(i) / double(move));
            last = tick;
            if (!goOn(tick))
                return false;
        }
        const std::int64_t tick = std::max(start + move, last + 1);
        if (tick >= end && last >= 0)
            continue;
        if (sound)
            sound->until(double(tick) / fps);
        check(av_frame_copy(&picture.next(tick), current.get()), path, "a frame cannot be made");
        last = tick;
        if (!goOn(tick))
            return false;
    }
    if (next.valid())
        next.wait();
    picture.finish(end);
    if (sound)
        sound->finish();
    muxer.finish();
    file->commit([&deck](const FileIdentity& written) {
        const auto same = [&written](const QString& other) {
            struct stat st;
            return ::stat(nativePath(other).constData(), &st) == 0 &&
                   identityOf(st).sameFile(written);
        };
        return std::ranges::any_of(deck.music, same) ||
               std::ranges::any_of(deck.slides, [&](const RecordedSlide& slide) {
                   return std::ranges::any_of(slide.shapes, [&](const RecordedShape& shape) {
                       return shape.picture.file.sameFile(written) ||
                              (!shape.picture.path.isEmpty() && same(shape.picture.path));
                   });
               });
    });
    if (options.progress)
        options.progress(1);
    return true;
}

} // namespace

bool writeVideo(const RecordedDeck& deck, const QString& path, const VideoOptions& options) {
    try {
        return write(deck, path, options);
    } catch (...) {
        // A failure of the threads, the library or memory is the video's too.
        throw RuntimeError::from(std::current_exception(), path);
    }
}

} // namespace slidemill
