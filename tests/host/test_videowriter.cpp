// Shows written as videos and read back by ffprobe and ffmpeg: their streams, length, frames,
// the moves between slides and the music's end; and what a failed or cancelled video leaves.

#include "core/faults.h"
#include "core/runtimeerror.h"
#include "host/music.h"
#include "host/videowriter.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "support/fixtures.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cmath>

using namespace slidemill;
using namespace slidemill::test;

Q_DECLARE_METATYPE(Transition)

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

Run run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A picture of one colour all over.
QString solid(const QString& dir, const QString& name, QColor colour) {
    QImage image(64, 36, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QDir(dir).filePath(name);
    return image.save(path) ? path : QString();
}

RecordedDeck recorded(const QStringList& photos, BuildOptions options) {
    HeaderPictureLoader loader;
    DeckRecorder recorder([](const QStringList& files) {
        std::int64_t ms = 0;
        for (const QString& file : files)
            ms += measureMusic(file).durationMs;
        return ms;
    });
    buildSlides(photos, options, loader, recorder);
    return recorder.deck;
}

// The frame shown at `seconds`, as RGB: frames held are repeated at 30 a second first, so that
// a still slide shows at any moment of it.
QImage frameAt(const QString& video, double seconds, QSize size) {
    const QString pick = QStringLiteral("fps=30,select=eq(n\\,%1)").arg(std::lround(seconds * 30));
    const Run r = run("ffmpeg", {"-v", "error", "-i", video, "-vf", pick, "-frames:v", "1", "-f",
                                 "rawvideo", "-pix_fmt", "rgb24", "-"});
    if (r.exitCode != 0 || r.out.size() != qsizetype(size.width()) * size.height() * 3)
        return {};
    return QImage(reinterpret_cast<const uchar*>(r.out.constData()), size.width(), size.height(),
                  size.width() * 3, QImage::Format_RGB888)
        .copy();
}

// 'r' red, 'b' blue, 'm' a mix of both, '?' anything else.
char colourAt(const QImage& image, double x) {
    const QColor c = image.pixelColor(int(x * (image.width() - 1)), image.height() / 2);
    const bool red = c.red() > 160, blue = c.blue() > 160;
    if (red && c.blue() < 90)
        return 'r';
    if (blue && c.red() < 90)
        return 'b';
    if (c.red() > 70 && c.red() < 190 && c.blue() > 70 && c.blue() < 190)
        return 'm';
    return '?';
}

// The sound, mono at 48 kHz; and how loud it is between two moments.
std::vector<float> soundOf(const QString& video) {
    const Run r = run("ffmpeg", {"-v", "error", "-i", video, "-map", "0:a", "-ac", "1", "-ar",
                                 "48000", "-f", "f32le", "-"});
    std::vector<float> samples(std::size_t(r.out.size()) / sizeof(float));
    std::memcpy(samples.data(), r.out.constData(), samples.size() * sizeof(float));
    return samples;
}

double loudness(const std::vector<float>& samples, double from, double to) {
    const auto a = std::size_t(std::max(0.0, from * 48000));
    const auto b = std::min(samples.size(), std::size_t(to * 48000));
    double sum = 0;
    for (std::size_t i = a; i < b; ++i)
        sum += double(samples[i]) * samples[i];
    return b > a ? std::sqrt(sum / double(b - a)) : 0;
}

// The call the fault hook fails, with ENOSPC.
int g_failing = -1;
int failing(IoCall call, const QByteArray&) {
    return int(call) == g_failing ? ENOSPC : 0;
}

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestVideoWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable("ffprobe").isEmpty() ||
            QStandardPaths::findExecutable("ffmpeg").isEmpty())
            QSKIP("ffmpeg and ffprobe are needed to read the videos back");
    }

    void shows_data() {
        QTest::addColumn<int>("photos");
        QTest::addColumn<Transition>("transition");
        QTest::addColumn<int>("advanceMs");
        // Seconds of each music file, one after another.
        QTest::addColumn<QList<double>>("music");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("seconds");
        // At most this many frames: a still slide is one frame.
        QTest::addColumn<int>("maxFrames");
        // Halfway through the move to the second slide (red to blue): the colour a quarter
        // from the left and a quarter from the right; empty for no check.
        QTest::addColumn<QString>("midMove");

        const QSize sd(320, 240), wide(320, 180);
        QTest::newRow("no music, held")
            << 3 << Transition::None << 0 << QList<double>{} << false << sd << 15.0 << 3 << "bb";
        QTest::newRow("one slide")
            << 1 << Transition::Fade << 0 << QList<double>{} << true << wide << 5.0 << 1 << "";
        QTest::newRow("16:9 at its default size")
            << 1 << Transition::None << 0 << QList<double>{} << true << QSize() << 5.0 << 1 << "";
        QTest::newRow("4:3 at its default size")
            << 1 << Transition::None << 0 << QList<double>{} << false << QSize() << 5.0 << 1 << "";
        QTest::newRow("advance, odd size made even")
            << 2 << Transition::None << 2500 << QList<double>{} << true << QSize(321, 181) << 5.0
            << 2 << "";
        QTest::newRow("a minute a slide") << 2 << Transition::None << 60000 << QList<double>{}
                                          << true << wide << 120.0 << 2 << "";
        QTest::newRow("a move in half of a short slide")
            << 3 << Transition::Push << 1000 << QList<double>{} << true << wide << 3.0 << 3 + 2 * 14
            << "";
        QTest::newRow("fade") << 3 << Transition::Fade << 0 << QList<double>{} << true << wide
                              << 15.0 << 3 + 2 * 29 << "mm";
        QTest::newRow("push") << 2 << Transition::Push << 0 << QList<double>{} << true << wide
                              << 10.0 << 2 + 29 << "rb";
        QTest::newRow("wipe") << 2 << Transition::Wipe << 0 << QList<double>{} << false << sd
                              << 10.0 << 2 + 29 << "br";
        QTest::newRow("music longer, cut and faded")
            << 2 << Transition::Fade << 0 << QList<double>{7.0, 8.0} << true << wide << 10.0
            << 2 + 29 << "";
        QTest::newRow("music shorter, then silence")
            << 3 << Transition::None << 0 << QList<double>{4.0} << false << sd << 15.0 << 3 << "";
        QTest::newRow("two files shorter than the show")
            << 2 << Transition::None << 0 << QList<double>{2.0, 3.0} << false << sd << 10.0 << 2
            << "";
    }

    void shows() {
        QFETCH(int, photos);
        QFETCH(Transition, transition);
        QFETCH(int, advanceMs);
        QFETCH(QList<double>, music);
        QFETCH(bool, wide);
        QFETCH(QSize, size);
        QFETCH(double, seconds);
        QFETCH(int, maxFrames);
        QFETCH(QString, midMove);

        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < photos; ++i)
            paths << solid(dir.path(), QStringLiteral("p%1.png").arg(i),
                           i == 0 ? QColor(Qt::red) : QColor(Qt::blue));
        BuildOptions options;
        options.layout = Layout::Fill;
        options.wide = wide;
        options.transition = transition;
        options.advanceMs = advanceMs;
        double musicSeconds = 0;
        for (int i = 0; i < music.size(); ++i) {
            options.music << makeMusic(dir.path(), QStringLiteral("m%1.mp3").arg(i), music[i]);
            QVERIFY(!options.music.last().isEmpty());
            musicSeconds += music[i];
        }
        const RecordedDeck deck = recorded(paths, options);

        const QString out = dir.filePath("show.mp4");
        VideoOptions video;
        video.size = size;
        double last = -1;
        bool ordered = true;
        video.progress = [&](double done) {
            ordered = ordered && done >= last && done <= 1;
            last = done;
            return true;
        };
        QVERIFY(writeVideo(deck, out, video));
        QVERIFY(ordered);
        QCOMPARE(last, 1.0);

        const Run probe =
            run("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", out});
        QCOMPARE(probe.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(probe.out).object();
        const QJsonArray streams = json["streams"].toArray();
        QCOMPARE(streams.size(), music.isEmpty() ? 1 : 2);
        QJsonObject v, a;
        for (const auto& s : streams)
            (s.toObject()["codec_type"] == "video" ? v : a) = s.toObject();
        QCOMPARE(v["codec_name"].toString(), QStringLiteral("h264"));
        QCOMPARE(v["pix_fmt"].toString(), QStringLiteral("yuv420p"));
        const QSize even = size.isEmpty() ? QSize(wide ? 1920 : 1440, 1080)
                                          : QSize(size.width() & ~1, size.height() & ~1);
        QCOMPARE(QSize(v["width"].toInt(), v["height"].toInt()), even);
        const double duration = json["format"].toObject()["duration"].toString().toDouble();
        QVERIFY2(std::abs(duration - seconds) <= 1.0 / 30 + 1e-6,
                 qPrintable(QStringLiteral("%1 s").arg(duration)));
        QVERIFY2(std::abs(v["duration"].toString().toDouble() - seconds) <= 1.0 / 30 + 1e-6,
                 qPrintable(v["duration"].toString()));
        const int frames = v["nb_frames"].toString().toInt();
        QVERIFY2(frames >= photos && frames <= maxFrames, qPrintable(QString::number(frames)));
        if (!music.isEmpty()) {
            QCOMPARE(a["codec_name"].toString(), QStringLiteral("aac"));
            QCOMPARE(a["sample_rate"].toString(), QStringLiteral("48000"));
            QCOMPARE(a["channels"].toInt(), 2);
            QVERIFY2(std::abs(a["duration"].toString().toDouble() - seconds) <= 1.0 / 30,
                     qPrintable(a["duration"].toString()));
        }

        const Run decoded = run("ffmpeg", {"-v", "error", "-i", out, "-f", "null", "-"});
        QCOMPARE(decoded.exitCode, 0);
        QCOMPARE(decoded.err, QByteArray());

        if (!midMove.isEmpty()) {
            const QImage mid = frameAt(out, 5.5, even);
            QVERIFY(!mid.isNull());
            QCOMPARE(QString(QChar(colourAt(mid, 0.25))) + QChar(colourAt(mid, 0.75)), midMove);
        }
        if (!music.isEmpty()) {
            const std::vector<float> sound = soundOf(out);
            const double playing = loudness(sound, 0.5, 1.5);
            QVERIFY(playing > 0.05);
            if (musicSeconds > seconds) {
                // Full until the fade, then down to nothing at the end.
                QVERIFY(loudness(sound, seconds - 3, seconds - 2.1) > playing * 0.8);
                QVERIFY(loudness(sound, seconds - 0.1, seconds) < playing * 0.1);
            } else {
                QVERIFY(loudness(sound, musicSeconds - 0.8, musicSeconds - 0.2) > playing * 0.8);
                QVERIFY(loudness(sound, musicSeconds + 0.2, seconds) < 1e-3);
            }
        }
    }

    // A colour comes back as it went in, by the matrix the stream says it was converted with.
    void colours_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("matrix");
        // Black rows above and below the 16:9 slide.
        QTest::addColumn<int>("bar");
        QTest::newRow("standard definition") << QSize(320, 180) << "smpte170m" << 0;
        QTest::newRow("HD") << QSize(1280, 720) << "bt709" << 0;
        QTest::newRow("16:9 slides in a 4:3 video") << QSize(320, 240) << "smpte170m" << 30;
    }

    void colours() {
        QFETCH(QSize, size);
        QFETCH(QString, matrix);
        QFETCH(int, bar);
        QTemporaryDir dir;
        const QColor colour(200, 80, 40);
        BuildOptions options;
        options.layout = Layout::Fill;
        options.wide = true;
        const RecordedDeck deck = recorded({solid(dir.path(), "c.png", colour)}, options);
        const QString out = dir.filePath("colour.mp4");
        VideoOptions video;
        video.size = size;
        QVERIFY(writeVideo(deck, out, video));
        const Run probe = run("ffprobe", {"-v", "error", "-show_streams", "-of", "json", out});
        const QJsonObject v =
            QJsonDocument::fromJson(probe.out).object()["streams"].toArray()[0].toObject();
        QCOMPARE(v["color_space"].toString(), matrix);
        QCOMPARE(v["color_range"].toString(), QStringLiteral("tv"));
        const QImage frame = frameAt(out, 1, size);
        QVERIFY(!frame.isNull());
        const QColor got = frame.pixelColor(size.width() / 2, size.height() / 2);
        QVERIFY2(std::abs(got.red() - colour.red()) <= 6 &&
                     std::abs(got.green() - colour.green()) <= 6 &&
                     std::abs(got.blue() - colour.blue()) <= 6,
                 qPrintable(got.name()));
        const int h = size.height();
        const QList<int> rows =
            bar > 0 ? QList<int>{2, bar - 3, h - bar + 2, h - 3} : QList<int>{2, h - 3};
        for (const int y : rows) {
            const QColor edge = frame.pixelColor(size.width() / 2, y);
            QCOMPARE(edge.lightness() < 20, bar > 0);
        }
    }

    void leavesNothing_data() {
        QTest::addColumn<QString>("music");
        // Cancelled after this many reports of progress; -1: never.
        QTest::addColumn<int>("cancelAfter");
        // The call that fails (an IoCall); -1: none.
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("error");

        const int none = -1;
        QTest::newRow("cancelled at once") << "" << 0 << none << 0;
        QTest::newRow("cancelled in a move") << "" << 20 << none << 0;
        QTest::newRow("music of garbage")
            << "garbage.mp3" << none << none << int(errInvalidPicture);
        QTest::newRow("music cut short") << "cut.mp3" << none << none << int(errInvalidPicture);
        QTest::newRow("music damaged within")
            << "damaged.mp3" << none << none << int(errInvalidPicture);
        QTest::newRow("music missing") << "missing.mp3" << none << none << int(errFileNotFound);
        QTest::newRow("disk full") << "" << none << int(IoCall::Write) << int(errPathFileAccess);
        QTest::newRow("not synced") << "" << none << int(IoCall::Sync) << int(errPathFileAccess);
    }

    void leavesNothing() {
        QFETCH(QString, music);
        QFETCH(int, cancelAfter);
        QFETCH(int, fault);
        QFETCH(int, error);

        QTemporaryDir dir;
        const QString photos = dir.filePath("photos");
        QVERIFY(QDir().mkpath(photos));
        const QStringList paths{solid(photos, "a.png", Qt::red), solid(photos, "b.png", Qt::blue)};
        BuildOptions options;
        options.transition = Transition::Fade;
        RecordedDeck deck = recorded(paths, options);
        if (!music.isEmpty()) {
            const QString path = QDir(photos).filePath(music);
            if (music.startsWith("garbage"))
                writeBytes(photos, music, QByteArray(20000, 'x'));
            if (music.startsWith("cut")) {
                const QString whole = makeMusic(dir.path(), "whole.mp3", 20);
                QVERIFY(!whole.isEmpty());
                const QByteArray bytes = readBytes(whole);
                writeBytes(photos, music, bytes.left(bytes.size() / 3));
            }
            if (music.startsWith("damaged")) {
                const QString whole = makeMusic(dir.path(), "whole.mp3", 20);
                QVERIFY(!whole.isEmpty());
                QByteArray bytes = readBytes(whole);
                for (qsizetype i = bytes.size() / 4; i < bytes.size() / 4 + 3000; ++i)
                    bytes[i] = char(i * 131 % 251);
                writeBytes(photos, music, bytes);
            }
            // As a deck made by a host that does not measure the music has it; the damaged
            // file as if measured, so that only its sound tells.
            deck.music = QStringList{path};
            if (music.startsWith("damaged"))
                deck.musicMs = 20000;
        }

        const QString out = QDir(photos).filePath("show.mp4");
        writeBytes(photos, "show.mp4", "the video before");
        const QStringList before = filesIn(photos);
        VideoOptions video;
        video.size = QSize(160, 120);
        int reports = 0;
        video.progress = [&](double) { return cancelAfter < 0 || reports++ < cancelAfter; };
        g_failing = fault;
        setFaultHook(failing);
        try {
            const bool written = writeVideo(deck, out, video);
            setFaultHook(nullptr);
            QVERIFY(!written);
            QCOMPARE(error, 0);
        } catch (const RuntimeError& e) {
            setFaultHook(nullptr);
            QCOMPARE(e.number(), error);
            QCOMPARE(e.file(), music.isEmpty() ? out : QDir(photos).filePath(music));
        }
        QCOMPARE(filesIn(photos), before);
        QCOMPARE(readBytes(out), QByteArray("the video before"));
    }
};

QTEST_MAIN(TestVideoWriter)
#include "test_videowriter.moc"
