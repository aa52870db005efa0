#include "cli/batch.h"

#include "core/fileidentity.h"
#include "core/folderscan.h"
#include "core/namepattern.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "core/words.h"
#include "host/pptx/saveerror.h"
#include "host/renderinghost.h"
#include "slides/albumoptions.h"
#include "slides/builds.h"
#include "slides/pictureformats.h"
#include "slides/resolutions.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill {

namespace {

const QString kProgram = QStringLiteral("slidemill-build");

// Thrown for a command line that cannot be run.
struct UsageError {
    QString message;
};

struct Request {
    bool quiet = false;
    bool verbose = false;
    bool keepGoing = false;
    bool recursive = false;
    QString output;
    QStringList pictures;
    // Each picture line's own caption, after a tab, as pictures above; empty: the rule's.
    QStringList captions;
    QString listFile;                          // empty: the pictures are on the command line
    int pixelsPerInch = kDefaultPixelsPerInch; // 0: the pictures as their files hold them
    // A video's frame size; empty: by the slides' proportions.
    QSize videoSize;
    // What the build makes and in which order, from the album options.
    Album album;
};

// The album options of the command line, one QCommandLineOption per row of their table.
struct AlbumOptions {
    std::vector<std::pair<const AlbumOption*, QCommandLineOption>> options;

    AlbumOptions() {
        for (const AlbumOption& row : albumOptions())
            if (row.onCommandLine)
                options.emplace_back(
                    &row, row.argument ? QCommandLineOption(QLatin1String(row.name), QString(),
                                                            QLatin1String(row.argument))
                                       : QCommandLineOption(QLatin1String(row.name)));
    }

    void addTo(QCommandLineParser& parser) const {
        for (const auto& [row, option] : options)
            parser.addOption(option);
    }

