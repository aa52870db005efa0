#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace slidemill {

// File names are bytes. A path that is not valid UTF-8 still has to reach the file system
// unchanged, so every byte that is not part of a valid UTF-8 sequence is carried in the
// QString as the lone surrogate U+DC80 + (byte - 0x80), as Python's "surrogateescape" does.
// nativePath(pathFromNative(b)) == b for any bytes b.
QString pathFromNative(QByteArrayView bytes);
QByteArray nativePath(const QString& path);

// The path as a message shows it: on one line, whatever it holds. Control characters, line
// and paragraph separators and bidirectional overrides are written as \n, \t, \r, \xNN or
// \u{XXXX}; bytes that are not UTF-8 as \xNN.
QString printablePath(const QString& path);

} // namespace slidemill
