#include "slides/builds.h"

#include "core/checked.h"
#include "core/runtimeerror.h"
#include "slides/placement.h"

#include <algorithm>

namespace slidemill {

namespace {

constexpr float kDescriptionSize = 12;

// Runs one build between the start and the end of the host's session. `picture` is the
// path being placed, so that an error about it names it. The body answers false when the
// user stopped it.
template <typename Body> BuildResult runBuild(PresentationHost& host, Body body) {
    QString picture;
    bool finished = false;
    try {
        host.createApplication();
        host.setVisible(kMsoTrue);
        host.addPresentation(kMsoTrue);
        finished = body(picture);
    } catch (const RuntimeError& e) {
        const RuntimeError error = e.file().isEmpty() && !picture.isEmpty()
                                       ? RuntimeError(e.number(), e.text(), picture)
                                       : e;
        std::optional<RuntimeError> earlier;
        try {
            earlier = host.endBuild(PresentationHost::Outcome::Failed);
        } catch (...) {
            // The build's error is the cause; a failure to hand over what was made
            // afterwards would hide which picture stopped the build.
        }
        // A picture stored behind the build that failed stopped it first.
        throw earlier ? *earlier : error;
    } catch (...) {
        try {
            host.endBuild(PresentationHost::Outcome::Failed);
        } catch (...) {
            // As above: the first failure is the one to report.
        }
        throw;
    }
    if (std::optional<RuntimeError> failed = host.endBuild(
            finished ? PresentationHost::Outcome::Completed : PresentationHost::Outcome::Cancelled))
        throw *failed;
    return finished ? BuildResult::Completed : BuildResult::Cancelled;
}

void report(BuildProgress* progress, int index, int count) {
    if (progress)
        progress->photo(index, count);
}

bool stopRequested(BuildProgress* progress) {
    return progress && progress->cancelRequested();
}

// The count is read anew before every append, so each slide goes after the last one.
void appendSlide(PresentationHost& host) {
    const std::int32_t n = host.slideCount();
    host.addSlide(add32(n, 1), kLayoutBlank);
}

void place(const Picture& picture, const SlotPlacement& at, bool description,
           PresentationHost& host) {
    const PhotoPlacement& p = at.picture;
    host.addPicture(picture, kMsoFalse, kMsoTrue, float(p.left), float(p.top), float(p.width),
                    float(p.height));
    host.setLineVisible(kMsoTrue);
    host.setLineWeight(kBorderWeight);
    host.releasePicture();
    if (!description)
        return;
    const TextboxFrame& box = at.description;
    host.addTextbox(kTextOrientationHorizontal, float(box.left), float(box.top), float(box.width),
                    float(box.height));
    host.textRange();
    host.setText(QStringLiteral("Description"));
    host.setFontSize(kDescriptionSize);
    host.releaseTextRange();
}

} // namespace

BuildResult buildOneOne(const QStringList& paths, bool description, PictureLoader& loader,
                        PresentationHost& host, BuildProgress* progress) {
    return runBuild(host, [&](QString& picture) {
        const std::int16_t last = sub16(narrow16(paths.size()), 1);
        for (std::int16_t i = 0; i <= last; ++i) {
            report(progress, i, last + 1);
            appendSlide(host);
            picture = paths[i];
            const Picture measured = loader.load(picture);
            place(measured, placeOneOne(measured), description, host);
            picture.clear();
            if (i < last && stopRequested(progress))
                return false;
        }
        return true;
    });
}

BuildResult buildTwoOne(const QStringList& paths, bool description, PictureLoader& loader,
                        PresentationHost& host, BuildProgress* progress) {
    return runBuild(host, [&](QString& picture) {
        const std::int16_t last = sub16(narrow16(paths.size()), 1);
        // A wider counter: with 32767 entries the last pair starts at 32766, and stepping
        // past it must end the loop, not overflow after a finished build.
        for (int i = 0; i <= last; i += 2) {
            appendSlide(host);
            for (int k = i; k <= std::min<int>(i + 1, last); ++k) {
                report(progress, k, last + 1);
                picture = paths[k];
                const Picture measured = loader.load(picture);
                place(measured, placeTwoOne(measured, k - i), description, host);
                picture.clear();
            }
            if (i + 1 < last && stopRequested(progress))
                return false;
        }
        return true;
    });
}

} // namespace slidemill
