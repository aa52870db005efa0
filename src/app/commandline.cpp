#include "app/commandline.h"

#include "core/namepattern.h"

#include <QDir>

namespace slidemill {

QString windowUsage() {
    QString pattern = kPicturePattern;
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    return QStringLiteral(
               "Usage: slidemill [OPTION]... [PHOTO|FOLDER|DECK]...\n"
               "Opens the Slidemill window, with the PHOTOs in its photo list in the order "
               "given.\n"
               "A DECK (.pptx or .ppsx) opens in the album window as the album it was made\n"
               "from: its photos, their captions and turns, and its options.\n"
               "\n"
               "A PHOTO is taken when the file list would show it, by its name, in any case:\n"
               "  %1\n"
               "A folder gives its pictures (not its subfolders'), in the file list's order;\n"
               "other files are left out, and the window says how many.\n"
               "A relative PHOTO is taken from the current folder.\n"
               "\n"
               "Options:\n"
               "  --album    open the album window too\n"
               "  --help     show this help and exit\n"
               "  --version  show the version and exit\n"
               "  --         what follows is a PHOTO, even when it starts with -\n"
               "\n"
               "Qt's standard options, such as -platform offscreen or -style fusion, are taken\n"
               "as well, before --.\n")
        .arg(pattern);
}

std::optional<QString> informationAsked(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--"))
            break;
        if (args[i] == QLatin1String("--help"))
            return windowUsage();
        if (args[i] == QLatin1String("--version"))
            return QStringLiteral("slidemill " SLIDEMILL_VERSION "\n");
    }
    return std::nullopt;
}

namespace {

// The options QGuiApplication and QApplication take out of the arguments, with one dash or
// two; those that take a value take the next argument, or one after "=".
constexpr const char* kQtWithValue[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "name",          "style",
    "stylesheet",      "qmljsdebugger"};
constexpr const char* kQtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

enum class QtOption { None, Switch, WithValue, WithValueGiven };

QtOption qtOption(const QString& arg) {
    QStringView name(arg);
    name = name.mid(name.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    const QStringView bare = equals < 0 ? name : name.left(equals);
    for (const char* known : kQtWithValue) {
        if (bare == QLatin1String(known))
            return equals < 0 ? QtOption::WithValue : QtOption::WithValueGiven;
    }
    for (const char* known : kQtSwitches) {
        if (equals < 0 && bare == QLatin1String(known))
            return QtOption::Switch;
    }
    return QtOption::None;
}

} // namespace

WindowArguments readWindowArguments(const QStringList& args, const QString& currentFolder) {
    WindowArguments read;
    bool options = true;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (options && arg == QLatin1String("--")) {
            options = false;
        } else if (options && arg == QLatin1String("--album")) {
            read.album = true;
        } else if (options && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            switch (qtOption(arg)) {
            case QtOption::None:
                read.unknownOption = arg;
                return read;
            case QtOption::WithValue:
                if (i + 1 == args.size()) {
                    read.missingValue = arg;
                    return read;
                }
                read.qtOptions << arg << args[++i];
                break;
            case QtOption::Switch:
            case QtOption::WithValueGiven:
                read.qtOptions << arg;
                break;
            }
        } else if (!arg.isEmpty()) {
            // "./a.jpg" shows in the list as the folder's a.jpg.
            const QString path = arg.startsWith(QLatin1Char('/'))
                                     ? arg
                                     : QDir::cleanPath(currentFolder + QLatin1Char('/') + arg);
            const bool deck = path.endsWith(QLatin1String(".pptx"), Qt::CaseInsensitive) ||
                              path.endsWith(QLatin1String(".ppsx"), Qt::CaseInsensitive);
            (deck ? read.decks : read.photos) << path;
        }
    }
    return read;
}

} // namespace slidemill
