// Resizing camera JPEGs to the pixels a slide shows them at, by the ways a picture maker could
// take: libvips (JPEG shrink-on-load, Lanczos3 reduce), libjpeg-turbo's scaled decode with a
// plain separable Lanczos3, and Slidemill's own picture maker. bench/bench_resize.py runs it
// and turns its output into the quality figures in bench/README.md.
//
//   bench_resize MODE WxH QUALITY OUTDIR [-j N] PHOTO...
//
// MODE
//   vips       libvips: shrink-on-load leaving a factor of 2 for the Lanczos3 reduce, as
//              vips_thumbnail does
//   vips-fit   libvips: shrink-on-load as far as the target allows
//   turbo      libjpeg-turbo: decoded scaled by n/8 as far as the target allows, then Lanczos3
//   turbo-2x   libjpeg-turbo: decoded scaled leaving a factor of 2 for the Lanczos3
//   maker      pictures::makePicture (QUALITY is its own; give 0)
// WxH is the upright size a photo must fit; the result keeps the photo's proportions. QUALITY
// 1-100 writes JPEG, 0 a lossless PPM (for the resize alone); QUALITY:444 or QUALITY:420 sets the
// chroma subsampling (libvips' own choice is 4:2:0 below quality 90). Each photo is turned upright
// as its EXIF orientation says. -j N makes N photos at once.
//
// Prints one line: mode, photos, seconds, seconds a photo, peak memory (MiB, the process's
// maximum resident set, and before the first photo), bytes read, bytes written, libvips' own
// peak (MiB), processor seconds a photo.

#include "core/runtimeerror.h"
#include "pictures/picturemaker.h"
#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <vector>
#include <vips/vips.h>
#ifdef SLIDEMILL_BENCH_TURBOJPEG
#include <turbojpeg.h>
#endif

using namespace slidemill;

namespace {

struct Job {
    QString mode;
    QSize target;
    int quality = 85;
    // 444, 420, or 0 for libvips' choice (4:2:0 below quality 90) and 4:2:0 for turbo.
    int chroma = 0;
    QString outDir;
};

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Processor time of the whole process, every thread: what the work costs whatever else runs.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QSize fitted(QSize upright, QSize target) {
    return pictures::fittedPixels(upright, target);
}

bool quarterTurn(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

QString outName(const Job& job, const QString& photo) {
    return job.outDir + QLatin1Char('/') + QFileInfo(photo).completeBaseName() +
           (job.quality > 0 || job.mode == QLatin1String("maker") ? QStringLiteral(".jpg")
                                                                  : QStringLiteral(".ppm"));
}

[[noreturn]] void fail(const QString& photo, const char* what) {
    std::fprintf(stderr, "bench_resize: %s: %s\n", qPrintable(photo), what);
    std::exit(1);
}

// --- libvips ---------------------------------------------------------------------------------

qint64 viaVips(const Job& job, const Picture& picture) {
    const QByteArray path = QFile::encodeName(picture.path);
    VipsImage* header = vips_image_new_from_file(path.constData(), nullptr);
    if (!header)
        fail(picture.path, vips_error_buffer());
    const QSize stored(header->Xsize, header->Ysize);
    g_object_unref(header);
    const bool quarter = quarterTurn(picture.orientation);
    QSize want = fitted(quarter ? stored.transposed() : stored, job.target);
    if (quarter)
        want.transpose();
    const double shrink =
        std::min(double(stored.width()) / want.width(), double(stored.height()) / want.height());
    int load = 1;
    for (int s : {8, 4, 2})
        if ((job.mode == QLatin1String("vips") && shrink >= 2.0 * s) ||
            (job.mode == QLatin1String("vips-fit") && shrink >= s)) {
            load = s;
            break;
        }
    VipsImage* in = nullptr;
    if (vips_jpegload(path.constData(), &in, "shrink", load, "access", VIPS_ACCESS_SEQUENTIAL,
                      nullptr))
        fail(picture.path, vips_error_buffer());
    VipsImage* out = nullptr;
    if (vips_resize(in, &out, double(want.width()) / in->Xsize, "vscale",
                    double(want.height()) / in->Ysize, "kernel", VIPS_KERNEL_LANCZOS3, nullptr))
        fail(picture.path, vips_error_buffer());
    g_object_unref(in);
    if (picture.orientation != 1) {
        VipsImage* memory = vips_image_copy_memory(out);
        g_object_unref(out);
        if (!memory || vips_autorot(memory, &out, nullptr))
            fail(picture.path, vips_error_buffer());
        g_object_unref(memory);
    }
    qint64 bytes = 0;
    const QByteArray target = QFile::encodeName(outName(job, picture.path));
    if (job.quality > 0) {
        void* buffer = nullptr;
        size_t length = 0;
        const VipsForeignSubsample subsample = job.chroma == 444   ? VIPS_FOREIGN_SUBSAMPLE_OFF
                                               : job.chroma == 420 ? VIPS_FOREIGN_SUBSAMPLE_ON
                                                                   : VIPS_FOREIGN_SUBSAMPLE_AUTO;
        if (vips_jpegsave_buffer(out, &buffer, &length, "Q", job.quality, "strip", TRUE,
                                 "optimize_coding", TRUE, "subsample_mode", subsample, nullptr))
            fail(picture.path, vips_error_buffer());
        QFile file(QString::fromLocal8Bit(target));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(static_cast<const char*>(buffer), qint64(length)) != qint64(length))
            fail(picture.path, "cannot write");
        g_free(buffer);
        bytes = qint64(length);
    } else if (vips_image_write_to_file(out, target.constData(), nullptr)) {
        fail(picture.path, vips_error_buffer());
    }
    g_object_unref(out);
    return bytes;
}

// --- libjpeg-turbo and a plain Lanczos3 ------------------------------------------------------

#ifdef SLIDEMILL_BENCH_TURBOJPEG

// Output pixel i of a resize from `in` to `out` samples takes these inputs with these weights.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights;
    int width = 0;
};

