#pragma once

#include "core/namepattern.h"

#include <QString>
#include <QStringList>

namespace slidemill {

// What one folder holds, hidden names left out, in no particular order.
struct FolderEntries {
    QStringList files;
    QStringList folders;
};

// Reads the folder once. Throws RuntimeError naming the folder: 76 when it does not exist,
// 68 when its device does not answer (no medium, I/O error), 75 for anything else.
FolderEntries scanFolder(const QString& path);

// The process's working folder, byte for byte; "/" when it cannot be read (it was removed).
QString workingFolder();

// The error a failed directory call with this errno stands for, naming the path.
[[noreturn]] void throwFolderError(int err, const QString& path);

// Orders names as a file manager does: case-insensitive, runs of digits by their value;
// the same order in every locale.
void sortNames(QStringList& names);

} // namespace slidemill
