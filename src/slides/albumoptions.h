#pragma once

#include "slides/builds.h"

#include <QString>
#include <QStringList>
#include <optional>
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
    // Every option alike; an unset subtitle (the dates) is not an empty one.
    bool operator==(const Album& other) const;
};

// What an option's value is, and so how it is read, written and shown.
enum class AlbumOptionKind {
    // On or off: given alone on the command line, "true" or "false" in a settings file.
    Switch,
    // One of its choices, by name.
    Choice,
    // Any text, a blank one only where a choice names it; the option's own code tells what
    // its choices' names stand for.
    Text,
    // One of its choices, or #RRGGBB.
    Colour,
    // A whole number from its least to its most, or one of its choices by name.
    Seconds,
    // A whole number of points from its least to its most, or not set at all (its choice
    // without a name, of a value below the least).
    Points,
    // A folder's path.
    Folder,
    // Files in an order, given one at a time (the option repeated); a settings file writes
    // them one a line.
    Files,
};

// A value an option names: a choice, a colour by name, a text the album dialog offers, a
// number of seconds the dialog words; on a switch, the dialog's words for off and on.
struct AlbumChoice {
    // As the command line and a settings file write it; nullptr: the option not set at all.
    const char* name;
    // As the album dialog offers it.
    const char* label;
    // What it stands for: an enumerator, 0xRRGGBB, seconds.
    int value = 0;
};

// An option's value in an album: a switch's 1 or 0, a choice's value, a colour, seconds; or a
// text, where nullopt is not set at all.
struct AlbumValue {
    int number = 0;
    std::optional<QString> text = std::nullopt;
    // Files.
    QStringList files = {};
    bool operator==(const AlbumValue& other) const = default;
};

// One album option, as the batch tool's command line (--NAME), the window's settings file
// ([album] KEY=VALUE) and the album dialog name it, and what it does to an album. The command
// line, its help, the manual pages, the settings, the dialog and the build buttons' tooltips
// are all made from one table of these.
struct AlbumOption {
    // "caption": --caption on the command line.
    const char* name;
    // "KIND" for an option that takes a value; nullptr for a switch.
    const char* argument = nullptr;
    // The settings key under [album]; nullptr where the window does not keep it (--two, --sort).
    const char* settingsKey = nullptr;
    // The help, wrapped to kHelpWidth; '\n' ends a row where the writer wants. %1 stands for
    // what the option takes ("one, two, four, fit or fill", "a whole number of points from 6
    // to 96"), or for Seconds its most.
    const char* help = nullptr;
    // Taken on the command line; the settings file's only otherwise ("layout", "folder").
    bool onCommandLine = true;
    // Said of one album (its title): kept in its deck, never in the settings file, whose
    // options are the defaults of new albums.
    bool perAlbum = false;

    AlbumOptionKind kind = AlbumOptionKind::Switch;
    // The values it names, in the order the help names them.
    std::span<const AlbumChoice> choices = {};
    // Seconds, Points: the range taken.
    int least = 0;
    int most = 0;

    // Options of one group exclude one another ("--fit and --two given together").
    const char* group = nullptr;
    // The option this one goes with only ("--subtitle needs --title").
    const char* needs = nullptr;

    // What the build buttons' tooltips say when the option differs from its default; %1 its
    // value ("advance %1 s"). nullptr: nothing.
    const char* summary = nullptr;
    // Said before the others: the slides' shape comes before what is on them.
    bool summaryFirst = false;

    // The album dialog's control for it, by object name; nullptr: not in the dialog.
    const char* control = nullptr;
    // Its label there; a check box's own text for a switch without choices.
    const char* label = nullptr;
    // The dialog's item for a value of one's own, after the choices: "This text:".
    const char* ownValue = nullptr;

    // The option's value in an album, and the album with it set.
    AlbumValue (*get)(const Album& album) = nullptr;
    void (*put)(Album& album, const AlbumValue& value) = nullptr;

    static constexpr qsizetype kHelpWidth = 54;

    // The help's rows, %1 filled in and wrapped.
    QStringList helpRows() const;
    // What it takes, as its help and refusals say it: "one, two, four, fit or fill".
    QString takes() const;
    // Sets the option from its text (a switch on the command line comes as "true"); returns
    // why the value is refused, naming the option, or an empty string when taken.
    QString set(Album& album, const QString& value) const;
    // As set, for a value given on the command line, where a blank text that says no more
    // than leaving the option out is refused ("--title is empty").
    QString give(Album& album, const QString& value) const;
    // The value as a settings file writes it; a null string when it is not set at all.
    QString setting(const Album& album) const;
    // What the tooltips say of it; empty at its default.
    QString summarise(const Album& album) const;
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

// The paths in the order `sort` asks. Date: the order the photos were taken, by header or
// name (a day alone before that day's times), a photo that tells neither by its file's time,
// ties by name; a picture that cannot be measured goes last, in the order given. Name: natural
// order of the file names, "IMG_2" before "IMG_10". Given: as they are.
QStringList sortedPhotos(const QStringList& paths, SortOrder sort, PictureLoader& loader);

} // namespace slidemill
