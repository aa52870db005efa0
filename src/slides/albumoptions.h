#pragma once

#include "slides/builds.h"

#include <QString>
#include <QStringList>
#include <span>

namespace slidemill {

// The order photos are built in.
enum class SortOrder { Given, Date, Name };

// Everything an album option can choose: what the build makes, and the order of the photos.
struct Album {
    BuildOptions build;
    SortOrder sort = SortOrder::Given;
    // Where the window saves its decks; empty: the documents folder.
    QString folder;
    bool operator==(const Album& other) const;
};

// One album option, as the batch tool's command line (--NAME) and the window's settings file
// ([album] KEY=VALUE) both name it. The command line, its help, the manual pages and the
// settings are all read from one table of these.
struct AlbumOption {
    // "caption": --caption on the command line.
    const char* name;
    // "KIND" for an option that takes a value; nullptr for a switch.
    const char* argument;
    // The settings key under [album]; nullptr where the window does not keep it (--two, --sort).
    const char* settingsKey;
    // What a settings file holds when the option is not chosen: "none", "false", "white".
    const char* defaultValue;
    // One line per row of the help, each at most 60 characters; '\n' between rows.
    const char* help;
    // Taken on the command line; the settings file's only otherwise ("layout", "folder").
    bool onCommandLine = true;
};

// The table, in the order --help lists it.
std::span<const AlbumOption> albumOptions();
// The row of an option, by its name or its settings key; null when there is none.
const AlbumOption* findAlbumOption(QStringView nameOrKey);

// Sets one option from its text. A switch on the command line comes as "true"; a settings
// file may say "true" or "false" for it. Returns why the value is refused, naming the option
// ("--background takes white, black or #RRGGBB, not 'blue'"), or an empty string when taken.
// `key` is a name or a settings key.
QString setAlbumOption(Album& album, QStringView key, const QString& value);

// The option's value as a settings file writes it ("date", "true", "#102030", "5"), by
// settings key; a null string when it is not set at all (a subtitle left to the dates).
QString albumSetting(const Album& album, QStringView key);

// Names two given options that cannot go together ("--fit and --two given together", in the
// order given), or one that needs another ("--subtitle needs --title"); empty when the set can
// be built. `given` holds the names of the options given, without dashes, in their order.
QString albumConflict(const QStringList& given);

// The options that differ from the defaults, as a person reads them, for the build buttons'
// tooltips: "16:9, captions: date, black, advance 5 s". Empty when none do.
QString albumSummary(const Album& album);

// The paths in the order `sort` asks. Date: the order the photos were taken, a photo that does
// not tell by its file's time, ties by name; a picture that cannot be measured goes last, in
// the order given. Name: natural order of the file names, "IMG_2" before "IMG_10". Given: as
// they are.
QStringList sortedPhotos(const QStringList& paths, SortOrder sort, PictureLoader& loader);

} // namespace slidemill
