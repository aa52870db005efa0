#include "slides/builds.h"

#include "core/checked.h"
#include "core/runtimeerror.h"
#include "slides/captions.h"
#include "slides/placement.h"

#include <algorithm>

namespace slidemill {

namespace {

constexpr float kDescriptionSize = 12;
// 16:9 slides keep the height; every layout moves right by half the extra width.
constexpr float kWideSlideWidth = 960;
constexpr float kSlideHeight = 540;
constexpr std::int16_t kWideShift = 120;

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

int photosPerSlide(Layout layout) {
    switch (layout) {
    case Layout::OnePerSlide:
    case Layout::Fit:
    case Layout::Fill:
        break;
    case Layout::TwoPerSlide:
        return 2;
    case Layout::FourPerSlide:
        return 4;
    }
    return 1;
}

SlotPlacement placeAt(const Picture& picture, Layout layout, int slot) {
    switch (layout) {
    case Layout::OnePerSlide:
    case Layout::Fit:
    case Layout::Fill:
        break;
    case Layout::TwoPerSlide:
        return placeTwoOne(picture, slot);
    case Layout::FourPerSlide:
        return placeFourOne(picture, slot);
    }
    return placeOneOne(picture);
}

// The text of the box under a photo; empty: no box.
QString captionOf(const QString& path, const Picture& picture, const BuildOptions& options) {
    switch (options.caption) {
    case Caption::None:
        break;
    case Caption::Description:
        return QStringLiteral("Description");
    case Caption::Name:
        return nameCaption(path);
    case Caption::Date: {
        const QDateTime when = photoDate(picture);
        return when.isValid() ? dateCaption(when, options.locale) : QString();
    }
    case Caption::Text:
        return slideText(options.captionText, true);
    }
    return {};
}

void place(const Picture& picture, const SlotPlacement& at, const QString& caption,
           PresentationHost& host) {
    const PhotoPlacement& p = at.picture;
    host.addPicture(picture, kMsoFalse, kMsoTrue, float(p.left), float(p.top), float(p.width),
                    float(p.height));
    host.setLineVisible(kMsoTrue);
    host.setLineWeight(kBorderWeight);
    host.releasePicture();
    if (caption.isEmpty())
        return;
    const TextboxFrame& box = at.description;
    host.addTextbox(kTextOrientationHorizontal, float(box.left), float(box.top), float(box.width),
                    float(box.height));
    host.textRange();
    host.setText(caption);
    host.setFontSize(kDescriptionSize);
    host.releaseTextRange();
}

// The first and the last day of the photos that tell when they were taken.
struct Days {
    QDate first, last;
    void add(const QDateTime& when) {
        if (!when.isValid())
            return;
        const QDate day = when.date();
        if (!first.isValid() || day < first)
            first = day;
        if (!last.isValid() || day > last)
            last = day;
    }
};

void setPlaceholder(PresentationHost& host, std::int32_t index, const QString& text) {
    host.placeholderTextRange(index);
    host.setText(text);
    host.releaseTextRange();
}

// Made once the photos are placed, when their days are known, and put first.
void addTitleSlide(const BuildOptions& options, const Days& days, PresentationHost& host) {
    host.addSlide(1, kLayoutTitle);
    setPlaceholder(host, kPlaceholderTitle, slideText(options.title, true));
    const QString subtitle = options.subtitle ? slideText(*options.subtitle, true)
                             : days.first.isValid()
                                 ? dateSpan(days.first, days.last, options.locale)
                                 : QString();
    if (!subtitle.isEmpty())
        setPlaceholder(host, kPlaceholderSubtitle, subtitle);
}

} // namespace

std::uint32_t textColourOn(std::uint32_t background) {
    // Relative luminance by the sRGB weights, in 8-bit steps: light at half and above.
    const int r = int(background >> 16 & 0xFF), g = int(background >> 8 & 0xFF),
              b = int(background & 0xFF);
    return 2126 * r + 7152 * g + 722 * b >= 128 * 10000 ? 0x000000 : 0xFFFFFF;
}

BuildResult buildSlides(const QStringList& paths, const BuildOptions& options,
                        PictureLoader& loader, PresentationHost& host, BuildProgress* progress) {
    return runBuild(host, [&](QString& picture) {
        if (options.wide)
            host.setSlideSize(kWideSlideWidth, kSlideHeight);
        const int perSlide = photosPerSlide(options.layout);
        const std::int16_t last = sub16(narrow16(paths.size()), 1);
        Days days;
        bool finished = true;
        // A wider counter: with 32767 entries the last slide starts at 32766 or below, and
        // stepping past it must end the loop, not overflow after a finished build.
        for (int i = 0; i <= last && finished; i += perSlide) {
            // A slide's first photo is told before its slide is made, the others as they come.
            report(progress, i, last + 1);
            appendSlide(host);
            const int end = std::min<int>(i + perSlide - 1, last);
            for (int k = i; k <= end; ++k) {
                if (k > i)
                    report(progress, k, last + 1);
                picture = paths[k];
                const Picture measured = loader.load(picture);
                SlotPlacement at = placeAt(measured, options.layout, k - i);
                if (options.wide)
                    at = movedRight(at, kWideShift);
                place(measured, at, captionOf(picture, measured, options), host);
                days.add(options.caption == Caption::Date ? photoDate(measured) : measured.taken);
                picture.clear();
            }
            if (end < last && stopRequested(progress))
                finished = false;
        }
        if (!options.title.isEmpty())
            addTitleSlide(options, days, host);
        return finished;
    });
}

qsizetype slidesFor(qsizetype photos, const BuildOptions& options) {
    const int perSlide = photosPerSlide(options.layout);
    return (photos + perSlide - 1) / perSlide + (options.title.isEmpty() ? 0 : 1);
}

BuildResult buildOneOne(const QStringList& paths, bool description, PictureLoader& loader,
                        PresentationHost& host, BuildProgress* progress) {
    BuildOptions options;
    options.caption = description ? Caption::Description : Caption::None;
    return buildSlides(paths, options, loader, host, progress);
}

BuildResult buildTwoOne(const QStringList& paths, bool description, PictureLoader& loader,
                        PresentationHost& host, BuildProgress* progress) {
    BuildOptions options;
    options.layout = Layout::TwoPerSlide;
    options.caption = description ? Caption::Description : Caption::None;
    return buildSlides(paths, options, loader, host, progress);
}

} // namespace slidemill
