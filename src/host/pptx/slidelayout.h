#pragma once

#include "host/pptx/deck.h"

#include <QByteArray>
#include <vector>

namespace slidemill::pptx {

// ppt/slideLayouts/slideLayoutN.xml. The blank layout has nothing on it; the title layout has
// the placeholders of titleLayoutPlaceholders, on a slide of the deck's size.
QByteArray slideLayoutXml(Layout layout, const Deck& deck);

// The title layout's placeholders in their order (title, subtitle), each with its frame: where
// a presentation application puts them on a 720 x 540 slide, centred on any other size.
std::vector<Shape> titleLayoutPlaceholders(const Deck& deck);

} // namespace slidemill::pptx
