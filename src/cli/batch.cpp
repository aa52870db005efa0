#include "cli/batch.h"

#include "core/runtimeerror.h"
#include "slides/builds.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <limits>

namespace slidemill {

namespace {

const QString kProgram = QStringLiteral("slidemill-build");

// Thrown for a command line that cannot be run.
struct UsageError {
    QString message;
};

struct Request {
    bool two = false;
    bool description = false;
    QString output;
    QStringList pictures;
    QString listFile; // empty: the pictures are on the command line
};

enum class Action { Build, Help, Version };

Action parse(const QStringList& args, Request& request) {
    QCommandLineParser parser;
    const QCommandLineOption two(QStringLiteral("two"));
    const QCommandLineOption description(QStringLiteral("description"));
    const QCommandLineOption output(QStringLiteral("o"), QString(), QStringLiteral("OUT"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({two, description, output, from, help, version});
    parser.addPositionalArgument(QStringLiteral("PICTURE"), QString());

    if (!parser.parse(args))
        throw UsageError{parser.errorText()};
    if (parser.isSet(help))
        return Action::Help;
    if (parser.isSet(version))
        return Action::Version;

    const QStringList outputs = parser.values(output);
    if (outputs.isEmpty())
        throw UsageError{QStringLiteral("no output file given (-o OUT.pptx)")};
    if (outputs.size() > 1)
        throw UsageError{QStringLiteral("more than one output file given")};
    if (outputs.first().isEmpty())
        throw UsageError{QStringLiteral("the output file name is empty")};
    const QStringList lists = parser.values(from);
    if (lists.size() > 1)
        throw UsageError{QStringLiteral("more than one --from list given")};
    request.pictures = parser.positionalArguments();
    if (!lists.isEmpty() && !request.pictures.isEmpty())
        throw UsageError{QStringLiteral("pictures given both with --from and on the command line")};

    request.two = parser.isSet(two);
    request.description = parser.isSet(description);
    request.output = outputs.first();
    request.listFile = lists.value(0);
    return Action::Build;
}

// One path a line; blank lines are skipped and a line ending in CR LF loses its CR.
QStringList readList(QIODevice& device) {
    QStringList paths;
    QTextStream in(&device);
    QString line;
    while (in.readLineInto(&line)) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            paths << line;
    }
    return paths;
}

QStringList readList(const QString& listFile, QIODevice* input) {
    if (listFile == QLatin1String("-")) {
        QFile stdinFile;
        if (!input) {
            if (!stdinFile.open(stdin, QIODevice::ReadOnly))
                throw RuntimeError(errPathFileAccess, RuntimeError::standardText(errPathFileAccess),
                                   QStringLiteral("standard input"));
            input = &stdinFile;
        }
        return readList(*input);
    }
    const QFileInfo info(listFile);
    if (!info.exists())
        throw RuntimeError::withFile(errFileNotFound, listFile);
    QFile file(listFile);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw RuntimeError::withFile(errPathFileAccess, listFile);
    return readList(file);
}

} // namespace

QString batchUsage() {
    return QStringLiteral(
        "Usage: slidemill-build [--two] [--description] -o OUT.pptx PICTURE...\n"
        "       slidemill-build [--two] [--description] -o OUT.pptx --from LIST\n"
        "\n"
        "Builds a presentation from the pictures, in their order, one photo per slide\n"
        "(two with --two), and writes it to OUT.pptx. When a picture cannot be used,\n"
        "nothing is written and OUT.pptx stays as it was.\n"
        "\n"
        "  --two          two photos side by side on each slide\n"
        "  --description  a \"Description\" box under every photo\n"
        "  -o OUT.pptx    the presentation to write\n"
        "  --from LIST    take the pictures from LIST, one path a line (- is standard input)\n"
        "  -h, --help     show this help\n"
        "  --version      show the version\n");
}

int runBatch(const QStringList& args, QTextStream& out, QTextStream& err,
             const BatchServices& services) {
    Request request;
    try {
        switch (parse(args, request)) {
        case Action::Help:
            out << batchUsage();
            out.flush();
            return batchOk;
        case Action::Version:
            out << kProgram << ' ' << SLIDEMILL_VERSION << '\n';
            out.flush();
            return batchOk;
        case Action::Build:
            break;
        }
    } catch (const UsageError& e) {
        err << kProgram << ": " << e.message << "\n\n" << batchUsage();
        err.flush();
        return batchUsageError;
    }

    try {
        if (!request.listFile.isEmpty())
            request.pictures = readList(request.listFile, services.input);
        // The photo list of the window holds no more; a build would stop on the count.
        constexpr int kMaxPictures = std::numeric_limits<std::int16_t>::max();
        if (request.pictures.size() > kMaxPictures) {
            err << kProgram << ": " << request.pictures.size()
                << " pictures given; a presentation takes at most " << kMaxPictures << '\n';
            err.flush();
            return batchUsageError;
        }
        const std::shared_ptr<PresentationHost> host = services.makeHost(request.output);
        if (request.two)
            buildTwoOne(request.pictures, request.description, *services.loader, *host);
        else
            buildOneOne(request.pictures, request.description, *services.loader, *host);
    } catch (const RuntimeError& e) {
        err << kProgram << ": " << e.oneLine() << '\n';
        err.flush();
        return batchRuntimeError;
    }
    return batchOk;
}

} // namespace slidemill
