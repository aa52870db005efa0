#pragma once

#include "slides/recordeddeck.h"

#include <QSize>
#include <QString>
#include <functional>

namespace slidemill {

struct VideoOptions {
    // Empty: 1920 x 1080 for 16:9 slides, 1440 x 1080 for 4:3, 1080 high in the slides'
    // proportions otherwise. Odd sides are made even; other proportions than the slides' show
    // them whole between black bars.
    QSize size;
    int framesPerSecond = 30;
    // How much is written, 0 to 1; false cancels.
    std::function<bool(double done)> progress;
};

// The size a video of the deck is made at.
QSize videoSize(const RecordedDeck& deck, const VideoOptions& options);

// Writes the deck's show once through, as ShowTiming's defaults play it, as an MP4 (H.264, and
// AAC when there is music) to `path`, which is replaced only once the video is whole. A slide
// that does not change is one frame held until the next change. The music plays from the first
// slide on, one file after another, fading out over the last seconds when it lasts longer than
// the show. Returns false, having written nothing, when cancelled. Throws RuntimeError naming
// the file concerned when a picture or music file cannot be read or the video cannot be written.
bool writeVideo(const RecordedDeck& deck, const QString& path, const VideoOptions& options);

} // namespace slidemill
