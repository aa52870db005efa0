#pragma once

#include <QString>

namespace slidemill {

// Every failure to save a deck is error 75, "Saving the presentation: <cause>", naming the
// file concerned: the output as the user named it, or the picture being stored.
[[noreturn]] void failSave(const QString& cause, const QString& file);
// The same with the system's text for an errno value as the cause.
[[noreturn]] void failSaveErrno(int error, const QString& file);
// A picture that cannot be read: error 75, "Path/File access error: cannot read the picture:
// <the system's text>", naming the picture. Not a failure to save, nor the picture's fault.
[[noreturn]] void failRead(int error, const QString& file);
// A picture that is no longer the file the build measured.
[[noreturn]] void pictureChanged(const QString& file);

QString errnoText(int error);

} // namespace slidemill