    Album read(const QCommandLineParser& parser) const {
        QStringList given;
        for (const QString& name : parser.optionNames())
            if (!given.contains(name) && findAlbumOption(name))
                given << name;
        const QString conflict = albumConflict(given);
        if (!conflict.isEmpty())
            throw UsageError{conflict};
        Album album;
        for (const auto& [row, option] : options) {
            if (!parser.isSet(option))
                continue;
            const QStringList values = parser.values(option);
            if (row->kind == AlbumOptionKind::Files) {
                // Each given names one file, kept in the order given.
                if (values.contains(QString()))
                    throw UsageError{
                        QStringLiteral("a --%1 file name is empty").arg(QLatin1String(row->name))};
                row->put(album, {0, std::nullopt, values});
                continue;
            }
            if (values.size() > 1)
                throw UsageError{
                    QStringLiteral("more than one --%1 given").arg(QLatin1String(row->name))};
            const QString value = row->argument ? values.value(0) : QStringLiteral("true");
            const QString refused = row->give(album, value);
            if (!refused.isEmpty())
                throw UsageError{refused};
        }
        if (album.build.advanceFit && album.build.music.isEmpty())
            throw UsageError{QStringLiteral("--advance fit needs --music")};
        return album;
    }
};

enum class Action { Build, Help, Version };

// Qt names an unknown option without its dashes; the user typed them.
QString unknownOption(const QStringList& args, const QString& name) {
    for (const QString& arg : args.mid(1)) {
        if (arg == QLatin1String("--"))
            break;
        if (arg == QLatin1String("--") + name || arg.startsWith(QLatin1String("--") + name + '='))
            return QLatin1String("--") + name;
    }
    return (name.size() == 1 ? QLatin1String("-") : QLatin1String("--")) + name;
}

// "1280x720": even sides from 16 to 7680 by 4320, as H.264 players take them.
QSize parseVideoSize(const QString& text) {
    const QStringList sides = text.split(QLatin1Char('x'));
    bool wide = false, high = false;
    const int width = sides.size() == 2 ? sides[0].toInt(&wide) : 0;
    const int height = sides.size() == 2 ? sides[1].toInt(&high) : 0;
    if (!wide || !high || width < 16 || height < 16 || width > 7680 || height > 4320 ||
        width % 2 != 0 || height % 2 != 0)
        throw UsageError{QStringLiteral("--video-size %1 is not WIDTHxHEIGHT in even pixels "
                                        "from 16x16 to 7680x4320")
                             .arg(text)};
    return {width, height};
}

Action parse(const QStringList& args, Request& request) {
    QCommandLineParser parser;
    const QCommandLineOption output(QStringLiteral("o"), QString(), QStringLiteral("OUT"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption ppi(QStringLiteral("ppi"), QString(), QStringLiteral("N"));
    const QCommandLineOption videoSize(QStringLiteral("video-size"), QString(),
                                       QStringLiteral("WxH"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption verbose(QStringLiteral("verbose"));
    const QCommandLineOption keepGoing(QStringLiteral("keep-going"));
    const QCommandLineOption recursive(QStringLiteral("recursive"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions(
        {output, from, ppi, videoSize, quiet, verbose, keepGoing, recursive, help, version});
    const AlbumOptions album;
    album.addTo(parser);
    parser.addPositionalArgument(QStringLiteral("PICTURE"), QString());

    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            throw UsageError{
                QStringLiteral("Unknown option '%1'").arg(unknownOption(args, unknown.first()))};
        QString text = parser.errorText();
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        throw UsageError{text};
    }
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
    if (!lists.isEmpty() && lists.first().isEmpty())
        throw UsageError{QStringLiteral("the list file name is empty")};
    request.pictures = parser.positionalArguments();
    if (!lists.isEmpty() && !request.pictures.isEmpty())
        throw UsageError{QStringLiteral("pictures given both with --from and on the command line")};
    // A pattern that matched nothing must not pass for a deck.
    if (lists.isEmpty() && request.pictures.isEmpty())
        throw UsageError{QStringLiteral("no pictures given")};
    const QStringList resolutions = parser.values(ppi);
    if (resolutions.size() > 1)
        throw UsageError{QStringLiteral("more than one --ppi given")};
    if (!resolutions.isEmpty())
        if (const QString refused = parseResolution(resolutions.first(), request.pixelsPerInch);
            !refused.isEmpty())
            throw UsageError{refused};
    const QStringList sizes = parser.values(videoSize);
    if (sizes.size() > 1)
        throw UsageError{QStringLiteral("more than one --video-size given")};
    if (!sizes.isEmpty()) {
        if (deckKindOf(outputs.first()) != DeckKind::Video)
            throw UsageError{QStringLiteral("--video-size needs an output ending in .mp4")};
        request.videoSize = parseVideoSize(sizes.first());
    }
    if (parser.isSet(quiet) && parser.isSet(verbose))
        throw UsageError{QStringLiteral("--quiet and --verbose given together")};

    request.album = album.read(parser);
    request.quiet = parser.isSet(quiet);
    request.verbose = parser.isSet(verbose);
    request.keepGoing = parser.isSet(keepGoing);
    request.recursive = parser.isSet(recursive);
    request.output = outputs.first();
    request.listFile = lists.value(0);
    return Action::Build;
}

// A list's paths, and each line's own caption (empty: none).
struct ListLines {
    QStringList paths;
    QStringList captions;
};

// One path a line, taken as bytes, perhaps followed by a tab and the photo's own caption in
// UTF-8; blank lines are skipped and a line ending in CR LF loses its CR. A relative path is
// taken from `folder` ("" or ending in '/'). A NUL byte is refused (no name holds one: the list
// was written by find -print0, say), naming `list`.
ListLines parseList(const QByteArray& bytes, const QString& folder, const QString& list) {
    ListLines lines;
    int number = 0;
    for (QByteArray line : bytes.split('\n')) {
        ++number;
        if (line.contains('\0'))
            throw RuntimeError(errPathFileAccess,
                               QStringLiteral("%1: line %2 holds a NUL byte; the list takes one "
                                              "path a line (find -print, not -print0)")
                                   .arg(RuntimeError::standardText(errPathFileAccess))
                                   .arg(number),
                               list);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype tab = line.indexOf('\t');
        lines.captions << (tab < 0 ? QString() : QString::fromUtf8(line.mid(tab + 1)));
        const QString path = pathFromNative(tab < 0 ? line : line.left(tab));
        lines.paths << (path.startsWith(QLatin1Char('/')) ? path : folder + path);
    }
    return lines;
}

// `identity` is what the list was read from, where it is a file, so that OUT cannot replace it.
ListLines readList(const QString& listFile, QIODevice* input, FileIdentity& identity) {
    if (listFile == QLatin1String("-")) {
        QFile stdinFile;
        if (!input) {
            if (!stdinFile.open(stdin, QIODevice::ReadOnly))
                throw RuntimeError(errPathFileAccess, RuntimeError::standardText(errPathFileAccess),
                                   QStringLiteral("standard input"));
            input = &stdinFile;
            identity = identityOf(STDIN_FILENO);
        }
        return parseList(input->readAll(), QString(), QStringLiteral("standard input"));
    }
    // Blocking is right here: a list may be a pipe, as with --from <(find ...).
    const int fd = ::open(nativePath(listFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw RuntimeError::withFile(
            errno == ENOENT || errno == ENOTDIR ? errFileNotFound : errPathFileAccess, listFile);
    QFile file;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw RuntimeError::withFile(errPathFileAccess, listFile);
    }
    identity = identityOf(st);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError::withFile(errPathFileAccess, listFile);
    return parseList(bytes, listFile.left(listFile.lastIndexOf(QLatin1Char('/')) + 1), listFile);
}

// "photo k of n, X MB written" on one line of a terminal, rewritten in place, once the run has
// taken about a second; quick runs show nothing.
class TerminalProgress : public BuildProgress {
public:
    TerminalProgress(QTextStream& err, std::function<qint64()> elapsedMs,
                     std::function<qint64()> bytesWritten)
        : err_(err), elapsedMs_(std::move(elapsedMs)), bytesWritten_(std::move(bytesWritten)) {}

    void photo(int index, int count) override {
        const qint64 now = elapsedMs_();
        if (now < kQuietMs || (width_ > 0 && now - drawnAt_ < kRedrawMs))
            return;
        drawnAt_ = now;
        const qint64 bytes = bytesWritten_ ? bytesWritten_() : 0;
        draw(QStringLiteral("photo %1 of %2, %3 MB written")
                 .arg(index + 1)
                 .arg(count)
                 .arg(bytes / 1000000));
    }
    bool cancelRequested() override { return false; }
    // "writing the video, 45%" once the photos are placed.
    void writing(const QString& what, double done) {
        const qint64 now = elapsedMs_();
        if (now < kQuietMs || (width_ > 0 && now - drawnAt_ < kRedrawMs))
            return;
        drawnAt_ = now;
        draw(QStringLiteral("writing the %1, %2%").arg(what).arg(int(done * 100)));
    }

    // Leaves the terminal as it was before the first line.
    void clear() {
        if (width_ == 0)
            return;
        err_ << '\r' << QString(width_, QLatin1Char(' ')) << '\r';
        err_.flush();
        width_ = 0;
    }

private:
    static constexpr qint64 kQuietMs = 1000;
    static constexpr qint64 kRedrawMs = 100;

    void draw(const QString& line) {
        err_ << '\r' << line;
        if (line.size() < width_)
            err_ << QString(width_ - line.size(), QLatin1Char(' '));
        width_ = std::max(width_, line.size());
        err_.flush();
    }

    QTextStream& err_;
    std::function<qint64()> elapsedMs_;
    std::function<qint64()> bytesWritten_;
    qint64 drawnAt_ = 0;
    qsizetype width_ = 0;
};

// What --verbose says after a build: the file, its slides and its size.
QString written(const Request& request, const BatchServices& services) {
    const qsizetype slides = slidesFor(request.pictures.size(), request.album.build);
    qint64 size = services.bytesWritten ? services.bytesWritten() : 0;
    struct stat st;
    if (::stat(nativePath(request.output).constData(), &st) == 0 && S_ISREG(st.st_mode))
        size = st.st_size;
    const QString file = request.output == QLatin1String("-") ? QStringLiteral("standard output")
                                                              : printablePath(request.output);
    return QStringLiteral("wrote %1: %2 slide%3, %4")
        .arg(file)
        .arg(slides)
        .arg(slides == 1 ? QString() : QStringLiteral("s"))
        .arg(QLocale::c().formattedDataSize(size, 1, QLocale::DataSizeSIFormat));
}

// Refuses, before anything is built, an OUT that is a device, FIFO, folder and the like, or
// one of the pictures, the music or the list under any name: the save would replace it.
void checkOutput(const QString& output, const QStringList& pictures, const QStringList& music,
                 const FileIdentity& list) {
    struct stat out;
    if (::stat(nativePath(output).constData(), &out) != 0)
        return;
    const auto refuse = [&output](const char* why) {
        pptx::failSave(QStringLiteral("the output %1").arg(QLatin1String(why)), output);
    };
    if (!S_ISREG(out.st_mode))
        refuse("is not a regular file");
    if (list.known() && list.sameFile(identityOf(out)))
        refuse("is the list of pictures");
    for (const QString& picture : pictures) {
        struct stat st;
        if (::stat(nativePath(picture).constData(), &st) == 0 && st.st_dev == out.st_dev &&
            st.st_ino == out.st_ino)
            refuse("is one of the pictures");
    }
    for (const QString& file : music) {
        struct stat st;
        if (::stat(nativePath(file).constData(), &st) == 0 && st.st_dev == out.st_dev &&
            st.st_ino == out.st_ino)
            refuse("is one of the music files");
    }
}

// What makes a deck one that LibreOffice cannot open, though other applications do: 4 GiB or
// more, or more than 65,535 entries. Empty when nothing does.
QString beyondLibreOffice(qint64 bytes, qint64 entries) {
    constexpr qint64 kMaxBytes = 0xFFFFFFFF;
    constexpr qint64 kMaxEntries = 0xFFFF;
    QLocale locale = QLocale::c();
    locale.setNumberOptions({});
    QStringList past;
    if (bytes > kMaxBytes)
        past << QStringLiteral("is %1").arg(
            locale.formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat));
    if (entries > kMaxEntries)
        past << QStringLiteral("holds %1 zip entries").arg(locale.toString(entries));
    return past.join(QLatin1String(" and "));
}

// --keep-going: one line for each picture left out, naming it and why.
void leftOut(QTextStream& err, const RuntimeError& e) {
    err << kProgram << ": warning: left out: " << e.oneLine() << '\n';
    err.flush();
}

RuntimeError noPictureUsable() {
    return RuntimeError(errInvalidPicture, QStringLiteral("%1: no picture given could be used")
                                               .arg(RuntimeError::standardText(errInvalidPicture)));
}

// The pictures that can be measured, the others left out.
QStringList measurable(const QStringList& pictures, PictureLoader& loader, QTextStream& err) {
    QStringList kept;
    for (const QString& path : pictures) {
        try {
            loader.load(path);
            kept << path;
        } catch (const RuntimeError& e) {
            leftOut(err, e.file().isEmpty() ? RuntimeError(e.number(), e.text(), path) : e);
        }
    }
    if (kept.isEmpty())
        throw noPictureUsable();
    return kept;
}

// A name in a folder as the user would write it: "Party" and "Party/" both give "Party/a.jpg".
QString inFolder(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// What the command line or the list names, sorted out as the window's file list tells a
// picture: by its name.
struct Inputs {
    QStringList pictures;
    // Each picture's own caption, from its line or its folder's.
    QStringList captions;
    // In the order met.
    QStringList others;
    // Folders given, not those found in them.
    int folders = 0;
    // A folder that could not be read was left out (--keep-going).
    bool folderLeftOut = false;
};

// Folders by device and inode: a link back up the tree is not followed round and round.
using Visited = std::set<std::pair<dev_t, ino_t>>;

// The folder's pictures in the file list's order; with --recursive, then each subfolder's in
// turn, depth first.
void addFolder(const QString& folder, const QString& caption, const Request& request,
               Visited& visited, Inputs& inputs, QTextStream& err) {
    static const NamePattern pictures(kPicturePattern);
    FolderEntries entries;
    try {
        struct stat st;
        if (::stat(nativePath(folder).constData(), &st) != 0)
            throwFolderError(errno, folder);
        if (!visited.insert({st.st_dev, st.st_ino}).second)
            return;
        entries = scanFolder(folder);
    } catch (const RuntimeError& e) {
        if (!request.keepGoing)
            throw;
        leftOut(err, e);
        inputs.folderLeftOut = true;
        return;
    }
    sortNames(entries.files);
    for (const QString& name : entries.files) {
        if (!pictures.matches(name)) {
            inputs.others << inFolder(folder, name);
            continue;
        }
        inputs.pictures << inFolder(folder, name);
        inputs.captions << caption;
    }
    if (!request.recursive)
        return;
    sortNames(entries.folders);
    for (const QString& name : entries.folders)
        addFolder(inFolder(folder, name), caption, request, visited, inputs, err);
}

// A folder is told by the file system, a picture by its name, as the window tells them apart.
Inputs sortOut(const QStringList& given, const Request& request, QTextStream& err) {
    static const NamePattern pictures(kPicturePattern);
    Inputs inputs;
    for (qsizetype i = 0; i < given.size(); ++i) {
        const QString& path = given[i];
        const QString caption = request.captions.value(i);
        struct stat st;
        const bool found = ::stat(nativePath(path).constData(), &st) == 0;
        if (found && S_ISDIR(st.st_mode)) {
            ++inputs.folders;
            Visited visited;
            addFolder(path, caption, request, visited, inputs, err);
        } else if (!found || pictures.matches(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1))) {
            // What cannot be found goes on to be measured, which says why it cannot.
            inputs.pictures << path;
            inputs.captions << caption;
        } else {
            inputs.others << path;
        }
    }
    return inputs;
}

// Each picture's own settings for `pictures` as they are to be built (sorted, some left out):
// a path's captions in the order its lines gave them.
std::vector<PhotoSettings> ownSettings(const QStringList& pictures, const Inputs& inputs) {
    QHash<QString, QStringList> captions;
    for (qsizetype i = 0; i < inputs.pictures.size(); ++i)
        captions[inputs.pictures[i]] << inputs.captions.value(i);
    std::vector<PhotoSettings> settings;
    for (const QString& path : pictures) {
        QStringList& mine = captions[path];
        settings.push_back({mine.isEmpty() ? QString() : mine.takeFirst()});
    }
    return settings;
}

// One line for the files that are not pictures: their names without their folders, the first
// ten of them and how many more.
void notPictures(QTextStream& err, const QStringList& paths) {
    constexpr qsizetype kNamed = 10;
    QStringList names;
    for (const QString& path : paths.first(std::min(kNamed, paths.size())))
        names << printablePath(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    err << kProgram << ": warning: left out "
        << (paths.size() == 1 ? QStringLiteral("1 file that is not a picture")
                              : QStringLiteral("%1 files that are not pictures").arg(paths.size()))
        << ": " << names.join(QLatin1String(", "));
    if (paths.size() > kNamed)
        err << " and " << paths.size() - kNamed << " more";
    err << '\n';
    err.flush();
}

// Prints the message and the synopsis (not the whole help: the message must not scroll away).
int usageError(QTextStream& err, const QString& message) {
    err << kProgram << ": " << message << "\n\n"
        << batchUsage().section(QLatin1Char('\n'), 0, 1) << "\n\nRun '" << kProgram
        << " --help' for the options and the error numbers.\n";
    err.flush();
    return batchUsageError;
}

// The help's width, and where its options' texts begin after their two spaces.
constexpr qsizetype kHelpWidth = 80;
constexpr qsizetype kHelpColumn = 15;

// What is taken as a picture, from the format and name tables, wrapped to the help's width.
QString picturesParagraph() {
    QStringList names;
    for (int i = 0; i < int(PictureFormat::Count); ++i)
        names << QLatin1String(kPictureFormats[i].name);
    const QString last = names.takeLast();
    QString patterns = kPicturePattern;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString text =
        QStringLiteral("Pictures may be %1 or %2. A file is taken as a picture by its name, in "
                       "any case: %3; other files are left out, with one warning line that names "
                       "them. A FOLDER gives the pictures in it in its place, sorted by name as "
                       "the window's file list sorts them (IMG_2 before IMG_10), and not those of "
                       "its subfolders unless --recursive is given.")
            .arg(names.join(QLatin1String(", ")), last, patterns);
    return wrapped(text, kHelpWidth - 2).join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// One option of the help: its label, and its rows beside it from the column on, or under it
// where the label is wider.
QString helpRow(const QString& label, const QStringList& rows) {
    const QString indent(kHelpColumn + 2, QLatin1Char(' '));
    QString text = QStringLiteral("  ") + label;
    if (label.size() < kHelpColumn)
        text += QString(kHelpColumn - label.size(), QLatin1Char(' ')) + rows[0] + '\n';
    else
        text += QLatin1Char('\n') + indent + rows[0] + '\n';
    for (const QString& row : rows.mid(1))
        text += indent + row + '\n';
    return text;
}

// The album options' rows of the help, from their table.
QString albumHelp() {
    QString text;
    for (const AlbumOption& row : albumOptions()) {
        if (!row.onCommandLine)
            continue;
        QString label = QStringLiteral("--") + QLatin1String(row.name);
        if (row.argument)
            label += QLatin1Char(' ') + QLatin1String(row.argument);
        text += helpRow(label, row.helpRows());
    }
    return text;
}

// --ppi's rows, with the presets of the window's menu.
QString resolutionHelp() {
    QStringList presets;
    for (const ResolutionPreset& preset : resolutionPresets())
        if (preset.pixelsPerInch != 0)
            presets << QString::number(preset.pixelsPerInch) + QLatin1Char(' ') +
                           resolutionUse(preset);
    const QString sentence =
        QStringLiteral("resize pictures to N pixels per inch of their size on the slide (%1 to "
                       "%2; smaller ones are kept as they are): %3")
            .arg(kMinPixelsPerInch)
            .arg(kMaxPixelsPerInch)
            .arg(presets.join(QLatin1String(", ")));
    return helpRow(QStringLiteral("--ppi N"), wrapped(sentence, kHelpWidth - kHelpColumn - 2)) +
           helpRow(QStringLiteral("--ppi ") + QLatin1String(kOriginalResolution),
                   {QStringLiteral("store every picture as its file holds it, byte for byte")});
}

// The error numbers a build reports, with what each means.
QString errorHelp() {
    QString text;
    for (const ErrorNumberRow& row : errorNumbers())
        if (row.meaning)
            text += QStringLiteral("  %1%2: %3\n")
                        .arg(row.number, -5)
                        .arg(QLatin1String(row.text), QLatin1String(row.meaning));
    return text;
}

} // namespace

QString batchUsage() {
    return QStringLiteral(
               "Usage: slidemill-build [OPTION]... -o OUT PICTURE|FOLDER...\n"
               "       slidemill-build [OPTION]... -o OUT --from LIST\n"
               "\n"
               "Builds a presentation from the pictures, in their order, one photo per slide\n"
               "(two with --two, four with --four, filling the slide with --fit or --fill),\n"
               "and writes it to OUT: a presentation (.pptx), a slide show (.ppsx), a video\n"
               "(.mp4) or a PDF (.pdf). When a picture cannot be used, nothing is written and\n"
               "OUT stays as it was; with -o -, what was streamed before the error stays,\n"
               "ending unfinished.\n"
               "\n") +
           picturesParagraph() + QLatin1Char('\n') + albumHelp() +
           QStringLiteral(
               "  -o OUT.pptx    the presentation to write; - streams it to standard output;\n"
               "                 a name ending in .ppsx makes a slide show file, which\n"
               "                 presentation applications open straight into the show\n"
               "  -o OUT.mp4     the show as a video (H.264, with the music as AAC): each\n"
               "                 slide for its --advance (5 seconds without), moving on as\n"
               "                 --transition says in about a second, the music faded out\n"
               "                 over the last 2 seconds when it runs longer than the show\n"
               "  -o OUT.pdf     the slides as a PDF, a page a slide, the pictures at --ppi\n"
               "  --video-size WxH\n"
               "                 the video's frames (1280x720, say); by default\n"
               "                 1920x1080 for --wide slides, 1440x1080 for 4:3 ones\n"
               "  --from LIST    take the pictures from LIST, one path a line (- is standard\n"
               "                 input); a relative path in LIST is taken from LIST's folder,\n"
               "                 from the current folder for standard input; after a tab, a\n"
               "                 line may give its photo's own caption (PATH<TAB>caption)\n") +
           resolutionHelp() +
           QStringLiteral(
               "  --recursive    a FOLDER gives the pictures of its subfolders too, depth first,\n"
               "                 each folder's own before those of its subfolders; a folder\n"
               "                 met again through a link is read once\n"
               "  --keep-going   leave out a picture that cannot be used, or a folder that\n"
               "                 cannot be read, with a warning that names it, and build the\n"
               "                 rest (exit 0 when any is in the deck)\n"
               "  --quiet        show no progress\n"
               "  --verbose      say what was written: the file, its slides and its size\n"
               "  -h, --help     show this help\n"
               "  --version      show the version\n"
               "\n"
               "On a terminal, a build that takes more than about a second shows on standard\n"
               "error which photo of how many it is at and how many MB it has written.\n"
               "\n"
               "Examples:\n"
               "  slidemill-build -o holiday.pptx ~/Pictures/Holiday/*.jpg\n"
               "  slidemill-build --four --caption name --title 'Summer 2026' --wide \\\n"
               "      -o album.pptx --from list.txt\n"
               "  slidemill-build --fill --background black --caption date --sort date \\\n"
               "      --advance 5 --loop --transition fade -o party.ppsx ~/Pictures/Party\n"
               "  slidemill-build --wide --fit --music song.mp3 --advance fit --loop \\\n"
               "      -o tv.ppsx ~/Pictures/Holiday\n"
               "  slidemill-build --recursive --sort date -o year.pptx ~/Pictures/2026\n"
               "  slidemill-build --wide --fit --advance 5 --transition fade \\\n"
               "      --music song.mp3 -o holiday.mp4 ~/Pictures/Holiday\n"
               "\n"
               "Exit status: 0 done, 1 a run-time error, 2 a usage error, such as no pictures\n"
               "given. A run-time error is reported as \"Run-time error 'N': text (file)\", N\n"
               "being one of:\n") +
           errorHelp();
}

int runBatch(const QStringList& args, QTextStream& out, QTextStream& err,
             const BatchServices& services) {
    QElapsedTimer started;
    started.start();
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
        if (request.output == QLatin1String("-") && services.standardOutputIsTerminal)
            throw UsageError{QStringLiteral("will not write a presentation to a terminal; "
                                            "redirect standard output")};
    } catch (const UsageError& e) {
        return usageError(err, e.message);
    }

    TerminalProgress progress(
        err, services.elapsedMs ? services.elapsedMs : [&started] { return started.elapsed(); },
        services.bytesWritten);
    const bool showProgress = services.errIsTerminal && !request.quiet;
    try {
        FileIdentity list;
        if (!request.listFile.isEmpty()) {
            ListLines lines = readList(request.listFile, services.input, list);
            request.pictures = std::move(lines.paths);
            request.captions = std::move(lines.captions);
        }
        const Inputs inputs = sortOut(request.pictures, request, err);
        if (!inputs.others.isEmpty())
            notPictures(err, inputs.others);
        if (inputs.pictures.isEmpty()) {
            if (inputs.folderLeftOut)
                throw noPictureUsable();
            QString none;
            if (!request.listFile.isEmpty())
                none = QStringLiteral(": %1 names none")
                           .arg(request.listFile == QLatin1String("-")
                                    ? QStringLiteral("standard input")
                                    : printablePath(request.listFile));
            else if (request.pictures.size() == 1 && inputs.folders == 1)
                none = QStringLiteral(": %1 holds none").arg(printablePath(request.pictures[0]));
            return usageError(err, QStringLiteral("no pictures given") + none);
        }
        request.pictures = inputs.pictures;
        // The photo list of the window holds no more; a build would stop on the count.
        constexpr int kMaxPictures = std::numeric_limits<std::int16_t>::max();
        if (request.pictures.size() > kMaxPictures) {
            err << kProgram << ": " << request.pictures.size()
                << " pictures given; a presentation takes at most " << kMaxPictures << '\n';
            err.flush();
            return batchUsageError;
        }
        PptxHostOptions options;
        options.outputPath = request.output;
        if (request.output == QLatin1String("-")) {
            options.outputPath = QStringLiteral("standard output");
            options.outputDescriptor = STDOUT_FILENO;
        } else {
            checkOutput(request.output, request.pictures, request.album.build.music, list);
        }
        options.keepOnFailure = false; // OUT stays as it was when the build fails
        options.opener = nullptr;
        options.pixelsPerInch = request.pixelsPerInch;
        options.videoSize = request.videoSize;
        if (request.keepGoing)
            request.pictures = measurable(request.pictures, *services.loader, err);
        request.pictures = sortedPhotos(request.pictures, request.album.sort, *services.loader);
        for (;;) {
            try {
                const std::shared_ptr<PresentationHost> host = services.makeHost(options);
                if (auto* rendering = dynamic_cast<RenderingHost*>(host.get());
                    rendering && showProgress) {
                    const QString what = deckKindOf(request.output) == DeckKind::Video
                                             ? QStringLiteral("video")
                                             : QStringLiteral("PDF");
                    rendering->setProgress([&progress, what](double done) {
                        progress.writing(what, done);
                        return true;
                    });
                }
                request.album.build.photos = ownSettings(request.pictures, inputs);
                buildSlides(request.pictures, request.album.build, *services.loader, *host,
                            showProgress ? &progress : nullptr);
                break;
            } catch (const RuntimeError& e) {
                // A stream cannot be taken back; a deck written to a file is built again
                // without the picture that failed.
                if (!request.keepGoing || options.outputDescriptor >= 0 ||
                    !request.pictures.contains(e.file()))
                    throw;
                progress.clear();
                leftOut(err, e);
                request.pictures.removeAll(e.file());
                if (request.pictures.isEmpty())
                    throw noPictureUsable();
            }
        }
    } catch (...) {
        // Whatever was thrown (an allocation that failed too) ends the run as an error does.
        const RuntimeError e = RuntimeError::from(std::current_exception());
        progress.clear();
        err << kProgram << ": " << e.oneLine() << '\n';
        err.flush();
        return batchRuntimeError;
    }
    progress.clear();
    if (request.verbose)
        err << kProgram << ": " << written(request, services) << '\n';
    const QString beyond =
        beyondLibreOffice(services.bytesWritten ? services.bytesWritten() : 0,
                          services.entriesWritten ? services.entriesWritten() : 0);
    if (!beyond.isEmpty())
        err << kProgram << ": warning: "
            << (request.output == QLatin1String("-") ? QStringLiteral("the presentation")
                                                     : printablePath(request.output))
            << ' ' << beyond
            << "; LibreOffice opens no package of 4 GiB or more, nor one of more than 65,535 "
               "entries (about 21,840 photos)\n";
    err.flush();
    return batchOk;
}

} // namespace slidemill