Taps lanczos3(int in, int out) {
    const double scale = double(in) / out;
    const double stretch = std::max(1.0, scale);
    const double radius = 3.0 * stretch;
    Taps t;
    t.width = int(std::ceil(radius)) * 2 + 1;
    t.first.resize(std::size_t(out));
    t.count.resize(std::size_t(out));
    t.weights.assign(std::size_t(out) * std::size_t(t.width), 0.0f);
    auto kernel = [](double x) {
        x = std::abs(x);
        if (x < 1e-9)
            return 1.0;
        if (x >= 3.0)
            return 0.0;
        const double px = M_PI * x;
        return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
    };
    for (int i = 0; i < out; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int lo = std::max(0, int(std::ceil(centre - radius)));
        const int hi = std::min(in - 1, int(std::floor(centre + radius)));
        double sum = 0.0;
        for (int j = lo; j <= hi; ++j)
            sum += kernel((j - centre) / stretch);
        t.first[std::size_t(i)] = lo;
        t.count[std::size_t(i)] = hi - lo + 1;
        for (int j = lo; j <= hi; ++j)
            t.weights[std::size_t(i) * std::size_t(t.width) + std::size_t(j - lo)] =
                float(kernel((j - centre) / stretch) / sum);
    }
    return t;
}

// RGB, 8 bits: `src` sw x sh into dw x dh, rows first.
std::vector<unsigned char> resample(const std::vector<unsigned char>& src, int sw, int sh, int dw,
                                    int dh) {
    const Taps h = lanczos3(sw, dw), v = lanczos3(sh, dh);
    std::vector<float> rows(std::size_t(sh) * std::size_t(dw) * 3);
    for (int y = 0; y < sh; ++y) {
        const unsigned char* line = &src[std::size_t(y) * std::size_t(sw) * 3];
        float* to = &rows[std::size_t(y) * std::size_t(dw) * 3];
        for (int x = 0; x < dw; ++x) {
            const float* w = &h.weights[std::size_t(x) * std::size_t(h.width)];
            const unsigned char* p = line + std::size_t(h.first[std::size_t(x)]) * 3;
            float r = 0, g = 0, b = 0;
            for (int k = 0; k < h.count[std::size_t(x)]; ++k, p += 3) {
                r += w[k] * p[0];
                g += w[k] * p[1];
                b += w[k] * p[2];
            }
            to[x * 3] = r;
            to[x * 3 + 1] = g;
            to[x * 3 + 2] = b;
        }
    }
    std::vector<unsigned char> out(std::size_t(dw) * std::size_t(dh) * 3);
    std::vector<float> acc(std::size_t(dw) * 3);
    for (int y = 0; y < dh; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        const float* w = &v.weights[std::size_t(y) * std::size_t(v.width)];
        for (int k = 0; k < v.count[std::size_t(y)]; ++k) {
            const float* row =
                &rows[std::size_t(v.first[std::size_t(y)] + k) * std::size_t(dw) * 3];
            for (std::size_t i = 0; i < acc.size(); ++i)
                acc[i] += w[k] * row[i];
        }
        unsigned char* to = &out[std::size_t(y) * std::size_t(dw) * 3];
        for (std::size_t i = 0; i < acc.size(); ++i)
            to[i] = static_cast<unsigned char>(std::clamp(std::lround(acc[i]), 0L, 255L));
    }
    return out;
}

