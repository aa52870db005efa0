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

// The window's arguments once Qt has taken its own: the photos to open, in the order given,
// relative ones taken from `currentFolder`, or the option it does not know.
struct WindowArguments {
    QStringList photos;
    QString unknownOption;
};
WindowArguments readWindowArguments(const QStringList& args, const QString& currentFolder);

} // namespace slidemill
