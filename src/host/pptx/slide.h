#pragma once

#include "host/pptx/deck.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace slidemill::pptx {

// One music file as the first slide plays it: the ids its relationships gave the file, as the
// audio the standard names and as the media presentation applications store.
struct SlideSound {
    QString audioRelId;
    QString mediaRelId;
    QString name;
    std::int64_t durationMs = 0;
};

// The music played from a slide across the show.
struct SlideMusic {
    std::vector<SlideSound> sounds;
    // The picture each sound's shape shows while the deck is edited.
    QString iconRelId;
    // Of the whole show: the sound plays across as many.
    int slides = 1;
    // The show starts again after its last slide.
    bool loop = false;
};

// ppt/slides/slideN.xml: the slide's pictures and text boxes in the order they were added.
// `mediaRelIds` gives, for each Deck::media index the slide shows, the id its
// relationships gave the picture. With `music`, the slide starts it: a sound shape for each
// file beside the slide, hidden in the show, and the timing that plays them one after another.
QByteArray slideXml(const Slide& slide, const QHash<int, QString>& mediaRelIds,
                    const SlideMusic* music = nullptr);

} // namespace slidemill::pptx
