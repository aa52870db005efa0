#include "slides/albumoptions.h"

#include "core/runtimeerror.h"
#include "core/words.h"
#include "slides/captions.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>

namespace slidemill {

namespace {

// An album's field, of its build or its own.
template <auto Field> decltype(auto) fieldOf(auto& album) {
    if constexpr (requires { album.*Field; })
        return (album.*Field);
    else
        return (album.build.*Field);
}

// A field whose value is a number as it stands: a flag, an enumeration, a colour, seconds.
template <auto Field> AlbumValue numberOf(const Album& album) {
    return {int(fieldOf<Field>(album))};
}
template <auto Field> void setNumber(Album& album, const AlbumValue& value) {
    auto& field = fieldOf<Field>(album);
    field = std::remove_reference_t<decltype(field)>(value.number);
}

// A switch for one value of a field (--four: the layout four a slide). Turned off, it leaves
// the field at its default, and another value as it is.
template <auto Field, auto Value> AlbumValue isValue(const Album& album) {
    return {fieldOf<Field>(album) == Value};
}
template <auto Field, auto Value> void setValue(Album& album, const AlbumValue& on) {
    auto& field = fieldOf<Field>(album);
    const Album defaults;
    if (on.number)
        field = Value;
    else if (field == Value)
        field = fieldOf<Field>(defaults);
}

template <auto Field> AlbumValue textOf(const Album& album) {
    return {0, fieldOf<Field>(album)};
}
template <auto Field> void setText(Album& album, const AlbumValue& value) {
    fieldOf<Field>(album) = *value.text;
}

const AlbumChoice* named(std::span<const AlbumChoice> choices, const QString& name) {
    for (const AlbumChoice& choice : choices)
        if (choice.name && name == QLatin1String(choice.name))
            return &choice;
    return nullptr;
}

const AlbumChoice* valued(std::span<const AlbumChoice> choices, int value) {
    for (const AlbumChoice& choice : choices)
        if (choice.name && choice.value == value)
            return &choice;
    return nullptr;
}

constexpr AlbumChoice kLayouts[] = {
    {"one", "One photo a slide", int(Layout::OnePerSlide)},
    {"two", "Two photos a slide", int(Layout::TwoPerSlide)},
    {"four", "Four photos a slide", int(Layout::FourPerSlide)},
    {"fit", "One photo a slide, whole and as large as it fits", int(Layout::Fit)},
    {"fill", "One photo a slide, filling it", int(Layout::Fill)},
};
constexpr AlbumChoice kCaptions[] = {
    {"name", "File name", int(Caption::Name)},
    {"date", "Date taken", int(Caption::Date)},
    {"none", "None", int(Caption::None)},
};
// A blank title is none.
constexpr AlbumChoice kTitles[] = {{"", "No title slide"}};
constexpr AlbumChoice kSubtitles[] = {{nullptr, "The days the photos were taken"}, {"", "None"}};
constexpr AlbumChoice kSlideSizes[] = {{"false", "4:3 (720 x 540 points)", 0},
                                       {"true", "16:9 (960 x 540 points)", 1}};
constexpr AlbumChoice kBackgrounds[] = {{"white", "White", 0xFFFFFF}, {"black", "Black", 0x000000}};
// Below the least, so no number of seconds stands for it.
constexpr int kAdvanceFit = -1;
constexpr AlbumChoice kAdvances[] = {{"0", "On a click", 0},
                                     {"fit", "Fit to the music", kAdvanceFit}};
constexpr AlbumChoice kCaptionSizes[] = {{nullptr, "By layout", 0}};
constexpr AlbumChoice kTransitions[] = {
    {"none", "None", int(Transition::None)},
    {"fade", "Fade", int(Transition::Fade)},
    {"push", "Push", int(Transition::Push)},
    {"wipe", "Wipe", int(Transition::Wipe)},
};
constexpr AlbumChoice kSorts[] = {{"date", nullptr, int(SortOrder::Date)},
                                  {"name", nullptr, int(SortOrder::Name)}};

// A caption's value is its setting's text, with the kind of caption it makes: a text that
// names a choice is that choice. The Description box is the switch's, no caption.
AlbumValue captionOf(const Album& album) {
    const BuildOptions& b = album.build;
    if (b.caption == Caption::Text)
        return {int(Caption::Text), b.captionText};
    const Caption shown = b.caption == Caption::Description ? Caption::None : b.caption;
    return {int(shown), QLatin1String(valued(kCaptions, int(shown))->name)};
}
void setCaption(Album& album, const AlbumValue& value) {
    const AlbumChoice* choice = named(kCaptions, *value.text);
    album.build.caption = choice ? Caption(choice->value) : Caption::Text;
    album.build.captionText = choice ? QString() : *value.text;
}

// Whole seconds, or the music's length shared out.
AlbumValue advanceOf(const Album& album) {
    const BuildOptions& b = album.build;
    return {b.advanceFit ? kAdvanceFit : int(b.advanceMs / 1000)};
}
void setAdvance(Album& album, const AlbumValue& value) {
    album.build.advanceFit = value.number == kAdvanceFit;
    album.build.advanceMs = album.build.advanceFit ? 0 : std::int64_t(value.number) * 1000;
}

AlbumValue musicOf(const Album& album) {
    return {0, std::nullopt, album.build.music};
}
void setMusic(Album& album, const AlbumValue& value) {
    album.build.music = value.files;
}

void setTitle(Album& album, const AlbumValue& value) {
    album.build.title = value.text->trimmed().isEmpty() ? QString() : *value.text;
}

using enum AlbumOptionKind;

// The rows --help lists, in its order. A row with no settings key is the command line's only;
// "layout" and "folder" are the settings file's only (the command line has --two ... --fill
// and -o for them).
constexpr std::array kOptions{
    AlbumOption{.name = "two",
                .help = "two photos side by side on each slide",
                .group = "layout",
                .get = isValue<&BuildOptions::layout, Layout::TwoPerSlide>,
                .put = setValue<&BuildOptions::layout, Layout::TwoPerSlide>},
    AlbumOption{.name = "four",
                .help = "four photos on each slide, two rows of two",
                .group = "layout",
                .get = isValue<&BuildOptions::layout, Layout::FourPerSlide>,
                .put = setValue<&BuildOptions::layout, Layout::FourPerSlide>},
    AlbumOption{.name = "fit",
                .help = "one photo a slide, whole and as large as the slide\n"
                        "allows, centred",
                .group = "layout",
                .get = isValue<&BuildOptions::layout, Layout::Fit>,
                .put = setValue<&BuildOptions::layout, Layout::Fit>},
    AlbumOption{.name = "fill",
                .help = "one photo a slide covering the whole slide, cropped\n"
                        "to its proportions; the whole photo stays in the\n"
                        "file, so the crop can be moved afterwards",
                .group = "layout",
                .get = isValue<&BuildOptions::layout, Layout::Fill>,
                .put = setValue<&BuildOptions::layout, Layout::Fill>},
    AlbumOption{.name = "layout",
                .argument = "KIND",
                .settingsKey = "layout",
                .help = "%1: the layout of the album\n"
                        "dialog's own build button",
                .onCommandLine = false,
                .kind = Choice,
                .choices = kLayouts,
                .summary = "%1 a slide",
                .summaryFirst = true,
                .control = "layout",
                .label = "&Layout:",
                .get = numberOf<&BuildOptions::layout>,
                .put = setNumber<&BuildOptions::layout>},
    AlbumOption{.name = "description",
                .help = "a \"Description\" box under every photo, to be\n"
                        "overwritten",
                .group = "caption",
                .get = isValue<&BuildOptions::caption, Caption::Description>,
                .put = setValue<&BuildOptions::caption, Caption::Description>},
    AlbumOption{.name = "caption",
                .argument = "KIND",
                .settingsKey = "caption",
                .help = "a caption centred under every photo: its file name\n"
                        "(name), the date it was taken (date: from its EXIF\n"
                        "or HEIF data, else from its name, as phones write\n"
                        "IMG_20250712_101502, else the file's time), none,\n"
                        "or any other KIND as it is",
                .kind = Text,
                .choices = kCaptions,
                .group = "caption",
                .summary = "captions: %1",
                .control = "caption",
                .label = "&Captions:",
                .ownValue = "This text:",
                .get = captionOf,
                .put = setCaption},
    AlbumOption{.name = "caption-size",
                .argument = "POINTS",
                .settingsKey = "caption-size",
                .help = "the captions' size, %1; without it, as a 1080p TV "
                        "is read from three metres: 20 with one photo a slide, fit "
                        "and fill, 16 with two, 14 with four (the Description box "
                        "keeps 12)",
                .kind = Points,
                .choices = kCaptionSizes,
                .least = kMinCaptionSize,
                .most = kMaxCaptionSize,
                .summary = "captions %1 pt",
                .control = "captionSize",
                .label = "Caption s&ize:",
                .get = numberOf<&BuildOptions::captionSize>,
                .put = setNumber<&BuildOptions::captionSize>},
    AlbumOption{.name = "title",
                .argument = "TEXT",
                .settingsKey = "title",
                .help = "a first slide with this title",
                .perAlbum = true,
                .kind = Text,
                .choices = kTitles,
                .summary = "title slide",
                .control = "title",
                .label = "&Title slide:",
                .get = textOf<&BuildOptions::title>,
                .put = setTitle},
    AlbumOption{.name = "subtitle",
                .argument = "TEXT",
                .settingsKey = "subtitle",
                .help = "the title slide's subtitle; without it, the days\n"
                        "the photos were taken, where they tell (\"12 - 19\n"
                        "July 2026\")",
                .perAlbum = true,
                .kind = Text,
                .choices = kSubtitles,
                .needs = "title",
                .control = "subtitle",
                .label = "&Subtitle:",
                .ownValue = "This text:",
                .get = textOf<&BuildOptions::subtitle>,
                .put = setText<&BuildOptions::subtitle>},
    AlbumOption{.name = "wide",
                .settingsKey = "wide",
                .help = "16:9 slides, 960 x 540 points, instead of 720 x 540",
                .choices = kSlideSizes,
                .summary = "16:9",
                .summaryFirst = true,
                .control = "slideSize",
                .label = "Slide si&ze:",
                .get = numberOf<&BuildOptions::wide>,
                .put = setNumber<&BuildOptions::wide>},
    AlbumOption{.name = "background",
                .argument = "COLOUR",
                .settingsKey = "background",
                .help = "every slide's background: %1;\n"
                        "text takes white on a dark one, black on a light one",
                .kind = Colour,
                .choices = kBackgrounds,
                .summary = "%1",
                .control = "background",
                .label = "&Background:",
                .ownValue = "Other colour...",
                .get = numberOf<&BuildOptions::background>,
                .put = setNumber<&BuildOptions::background>},
    AlbumOption{.name = "grey",
                .settingsKey = "grey",
                .help = "every photo shown in greys, by an effect the\n"
                        "presentation application can turn off",
                .summary = "greys",
                .control = "grey",
                .label = "All pictures in &greys",
                .get = numberOf<&BuildOptions::grey>,
                .put = setNumber<&BuildOptions::grey>},
    AlbumOption{.name = "advance",
                .argument = "SECONDS",
                .settingsKey = "advance",
                .help = "the show moves on after SECONDS on each slide (1 to\n"
                        "%1; 0: on a click only; fit: the music's whole\n"
                        "length shared out evenly over the slides, the title\n"
                        "slide too, to the millisecond); a click still moves on",
                .kind = Seconds,
                .choices = kAdvances,
                .least = 0,
                .most = 3600,
                .summary = "advance %1 s",
                .control = "advance",
                .label = "&Advance after:",
                .get = advanceOf,
                .put = setAdvance},
    AlbumOption{.name = "music",
                .argument = "FILE",
                .settingsKey = "music",
                .help = "music played from the first slide on, across every\n"
                        "slide: an MP3, M4A (AAC) or WAV file; given again,\n"
                        "the files play one after another; it starts again\n"
                        "when the show loops and stops when the show ends",
                .perAlbum = true,
                .kind = Files,
                .summary = "music",
                .control = "music",
                .label = "&Music:",
                .get = musicOf,
                .put = setMusic},
    AlbumOption{.name = "loop",
                .settingsKey = "loop",
                .help = "the show starts again after its last slide, until Esc",
                .summary = "loop",
                .control = "loop",
                .label = "&Loop until Esc",
                .get = numberOf<&BuildOptions::loop>,
                .put = setNumber<&BuildOptions::loop>},
    AlbumOption{.name = "transition",
                .argument = "KIND",
                .settingsKey = "transition",
                .help = "how the show goes from slide to slide: %1",
                .kind = Choice,
                .choices = kTransitions,
                .summary = "%1",
                .control = "transition",
                .label = "Tra&nsition:",
                .get = numberOf<&BuildOptions::transition>,
                .put = setNumber<&BuildOptions::transition>},
    AlbumOption{.name = "sort",
                .argument = "ORDER",
                .help = "the photos in the order they were taken (date: EXIF\n"
                        "and HEIF dates, else dates in the names, else the\n"
                        "files' times; ties by name), or by name in natural\n"
                        "order (name: IMG_2 before IMG_10); without it, in\n"
                        "the order given",
                .kind = Choice,
                .choices = kSorts,
                .get = numberOf<&Album::sort>,
                .put = setNumber<&Album::sort>},
    AlbumOption{.name = "folder",
                .argument = "PATH",
                .settingsKey = "folder",
                .help = "the folder the window saves its decks in; empty: the\n"
                        "documents folder; ~/PATH and a relative PATH are in\n"
                        "the home folder",
                .onCommandLine = false,
                .kind = Folder,
                .control = "folder",
                .label = "&Folder:",
                .get = textOf<&Album::folder>,
                .put = setText<&Album::folder>},
};

// "a, b or c".
QString oneOf(QStringList words) {
    const QString last = words.takeLast();
    return words.isEmpty() ? last : words.join(QLatin1String(", ")) + QStringLiteral(" or ") + last;
}

QStringList names(std::span<const AlbumChoice> choices) {
    QStringList words;
    for (const AlbumChoice& choice : choices)
        if (choice.name && *choice.name)
            words << QLatin1String(choice.name);
    return words;
}

QString hexColour(int rgb) {
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
}

// The value a text stands for in the row; nullopt when the row does not take it.
std::optional<AlbumValue> parse(const AlbumOption& row, const QString& value) {
    switch (row.kind) {
    case Switch:
        if (value == QLatin1String("true") || value == QLatin1String("false"))
            return AlbumValue{value == QLatin1String("true")};
        return std::nullopt;
    case Choice:
        if (const AlbumChoice* choice = named(row.choices, value))
            return AlbumValue{choice->value};
        return std::nullopt;
    case Text:
        // A blank text is taken where the row names it.
        if (value.trimmed().isEmpty() &&
            std::ranges::none_of(row.choices,
                                 [](const AlbumChoice& c) { return c.name && !*c.name; }))
            return std::nullopt;
        return AlbumValue{0, value};
    case Colour: {
        if (const AlbumChoice* choice = named(row.choices, value))
            return AlbumValue{choice->value};
        static const QRegularExpression hex(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
        if (hex.match(value).hasMatch())
            return AlbumValue{int(value.mid(1).toUInt(nullptr, 16))};
        return std::nullopt;
    }
    case Seconds:
    case Points: {
        if (const AlbumChoice* choice = named(row.choices, value))
            return AlbumValue{choice->value};
        const std::optional<int> n = wholeNumber(value, QString::number(row.most).size());
        if (n && *n >= row.least && *n <= row.most)
            return AlbumValue{*n};
        return std::nullopt;
    }
    case Folder:
        return AlbumValue{0, value};
    case Files:
        if (value.isEmpty())
            return std::nullopt;
        return AlbumValue{0, std::nullopt, value.split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
    }
    return std::nullopt;
}

// A choice of a Seconds row that no number stands for ("fit").
const AlbumChoice* namedOnly(const AlbumOption& row, int value) {
    const AlbumChoice* choice = valued(row.choices, value);
    return choice && (value < row.least || value > row.most) ? choice : nullptr;
}

} // namespace

QStringList AlbumOption::helpRows() const {
    QString text = QString::fromUtf8(help);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(kind == Seconds ? QString::number(most) : takes());
    return wrapped(text, kHelpWidth);
}

QString AlbumOption::takes() const {
    switch (kind) {
    case Switch:
        return QStringLiteral("true or false");
    case Choice:
        return oneOf(names(choices));
    case Text:
        return oneOf(names(choices) << QStringLiteral("a text"));
    case Colour:
        return oneOf(names(choices) << QStringLiteral("#RRGGBB"));
    case Seconds: {
        QStringList words{
            QStringLiteral("a whole number of seconds from %1 to %2").arg(least).arg(most)};
        for (const AlbumChoice& choice : choices)
            if (namedOnly(*this, choice.value))
                words << QLatin1String(choice.name);
        return oneOf(words);
    }
    case Points:
        return QStringLiteral("a whole number of points from %1 to %2").arg(least).arg(most);
    case Folder:
        return QStringLiteral("a folder");
    case Files:
        return QStringLiteral("a file");
    }
    return {};
}

QString AlbumOption::set(Album& album, const QString& value) const {
    const std::optional<AlbumValue> parsed = parse(*this, value);
    if (!parsed)
        return kind == Text ? QStringLiteral("--%1 needs %2").arg(QLatin1String(name), takes())
                            : QStringLiteral("--%1 takes %2, not '%3'")
                                  .arg(QLatin1String(name), takes(), value);
    put(album, *parsed);
    return {};
}

QString AlbumOption::give(Album& album, const QString& value) const {
    if (const QString refused = set(album, value); !refused.isEmpty())
        return refused;
    if (kind == Text && value.trimmed().isEmpty() && get(album) == get(Album()))
        return QStringLiteral("--%1 is empty").arg(QLatin1String(name));
    return {};
}

QString AlbumOption::setting(const Album& album) const {
    const AlbumValue value = get(album);
    const AlbumChoice* choice = valued(choices, value.number);
    switch (kind) {
    case Switch:
        return value.number ? QStringLiteral("true") : QStringLiteral("false");
    case Choice:
        return choice ? QString::fromLatin1(choice->name) : QString();
    case Colour:
        return choice ? QString::fromLatin1(choice->name) : hexColour(value.number);
    case Seconds:
        if (const AlbumChoice* named = namedOnly(*this, value.number))
            return QLatin1String(named->name);
        return QString::number(value.number);
    case Files:
        return value.files.join(QLatin1Char('\n'));
    case Points:
        return value.number < least ? QString() : QString::number(value.number);
    case Text:
    case Folder:
        if (!value.text)
            return {};
        return value.text->isNull() ? QStringLiteral("") : *value.text;
    }
    return {};
}

QString AlbumOption::summarise(const Album& album) const {
    if (!summary || get(album) == get(Album()))
        return {};
    // A value no number stands for says what it does ("fit to the music").
    if (kind == Seconds)
        if (const AlbumChoice* named = namedOnly(*this, get(album).number))
            return QString::fromUtf8(named->label).toLower();
    const QString text = QString::fromUtf8(summary);
    return text.contains(QLatin1String("%1")) ? text.arg(setting(album)) : text;
}

bool Album::operator==(const Album& other) const {
    return std::ranges::all_of(kOptions, [&](const AlbumOption& option) {
        return option.get(*this) == option.get(other);
    });
}

std::span<const AlbumOption> albumOptions() {
    return kOptions;
}

const AlbumOption* findAlbumOption(QStringView nameOrKey) {
    for (const AlbumOption& option : kOptions)
        if (nameOrKey == QLatin1String(option.name) ||
            (option.settingsKey && nameOrKey == QLatin1String(option.settingsKey)))
            return &option;
    return nullptr;
}

QString setAlbumOption(Album& album, QStringView key, const QString& value) {
    const AlbumOption* option = findAlbumOption(key);
    if (!option)
        return QStringLiteral("no album option is called '%1'").arg(key);
    return option->set(album, value);
}

QString albumSetting(const Album& album, QStringView key) {
    const AlbumOption* option = findAlbumOption(key);
    return option ? option->setting(album) : QString();
}

QString albumConflict(const QStringList& given) {
    // Each group names its first two given, in the order given.
    QStringList groups;
    for (const AlbumOption& option : kOptions) {
        if (!option.group || groups.contains(QLatin1String(option.group)))
            continue;
        groups << QLatin1String(option.group);
        QStringList chosen;
        for (const QString& name : given) {
            const AlbumOption* other = findAlbumOption(name);
            if (other && other->group && qstrcmp(other->group, option.group) == 0 &&
                !chosen.contains(name))
                chosen << name;
        }
        if (chosen.size() > 1)
            return QStringLiteral("--%1 and --%2 given together").arg(chosen[0], chosen[1]);
    }
    for (const QString& name : given) {
        const AlbumOption* option = findAlbumOption(name);
        if (option && option->needs && !given.contains(QLatin1String(option->needs)))
            return QStringLiteral("--%1 needs --%2").arg(name, QLatin1String(option->needs));
    }
    return {};
}

QString albumSummary(const Album& album) {
    QStringList parts;
    for (const bool first : {true, false})
        for (const AlbumOption& option : kOptions)
            if (option.summaryFirst == first)
                if (const QString part = option.summarise(album); !part.isEmpty())
                    parts << part;
    return parts.join(QLatin1String(", "));
}

namespace {

// A run of digits, or of anything else, from `at` on.
QStringView chunk(QStringView s, qsizetype at) {
    const bool digits = s[at].isDigit();
    qsizetype end = at;
    while (end < s.size() && s[end].isDigit() == digits)
        ++end;
    return s.mid(at, end - at);
}

// Natural order: runs of digits by their value, the rest without regard to case.
int naturalCompare(QStringView a, QStringView b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const QStringView x = chunk(a, i), y = chunk(b, j);
        int c = 0;
        if (x[0].isDigit() && y[0].isDigit()) {
            QStringView xs = x, ys = y;
            while (xs.size() > 1 && xs[0] == u'0')
                xs = xs.mid(1);
            while (ys.size() > 1 && ys[0] == u'0')
                ys = ys.mid(1);
            c = xs.size() != ys.size() ? (xs.size() < ys.size() ? -1 : 1) : xs.compare(ys);
        } else {
            c = x.compare(y, Qt::CaseInsensitive);
        }
        if (c != 0)
            return c;
        i += x.size();
        j += y.size();
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for case or leading zeros: still one order, the same every time.
    return a.compare(b);
}

QStringView fileName(const QString& path) {
    return QStringView(path).mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool byName(const QString& a, const QString& b) {
    const int c = naturalCompare(fileName(a), fileName(b));
    return c != 0 ? c < 0 : a < b;
}

} // namespace

QStringList sortedPhotos(const QStringList& paths, SortOrder sort, PictureLoader& loader) {
    QStringList sorted = paths;
    switch (sort) {
    case SortOrder::Given:
        break;
    case SortOrder::Name:
        std::stable_sort(sorted.begin(), sorted.end(), byName);
        break;
    case SortOrder::Date: {
        struct Entry {
            QString path;
            PhotoDate when; // invalid: cannot be measured, or tells no time
        };
        std::vector<Entry> entries;
        entries.reserve(std::size_t(paths.size()));
        for (const QString& path : paths) {
            PhotoDate when;
            try {
                when = photoDate(loader.load(path));
            } catch (const RuntimeError&) {
                // Left for the build to report; it goes last meanwhile.
            }
            entries.push_back({path, when});
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            if (a.when.isValid() != b.when.isValid())
                return a.when.isValid();
            if (!a.when.isValid())
                return false;
            // Compared as written: a camera's clock has no time zone.
            if (a.when.day != b.when.day)
                return a.when.day < b.when.day;
            // A day alone goes before that day's times: nothing tells when in the day it was.
            if (a.when.time.isValid() != b.when.time.isValid())
                return !a.when.time.isValid();
            return a.when.time != b.when.time ? a.when.time < b.when.time : byName(a.path, b.path);
        });
        for (std::size_t i = 0; i < entries.size(); ++i)
            sorted[qsizetype(i)] = entries[i].path;
        break;
    }
    }
    return sorted;
}

} // namespace slidemill
