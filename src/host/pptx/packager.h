#pragma once

#include "host/pptx/deck.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace slidemill::pptx {

// One XML part of the package, in the order it is written.
struct XmlPart {
    QString name;
    QByteArray xml;
};

// Every XML part of `deck`, in package order (pictures are not among them).
std::vector<XmlPart> xmlParts(const Deck& deck);

// Writes `deck` as a .pptx package to `path`, replacing whatever is there. Picture bytes
// are read from their files while the package is written. Throws RuntimeError 75 naming
// the file that failed and the cause; nothing is left at `path` then.
void writePackage(const Deck& deck, const QString& path);

} // namespace slidemill::pptx
