#include "app/commandline.h"

#include "core/namepattern.h"

#include <QDir>

namespace slidemill {

QString windowUsage() {
    QString pattern = kPicturePattern;
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    return QStringLiteral(
               "Usage: slidemill [OPTION]... [PHOTO]...\n"
               "Opens the Slidemill window, with the PHOTOs in its photo list in the order "
               "given.\n"
               "\n"
               "A PHOTO is taken when the file list would show it, by its name, in any case:\n"
               "  %1\n"
               "Folders and other files are left out, and the window says how many.\n"
               "A relative PHOTO is taken from the current folder.\n"
               "\n"
               "Options:\n"
               "  --help     show this help and exit\n"
               "  --version  show the version and exit\n"
               "  --         what follows is a PHOTO, even when it starts with -\n"
               "\n"
               "Qt's standard options, such as -platform offscreen, are taken as well.\n")
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

WindowArguments readWindowArguments(const QStringList& args, const QString& currentFolder) {
    WindowArguments read;
    bool options = true;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (options && arg == QLatin1String("--")) {
            options = false;
        } else if (options && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            read.unknownOption = arg;
            return read;
        } else if (!arg.isEmpty()) {
            // "./a.jpg" shows in the list as the folder's a.jpg.
            read.photos << (arg.startsWith(QLatin1Char('/'))
                                ? arg
                                : QDir::cleanPath(currentFolder + QLatin1Char('/') + arg));
        }
    }
    return read;
}

} // namespace slidemill
