#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// docProps/core.xml. No dates: equal decks must be equal files.
QByteArray docPropsCoreXml();

} // namespace slidemill::pptx
