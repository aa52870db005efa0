#pragma once

#include "slides/picture.h"
#include "slides/presentationhost.h"

#include <QStringList>

namespace slidemill {

// Told how a build goes, and asked whether to go on.
class BuildProgress {
public:
    virtual ~BuildProgress() = default;
    // Photo `index` (from 0) of `count` is about to be measured and placed.
    virtual void photo(int index, int count) = 0;
    // Asked after every slide: true stops the build there. The host is ended as Cancelled
    // and keeps the slides made so far as it does after a failure.
    virtual bool cancelRequested() = 0;
};

enum class BuildResult { Completed, Cancelled };

// One slide per photo. Paths are read first to last; description adds a "Description" box
// under every picture. The host is ended (and hands its presentation over) also when the
// build stops on an error, which is then rethrown.
BuildResult buildOneOne(const QStringList& paths, bool description, PictureLoader& loader,
                        PresentationHost& host, BuildProgress* progress = nullptr);

// Two photos side by side per slide; a last unpaired photo stands alone on the left.
BuildResult buildTwoOne(const QStringList& paths, bool description, PictureLoader& loader,
                        PresentationHost& host, BuildProgress* progress = nullptr);

// Either build, as the window and the batch tool choose one.
using BuildFunction = BuildResult (*)(const QStringList&, bool, PictureLoader&, PresentationHost&,
                                      BuildProgress*);

} // namespace slidemill
