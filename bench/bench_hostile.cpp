// Times slidemill-build on each picture crafted to take all the memory or time a decoder gives
// it (tests/support/hostile.*), one process a picture, and prints its wall time, peak resident
// memory and first line of error beside a build of an ordinary photo:
//
//   bench_hostile SLIDEMILL_BUILD [OPTION...]
//
// The options go to slidemill-build; without any, --ppi 50, so that every picture is decoded
// (at 220 ppi the smaller ones would be stored as they are).
// The goal: no such picture of a few megabytes takes more than 2 s, or more than the decode
// budget (512 MiB) and 64 MiB besides.

#include "support/fixtures.h"
#include "support/hostile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    int exit = -1;
    QString error;
};

// Through /usr/bin/time, which forks before it runs the tool: a process spawned from this one
// would inherit this one's peak with its memory.
Run run(const QByteArray& tool, const QStringList& args, const QString& errors) {
    const QString figures = errors + QStringLiteral(".time");
    std::vector<QByteArray> held{
        "/usr/bin/time", "-f", "%M", "-o", QFile::encodeName(figures), tool};
    for (const QString& a : args)
        held.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : held)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, QFile::encodeName(errors).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Run r;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.seconds = double(timer.nsecsElapsed()) / 1e9;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    QFile text(errors);
    if (text.open(QIODevice::ReadOnly))
        r.error = QString::fromUtf8(text.readLine()).trimmed();
    QFile peak(figures);
    if (peak.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = peak.readAll().trimmed().split('\n');
        r.peakKiB = lines.last().toLong();
        // time's own note of an exit status is not the tool's error.
        if (r.error.startsWith(QLatin1String("Command exited")))
            r.error.clear();
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_hostile SLIDEMILL_BUILD [OPTION...]\n");
        return 2;
    }
    const QByteArray tool = QFile::encodeName(args[1]);
    const QStringList extra =
        args.size() > 2 ? args.mid(2) : QStringList{QStringLiteral("--ppi"), QStringLiteral("50")};
    QTemporaryDir dir;
    QList<slidemill::test::HostileFile> files = slidemill::test::hostileFiles();
    files.prepend(
        {"an ordinary photo of 12 MP",
         QStringLiteral("photo.jpg"),
         slidemill::test::encodedImage(slidemill::test::noisyPhoto(4000, 3000), "jpeg", 90),
         {}});
    // Too slow for the tests: decoded whole, tile after tile, whatever the size shown.
    for (const quint32 side : {11000, 30000})
        files.append({side == 11000 ? "tiff of 11000 x 11000 in deflated tiles"
                                    : "tiff of 30000 x 30000 in deflated tiles",
                      QStringLiteral("tiles%1.tif").arg(side),
                      slidemill::test::tiledTiff(int(side), 256),
                      {}});
    // HEVC of one colour: up to 4096 x 4096 decoded whatever its file; 8192 x 8192, its ispe
    // saying 64 x 64, took 3.6 to 4.9 s before HEVC had a bound of its own.
    files.append({"heic of 4096 x 4096 of one colour",
                  QStringLiteral("flat4096.heic"),
                  slidemill::test::flatHeic(QSize(4096, 4096)),
                  {}});
    files.append(
        {"heic of 8192 x 8192 of one colour, its ispe saying 64 x 64",
         QStringLiteral("flat8192.heic"),
         slidemill::test::withIspe(slidemill::test::flatHeic(QSize(8192, 8192)), QSize(64, 64)),
         {}});
    std::printf("| picture | file KiB | exit | seconds | peak MiB | first line of error |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const auto& f : files) {
        const QString path = slidemill::test::writeBytes(dir.path(), f.name, f.bytes);
        const Run r = run(tool,
                          QStringList{QStringLiteral("-o"), dir.filePath("deck.pptx")} + extra +
                              QStringList{path},
                          dir.filePath("errors.txt"));
        QFile::remove(dir.filePath("deck.pptx"));
        QString error = r.error;
        error.replace(dir.path() + u'/', QString());
        std::printf("| %s | %lld | %d | %.2f | %.1f | %s |\n", f.row,
                    static_cast<long long>(f.bytes.size() / 1024), r.exit, r.seconds,
                    double(r.peakKiB) / 1024, qPrintable(error));
        std::fflush(stdout);
    }
    return 0;
}
