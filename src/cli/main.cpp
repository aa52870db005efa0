#include "cli/batch.h"
#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "host/pptxhost.h"
#include "host/renderinghost.h"
#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

using namespace slidemill;

namespace {

// Milliseconds since the process began, start-up included, as the user waiting for it counts
// them; -1 when the system does not tell.
qint64 processAgeMs() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The command name may hold spaces and parentheses; the fields after it do not.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // Field 22, the start in clock ticks since boot, is the 20th after the name.
    bool ok = false;
    const qint64 ticks = fields.value(19).toLongLong(&ok);
    const long hz = ::sysconf(_SC_CLK_TCK);
    timespec now;
    if (!ok || hz <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const qint64 startMs = ticks * 1000 / hz;
    return std::max<qint64>(0, qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - startMs);
}

} // namespace

int main(int argc, char** argv) {
    installMessageHandler();
    // Qt decodes the arguments lossily; file names must reach the file system unchanged.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << pathFromNative(argv[i]);
    // QImageReader finds its format plugins (TIFF among them) through the application object. A
    // video or a PDF is drawn with the deck's fonts, which only a GUI application has; it needs
    // no display.
    const bool draws = std::any_of(args.begin(), args.end(), [](const QString& arg) {
        return arg.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive) ||
               arg.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    });
    if (draws)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        draws ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    removeUnfinishedSavesOnSignal();
    QTextStream out(stdout);
    QTextStream err(stderr);

    HeaderPictureLoader loader;
    std::shared_ptr<SavingHost> host;
    BatchServices services;
    services.loader = &loader;
    services.standardOutputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    services.makeHost = [&host](const PptxHostOptions& options) {
        host = hostFor(options);
        return host;
    };
    // Only a presentation is written while the photos are placed.
    services.bytesWritten = [&host] {
        const auto* deck = dynamic_cast<const PptxHost*>(host.get());
        return deck ? deck->bytesWritten() : 0;
    };
    services.entriesWritten = [&host] {
        const auto* deck = dynamic_cast<const PptxHost*>(host.get());
        return deck ? deck->entriesWritten() : 0;
    };
    services.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    if (processAgeMs() >= 0)
        services.elapsedMs = processAgeMs;
    const int status = runBatch(args, out, err, services);
    // What went to standard output (the help, the version) is not written until it is flushed.
    out.flush();
    QString failed;
    if (out.status() != QTextStream::Ok)
        failed = out.device()->errorString();
    else if (std::fflush(stdout) != 0)
        failed = QString::fromLocal8Bit(std::strerror(errno));
    if (!failed.isEmpty()) {
        err << "slidemill-build: cannot write to standard output: " << failed << '\n';
        err.flush();
        return status == 0 ? 1 : status;
    }
    return status;
}
