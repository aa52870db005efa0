#include "slides/albumoptions.h"

#include "core/runtimeerror.h"
#include "slides/captions.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>

namespace slidemill {

namespace {

constexpr int kMaxAdvanceSeconds = 3600;

// The rows --help lists, in its order. A row with no settings key is the command line's only;
// "layout" and "folder" are the settings file's only (the command line has --two ... --fill
// and -o for them).
constexpr std::array kOptions{
    AlbumOption{"two", nullptr, nullptr, nullptr, "two photos side by side on each slide"},
    AlbumOption{"four", nullptr, nullptr, nullptr, "four photos on each slide, two rows of two"},
    AlbumOption{"fit", nullptr, nullptr, nullptr,
                "one photo a slide, whole and as large as the slide\n"
                "allows, centred"},
    AlbumOption{"fill", nullptr, nullptr, nullptr,
                "one photo a slide covering the whole slide, cropped\n"
                "to its proportions; the whole photo stays in the\n"
                "file, so the crop can be moved afterwards"},
    AlbumOption{"layout", "KIND", "layout", "one",
                "one, two, four, fit or fill: the layout of the album\n"
                "dialog's own build button",
                false},
    AlbumOption{"description", nullptr, nullptr, nullptr,
                "a \"Description\" box under every photo, to be\n"
                "overwritten"},
    AlbumOption{"caption", "KIND", "caption", "none",
                "a caption centred under every photo: its file name\n"
                "(name), the date it was taken (date: from its EXIF\n"
                "or HEIF data, else the file's time), none, or any\n"
                "other KIND as it is"},
    AlbumOption{"title", "TEXT", "title", "", "a first slide with this title"},
    AlbumOption{"subtitle", "TEXT", "subtitle", nullptr,
                "the title slide's subtitle; without it, the days\n"
                "the photos were taken, where they tell (\"12 - 19\n"
                "July 2026\")"},
    AlbumOption{"wide", nullptr, "wide", "false",
                "16:9 slides, 960 x 540 points, instead of 720 x 540"},
    AlbumOption{"background", "COLOUR", "background", "white",
                "every slide's background: white, black or #RRGGBB;\n"
                "text takes white on a dark one, black on a light one"},
    AlbumOption{"grey", nullptr, "grey", "false",
                "every photo shown in greys, by an effect the\n"
                "presentation application can turn off"},
    AlbumOption{"advance", "SECONDS", "advance", "0",
                "the show moves on after SECONDS on each slide (1 to\n"
                "3600; 0: on a click only); a click still moves on"},
    AlbumOption{"loop", nullptr, "loop", "false",
                "the show starts again after its last slide, until Esc"},
    AlbumOption{"transition", "KIND", "transition", "none",
                "how the show goes from slide to slide: none, fade,\n"
                "push or wipe"},
    AlbumOption{"sort", "ORDER", nullptr, nullptr,
                "the photos in the order they were taken (date: EXIF\n"
                "and HEIF dates, else the file's time; ties by name),\n"
                "or by name in natural order (name: IMG_2 before\n"
                "IMG_10); without it, in the order given"},
    AlbumOption{"folder", "PATH", "folder", "",
                "the folder the window saves its decks in; empty: the\n"
                "documents folder; ~/PATH and a relative PATH are in\n"
                "the home folder",
                false},
};

// Layouts by their settings names, in the order of the enumeration.
constexpr std::array<const char*, 5> kLayoutNames{"one", "two", "four", "fit", "fill"};
constexpr std::array<const char*, 4> kTransitionNames{"none", "fade", "push", "wipe"};

QString refused(QStringView name, const char* expected, const QString& value) {
    return QStringLiteral("--%1 takes %2, not '%3'").arg(name, QLatin1String(expected), value);
}

// "true" or "false", as a switch is written in a settings file; a switch on the command line
// is always "true".
std::optional<bool> boolean(const QString& value) {
    if (value == QLatin1String("true"))
        return true;
    if (value == QLatin1String("false"))
        return false;
    return std::nullopt;
}

template <std::size_t N>
int indexOf(const std::array<const char*, N>& names, const QString& value) {
    for (std::size_t i = 0; i < N; ++i)
        if (value == QLatin1String(names[i]))
            return int(i);
    return -1;
}

std::optional<std::uint32_t> colour(const QString& value) {
    if (value == QLatin1String("white"))
        return 0xFFFFFF;
    if (value == QLatin1String("black"))
        return 0x000000;
    static const QRegularExpression hex(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    if (hex.match(value).hasMatch())
        return std::uint32_t(value.mid(1).toUInt(nullptr, 16));
    return std::nullopt;
}

QString colourName(std::uint32_t rgb) {
    if (rgb == 0xFFFFFF)
        return QStringLiteral("white");
    if (rgb == 0x000000)
        return QStringLiteral("black");
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
}

// Seconds as a whole number from 0 to the limit, digits only.
std::optional<int> seconds(const QString& value) {
    if (value.isEmpty() || value.size() > 4 ||
        !std::all_of(value.begin(), value.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int n = value.toInt();
    return n <= kMaxAdvanceSeconds ? std::optional<int>(n) : std::nullopt;
}

QString captionSetting(const BuildOptions& build) {
    switch (build.caption) {
    case Caption::None:
    case Caption::Description:
        break;
    case Caption::Name:
        return QStringLiteral("name");
    case Caption::Date:
        return QStringLiteral("date");
    case Caption::Text:
        return build.captionText;
    }
    return QStringLiteral("none");
}

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

bool Album::operator==(const Album& other) const {
    for (const AlbumOption& option : kOptions) {
        const QString key = QLatin1String(option.settingsKey);
        if (option.settingsKey && albumSetting(*this, key) != albumSetting(other, key))
            return false;
    }
    return sort == other.sort && build.caption == other.build.caption;
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
    const QString name = QLatin1String(option->name);
    BuildOptions& b = album.build;
    const auto layoutSwitch = [&](Layout layout) -> QString {
        const std::optional<bool> on = boolean(value);
        if (!on)
            return refused(name, "true or false", value);
        if (*on)
            b.layout = layout;
        else if (b.layout == layout)
            b.layout = Layout::OnePerSlide;
        return {};
    };
    const auto flag = [&](bool& field) -> QString {
        const std::optional<bool> on = boolean(value);
        if (!on)
            return refused(name, "true or false", value);
        field = *on;
        return {};
    };

    if (name == QLatin1String("two"))
        return layoutSwitch(Layout::TwoPerSlide);
    if (name == QLatin1String("four"))
        return layoutSwitch(Layout::FourPerSlide);
    if (name == QLatin1String("fit"))
        return layoutSwitch(Layout::Fit);
    if (name == QLatin1String("fill"))
        return layoutSwitch(Layout::Fill);
    if (name == QLatin1String("layout")) {
        const int i = indexOf(kLayoutNames, value);
        if (i < 0)
            return refused(name, "one, two, four, fit or fill", value);
        b.layout = Layout(i);
        return {};
    }
    if (name == QLatin1String("description")) {
        bool on = b.caption == Caption::Description;
        const QString error = flag(on);
        if (error.isEmpty())
            b.caption = on                                  ? Caption::Description
                        : b.caption == Caption::Description ? Caption::None
                                                            : b.caption;
        return error;
    }
    if (name == QLatin1String("caption")) {
        if (value.trimmed().isEmpty())
            return QStringLiteral("--caption needs name, date, none or a text");
        b.caption = value == QLatin1String("name")   ? Caption::Name
                    : value == QLatin1String("date") ? Caption::Date
                    : value == QLatin1String("none") ? Caption::None
                                                     : Caption::Text;
        b.captionText = b.caption == Caption::Text ? value : QString();
        return {};
    }
    if (name == QLatin1String("title")) {
        b.title = value.trimmed().isEmpty() ? QString() : value;
        return {};
    }
    if (name == QLatin1String("subtitle")) {
        b.subtitle = value;
        return {};
    }
    if (name == QLatin1String("wide"))
        return flag(b.wide);
    if (name == QLatin1String("background")) {
        const std::optional<std::uint32_t> rgb = colour(value);
        if (!rgb)
            return refused(name, "white, black or #RRGGBB", value);
        b.background = *rgb;
        return {};
    }
    if (name == QLatin1String("grey"))
        return flag(b.grey);
    if (name == QLatin1String("advance")) {
        const std::optional<int> s = seconds(value);
        if (!s)
            return refused(name, "a whole number of seconds from 0 to 3600", value);
        b.advanceSeconds = *s;
        return {};
    }
    if (name == QLatin1String("loop"))
        return flag(b.loop);
    if (name == QLatin1String("transition")) {
        const int i = indexOf(kTransitionNames, value);
        if (i < 0)
            return refused(name, "none, fade, push or wipe", value);
        b.transition = Transition(i);
        return {};
    }
    if (name == QLatin1String("sort")) {
        if (value == QLatin1String("date"))
            album.sort = SortOrder::Date;
        else if (value == QLatin1String("name"))
            album.sort = SortOrder::Name;
        else
            return refused(name, "date or name", value);
        return {};
    }
    if (name == QLatin1String("folder")) {
        album.folder = value;
        return {};
    }
    return QStringLiteral("--%1 cannot be set").arg(name);
}

QString albumSetting(const Album& album, QStringView key) {
    const BuildOptions& b = album.build;
    const auto text = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    if (key == QLatin1String("layout"))
        return QLatin1String(kLayoutNames[std::size_t(b.layout)]);
    if (key == QLatin1String("caption"))
        return captionSetting(b);
    if (key == QLatin1String("title"))
        return b.title.isNull() ? QStringLiteral("") : b.title;
    if (key == QLatin1String("subtitle"))
        return b.subtitle ? (b.subtitle->isNull() ? QStringLiteral("") : *b.subtitle) : QString();
    if (key == QLatin1String("wide"))
        return text(b.wide);
    if (key == QLatin1String("background"))
        return colourName(b.background);
    if (key == QLatin1String("grey"))
        return text(b.grey);
    if (key == QLatin1String("advance"))
        return QString::number(b.advanceSeconds);
    if (key == QLatin1String("loop"))
        return text(b.loop);
    if (key == QLatin1String("transition"))
        return QLatin1String(kTransitionNames[std::size_t(b.transition)]);
    if (key == QLatin1String("folder"))
        return album.folder.isNull() ? QStringLiteral("") : album.folder;
    return {};
}

QString albumConflict(const QStringList& given) {
    static const QStringList layouts{QStringLiteral("two"), QStringLiteral("four"),
                                     QStringLiteral("fit"), QStringLiteral("fill")};
    // Named in the order they were given.
    QStringList chosen;
    for (const QString& name : given)
        if (layouts.contains(name) && !chosen.contains(name))
            chosen << name;
    if (chosen.size() > 1)
        return QStringLiteral("--%1 and --%2 given together").arg(chosen[0], chosen[1]);
    const qsizetype caption = given.indexOf(QLatin1String("caption"));
    const qsizetype description = given.indexOf(QLatin1String("description"));
    if (caption >= 0 && description >= 0)
        return caption < description ? QStringLiteral("--caption and --description given together")
                                     : QStringLiteral("--description and --caption given together");
    if (given.contains(QLatin1String("subtitle")) && !given.contains(QLatin1String("title")))
        return QStringLiteral("--subtitle needs --title");
    return {};
}

QString albumSummary(const Album& album) {
    const BuildOptions& b = album.build;
    QStringList parts;
    if (b.layout != Layout::OnePerSlide)
        parts << QLatin1String(kLayoutNames[std::size_t(b.layout)]) + QStringLiteral(" a slide");
    if (b.wide)
        parts << QStringLiteral("16:9");
    if (b.caption != Caption::None && b.caption != Caption::Description)
        parts << QStringLiteral("captions: ") + captionSetting(b);
    if (!b.title.isEmpty())
        parts << QStringLiteral("title slide");
    if (b.background != BuildOptions::kWhite)
        parts << colourName(b.background);
    if (b.grey)
        parts << QStringLiteral("greys");
    if (b.advanceSeconds > 0)
        parts << QStringLiteral("advance %1 s").arg(b.advanceSeconds);
    if (b.loop)
        parts << QStringLiteral("loop");
    if (b.transition != Transition::None)
        parts << QLatin1String(kTransitionNames[std::size_t(b.transition)]);
    return parts.join(QLatin1String(", "));
}

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
            QDateTime when; // invalid: cannot be measured, or tells no time
        };
        std::vector<Entry> entries;
        entries.reserve(std::size_t(paths.size()));
        for (const QString& path : paths) {
            QDateTime when;
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
            const QDateTime x(a.when.date(), a.when.time()), y(b.when.date(), b.when.time());
            return x != y ? x < y : byName(a.path, b.path);
        });
        for (std::size_t i = 0; i < entries.size(); ++i)
            sorted[qsizetype(i)] = entries[i].path;
        break;
    }
    }
    return sorted;
}

} // namespace slidemill
