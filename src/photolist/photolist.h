#pragma once

#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace slidemill {

// A photo path: the folder, "/", the name, joined as they stand. At the root this gives
// "//name", which the file system reads as "/name".
QString photoPath(const QString& folder, const QString& name);

// The horizontal extent for these entries: the widest text in pixels plus a margin of 10,
// rounded to the nearest integer, halves to even; 0 for none.
std::int32_t listExtent(const QStringList& texts, const QFontMetricsF& metrics);

} // namespace slidemill