// Turned as EXIF orientation 6 or 8 (or 3) asks; the benchmark's photos use no mirror.
std::vector<unsigned char> upright(std::vector<unsigned char> px, int& w, int& h, int o) {
    if (o != 3 && o != 6 && o != 8)
        return px;
    std::vector<unsigned char> out(px.size());
    const int nw = o == 3 ? w : h, nh = o == 3 ? h : w;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int nx = 0, ny = 0;
            if (o == 3) {
                nx = w - 1 - x;
                ny = h - 1 - y;
            } else if (o == 6) {
                nx = h - 1 - y;
                ny = x;
            } else {
                nx = y;
                ny = w - 1 - x;
            }
            std::copy_n(&px[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 3], 3,
                        &out[(std::size_t(ny) * std::size_t(nw) + std::size_t(nx)) * 3]);
        }
    w = nw;
    h = nh;
    return out;
}

qint64 viaTurbo(const Job& job, const Picture& picture) {
    QFile file(picture.path);
    if (!file.open(QIODevice::ReadOnly))
        fail(picture.path, "cannot read");
    const QByteArray jpeg = file.readAll();
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    if (tjDecompressHeader3(tj, data, jpeg.size(), &w, &h, &subsampling, &colourspace))
        fail(picture.path, tjGetErrorStr2(tj));
    const bool quarter = quarterTurn(picture.orientation);
    QSize want = fitted(quarter ? QSize(h, w) : QSize(w, h), job.target);
    if (quarter)
        want.transpose();
    // The smallest scale whose result still holds the target (twice it for turbo-2x).
    const int factor = job.mode == QLatin1String("turbo-2x") ? 2 : 1;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom || TJSCALED(w, f) < factor * want.width() ||
            TJSCALED(h, f) < factor * want.height())
            continue;
        if (double(f.num) / f.denom < double(best.num) / best.denom)
            best = f;
    }
    int sw = TJSCALED(w, best), sh = TJSCALED(h, best);
    std::vector<unsigned char> px(std::size_t(sw) * std::size_t(sh) * 3);
    if (tjDecompress2(tj, data, jpeg.size(), px.data(), sw, 0, sh, TJPF_RGB, TJFLAG_ACCURATEDCT))
        fail(picture.path, tjGetErrorStr2(tj));
    tjDestroy(tj);
    int dw = want.width(), dh = want.height();
    px = resample(px, sw, sh, dw, dh);
    px = upright(std::move(px), dw, dh, picture.orientation);
    QFile out(outName(job, picture.path));
    if (!out.open(QIODevice::WriteOnly))
        fail(picture.path, "cannot write");
    if (job.quality == 0) {
        out.write(QStringLiteral("P6\n%1 %2\n255\n").arg(dw).arg(dh).toLatin1());
        out.write(reinterpret_cast<const char*>(px.data()), qint64(px.size()));
        return 0;
    }
    tjhandle encoder = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    if (tjCompress2(encoder, px.data(), dw, 0, dh, TJPF_RGB, &buffer, &length,
                    job.chroma == 444 ? TJSAMP_444 : TJSAMP_420, job.quality, TJFLAG_ACCURATEDCT))
        fail(picture.path, tjGetErrorStr2(encoder));
    out.write(reinterpret_cast<const char*>(buffer), qint64(length));
    tjFree(buffer);
    tjDestroy(encoder);
    return qint64(length);
}

