#pragma once

#include "host/pptx/deck.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace slidemill::pptx {

// ppt/slides/slideN.xml: the slide's pictures and text boxes in the order they were added.
// `mediaRelIds` gives, for each Deck::media index the slide shows, the id its
// relationships gave the picture.
QByteArray slideXml(const Slide& slide, const QHash<int, QString>& mediaRelIds);

} // namespace slidemill::pptx
