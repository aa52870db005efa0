#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace slidemill {

// What `slidemill --help` prints.
QString windowUsage();

// What --help or --version print when the arguments ask for either before "--"; none
// otherwise. Read from the raw arguments before the application object exists, so that they
// need no display.
std::optional<QString> informationAsked(const QStringList& args);

// The window's arguments, read before the application object exists so that a mistake is a
// usage error with or without a display: the photos to open, in the order given, relative
// ones taken from `currentFolder`; Qt's own options with their values, which alone go to the
// application object (nothing after "--" does); or what is wrong with them.
struct WindowArguments {
    QStringList photos;
    // Presentations given (.pptx, .ppsx), to open as albums; and --album, the album window.
    QStringList decks;
    bool album = false;
    QStringList qtOptions;
    QString unknownOption;
    // A Qt option given last, without the value it takes.
    QString missingValue;
};
WindowArguments readWindowArguments(const QStringList& args, const QString& currentFolder);

} // namespace slidemill