#endif

// --- Slidemill ---------------------------------------------------------------------------------

qint64 viaMaker(const Job& job, const Picture& picture) {
    try {
        const pictures::MadePicture made = pictures::makePicture(picture, job.target);
        const QByteArray bytes = made.bytes.isEmpty() ? QByteArray() : made.bytes;
        QFile out(outName(job, picture.path));
        if (bytes.isEmpty()) {
            QFile::remove(out.fileName());
            QFile::copy(picture.path, out.fileName());
            return QFileInfo(picture.path).size();
        }
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            fail(picture.path, "cannot write");
        return bytes.size();
    } catch (const RuntimeError& e) {
        fail(picture.path, qPrintable(e.oneLine()));
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (VIPS_INIT(argv[0]))
        return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    QStringList args = app.arguments().mid(1);
    int jobs = 1;
    const qsizetype j = args.indexOf(QStringLiteral("-j"));
    if (j >= 0 && j + 1 < args.size()) {
        jobs = std::max(1, args.at(j + 1).toInt());
        args.remove(j, 2);
    }
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: bench_resize MODE WxH QUALITY OUTDIR [-j N] PHOTO...\n");
        return 2;
    }
    Job job;
    job.mode = args.at(0);
    const QStringList size = args.at(1).split(QLatin1Char('x'));
    job.target = QSize(size.value(0).toInt(), size.value(1).toInt());
    const QStringList quality = args.at(2).split(QLatin1Char(':'));
    job.quality = quality.value(0).toInt();
    job.chroma = quality.value(1).toInt();
    job.outDir = args.at(3);
    const QStringList photos = args.mid(4);

    qint64 (*make)(const Job&, const Picture&) = nullptr;
    if (job.mode == QLatin1String("vips") || job.mode == QLatin1String("vips-fit"))
        make = viaVips;
    else if (job.mode == QLatin1String("maker"))
        make = viaMaker;
#ifdef SLIDEMILL_BENCH_TURBOJPEG
    else if (job.mode == QLatin1String("turbo") || job.mode == QLatin1String("turbo-2x"))
        make = viaTurbo;
#endif
    if (!make) {
        std::fprintf(stderr, "bench_resize: no mode %s here\n", qPrintable(job.mode));
        return 2;
    }

    HeaderPictureLoader loader;
    std::vector<Picture> pictures;
    qint64 bytesIn = 0;
    for (const QString& photo : photos) {
        pictures.push_back(loader.load(photo));
        bytesIn += QFileInfo(photo).size();
    }
    const double baseline = peakMiB();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    std::atomic<std::size_t> next{0};
    std::atomic<qint64> bytesOut{0};
    std::vector<std::thread> workers;
    for (int k = 0; k < jobs; ++k)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < pictures.size();)
                bytesOut += make(job, pictures[i]);
            vips_thread_shutdown();
        });
    for (std::thread& t : workers)
        t.join();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%s %zu %.2f %.3f %.1f %.1f %lld %lld %.1f %.3f\n", qPrintable(job.mode),
                pictures.size(), seconds, seconds / double(pictures.size()), peakMiB(), baseline,
                static_cast<long long>(bytesIn), static_cast<long long>(bytesOut.load()),
                double(vips_tracked_get_mem_highwater()) / 1048576.0,
                (cpuSeconds() - cpuBefore) / double(pictures.size()));
    return 0;
}
