#include "slides/builds.h"

#include "core/checked.h"
#include "core/runtimeerror.h"
#include "slides/captions.h"
#include "slides/placement.h"

#include <algorithm>

namespace slidemill {

namespace {

constexpr float kDescriptionSize = 12;
// A caption over its photo stands on a band of the background's colour that lets the photo
// show through by this much.
constexpr float kBandTransparency = 0.35f;
constexpr std::uint32_t kBlack = 0x000000;

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

const PhotoSettings* ownSettings(qsizetype index, const BuildOptions& options) {
    return index < qsizetype(options.photos.size()) ? &options.photos[std::size_t(index)] : nullptr;
}

// 0 to 3 quarter turns clockwise.
int quarterTurnsOf(qsizetype index, const BuildOptions& options) {
    const PhotoSettings* own = ownSettings(index, options);
    return own ? own->clockwiseQuarters() : 0;
}

// The picture as a turn shows it: its sides exchanged by a quarter turn.
Picture turnedBy(Picture picture, int quarterTurns) {
    if (quarterTurns % 2)
        std::swap(picture.widthHimetric, picture.heightHimetric);
    return picture;
}

// The text of the box under photo `index`; empty: no box.
QString captionOf(qsizetype index, const QString& path, const Picture& picture,
                  const BuildOptions& options) {
    if (const PhotoSettings* own = ownSettings(index, options); own && !own->caption.isEmpty())
        return slideText(own->caption, true);
    switch (options.caption) {
    case Caption::None:
        break;
    case Caption::Description:
        return QStringLiteral("Description");
    case Caption::Name:
        return nameCaption(path);
    case Caption::Date: {
        const PhotoDate when = photoDate(picture);
        return when.isValid() ? dateCaption(when, options.locale) : QString();
    }
    case Caption::Text:
        return slideText(options.captionText, true);
    }
    return {};
}

void setTextColour(PresentationHost& host, std::uint32_t colour) {
    // Black is every text's colour already: a light background changes nothing of the calls.
    if (colour != kBlack)
        host.setFontColor(colour);
}

// The picture as the object model is given it to show `at` turned `quarterTurns` clockwise: the
// box and crop before the turn, which turns about the centre of what shows.
struct Unturned {
    PhotoPlacement added;
    PhotoCrop crop;
};
Unturned unturned(const SlotPlacement& at, int quarterTurns) {
    if (quarterTurns == 0)
        return {at.picture, at.crop};
    const PhotoPlacement shown = at.visible();
    PhotoPlacement box = shown;
    if (quarterTurns % 2) {
        box.left = shown.left + (shown.width - shown.height) / 2;
        box.top = shown.top + (shown.height - shown.width) / 2;
        std::swap(box.width, box.height);
    }
    // Sides counted clockwise from the left: the side at `s` before the turn shows at s + turns.
    const double sides[4] = {at.crop.left, at.crop.top, at.crop.right, at.crop.bottom};
    const auto side = [&](int s) { return sides[(s + quarterTurns) % 4]; };
    const PhotoCrop crop{side(0), side(1), side(2), side(3)};
    return {{box.left - crop.left, box.top - crop.top, box.width + crop.left + crop.right,
             box.height + crop.top + crop.bottom},
            crop};
}

// The text's lines, each paragraph one.
int linesOf(const QString& text) {
    return int(text.count(QLatin1Char('\n'))) + 1;
}

void place(const Picture& picture, const PlacedSlot& slot, int quarterTurns, const QString& caption,
           const BuildOptions& options, PresentationHost& host) {
    const SlotPlacement& at = slot.photo;
    const Unturned u = unturned(at, quarterTurns);
    const PhotoPlacement& p = u.added;
    host.addPicture(picture, kMsoFalse, kMsoTrue, float(p.left), float(p.top), float(p.width),
                    float(p.height));
    if (u.crop.any())
        host.setPictureCrop(float(u.crop.left), float(u.crop.top), float(u.crop.right),
                            float(u.crop.bottom));
    if (quarterTurns != 0)
        host.setPictureRotation(float(90 * quarterTurns));
    if (options.grey)
        host.setPictureColorType(kPictureColorGrayscale);
    host.setLineVisible(kMsoTrue);
    host.setLineWeight(kBorderWeight);
    host.releasePicture();
    if (caption.isEmpty())
        return;
    const std::uint32_t colour = textColourOn(options.background);
    if (options.caption == Caption::Description) {
        // The box to be overwritten keeps its place and its left-aligned text.
        const TextboxFrame& box = at.description;
        host.addTextbox(kTextOrientationHorizontal, float(box.left), float(box.top),
                        float(box.width), float(box.height));
        host.textRange();
        host.setText(caption);
        host.setFontSize(kDescriptionSize);
        setTextColour(host, colour);
        host.releaseTextRange();
        return;
    }
    const CaptionPlacement& c = slot.caption;
    const TextboxFrame& box = c.box;
    host.addTextbox(kTextOrientationHorizontal, float(box.left), float(box.top), float(box.width),
                    float(box.height));
    if (c.spot == CaptionSpot::OverPicture)
        host.setTextboxFill(options.background, kBandTransparency);
    // A caption standing on a foot grows upwards when its text wraps to more lines.
    if (c.spot != CaptionSpot::Under)
        host.setVerticalAnchor(kAnchorBottom);
    host.textRange();
    host.setText(caption);
    host.setFontSize(float(captionPoints(options)));
    setTextColour(host, colour);
    // Beside its photo the text leans toward it; a new box's text is left-aligned already.
    if (c.spot == CaptionSpot::LeftOf)
        host.setParagraphAlignment(kAlignRight);
    else if (c.spot != CaptionSpot::RightOf)
        host.setParagraphAlignment(kAlignCenter);
    host.releaseTextRange();
}

std::int32_t transitionEffect(Transition transition) {
    switch (transition) {
    case Transition::None:
        break;
    case Transition::Fade:
        return kTransitionFade;
    case Transition::Push:
        return kTransitionPush;
    case Transition::Wipe:
        return kTransitionWipe;
    }
    return kTransitionNone;
}

// How the show leaves the slide just added, after `advanceMs` (0: on a click); a slide shown
// as presentations are by default says nothing.
void setShow(const BuildOptions& options, std::int64_t advanceMs, PresentationHost& host) {
    if (options.transition != Transition::None || advanceMs > 0)
        host.setSlideShowTransition(transitionEffect(options.transition),
                                    double(advanceMs) / 1000.0);
}

// Each slide's time: the music's length shared out to the millisecond, or the option's own.
std::int64_t advanceMsOf(const BuildOptions& options, std::int64_t musicMs, qsizetype slides) {
    if (!options.advanceFit)
        return options.advanceMs;
    return slides > 0 ? (musicMs + slides / 2) / slides : 0;
}

// The first and the last day of the photos that tell when they were taken.
struct Days {
    QDate first, last;
    void add(QDate day) {
        if (!day.isValid())
            return;
        if (!first.isValid() || day < first)
            first = day;
        if (!last.isValid() || day > last)
            last = day;
    }
};

void setPlaceholder(PresentationHost& host, std::int32_t index, const QString& text,
                    std::uint32_t colour) {
    host.placeholderTextRange(index);
    host.setText(text);
    setTextColour(host, colour);
    host.releaseTextRange();
}

// Made once the photos are placed, when their days are known, and put first.
void addTitleSlide(const BuildOptions& options, std::int64_t advanceMs, const Days& days,
                   PresentationHost& host) {
    host.addSlide(1, kLayoutTitle);
    setShow(options, advanceMs, host);
    const std::uint32_t colour = textColourOn(options.background);
    setPlaceholder(host, kPlaceholderTitle, slideText(options.title, true), colour);
    const QString subtitle = options.subtitle ? slideText(*options.subtitle, true)
                             : days.first.isValid()
                                 ? dateSpan(days.first, days.last, options.locale)
                                 : QString();
    if (!subtitle.isEmpty())
        setPlaceholder(host, kPlaceholderSubtitle, subtitle, colour);
}

} // namespace

int defaultCaptionSize(Layout layout) {
    switch (layout) {
    case Layout::OnePerSlide:
    case Layout::Fit:
    case Layout::Fill:
        break;
    case Layout::TwoPerSlide:
        return 16;
    case Layout::FourPerSlide:
        return 14;
    }
    return 20;
}

double captionPoints(const BuildOptions& options) {
    return options.captionSize > 0 ? options.captionSize : defaultCaptionSize(options.layout);
}

PlacedSlot placeSlot(const Picture& picture, Layout layout, int slot, std::int16_t slideWidth,
                     int lines, double points) {
    // Room under the photo for a line; more lines stand beside it or on its foot.
    const double room = lines > 0 ? fittedTextHeight(1, points) : 0;
    PlacedSlot placed;
    switch (layout) {
    case Layout::OnePerSlide:
        placed.photo = placeOneOne(picture, slideWidth, room);
        break;
    case Layout::TwoPerSlide:
        placed.photo = placeTwoOne(picture, slot, slideWidth, room);
        break;
    case Layout::FourPerSlide:
        placed.photo = placeFourOne(picture, slot, slideWidth, room);
        break;
    case Layout::Fit:
        placed.photo = placeFit(picture, slideWidth);
        break;
    case Layout::Fill:
        placed.photo = placeFill(picture, slideWidth);
        break;
    }
    if (lines > 0)
        placed.caption = placeCaption(placed.photo.visible(), lines, points,
                                      slotRoom(photosPerSlide(layout), slot, slideWidth));
    return placed;
}

std::uint32_t textColourOn(std::uint32_t background) {
    // Relative luminance by the sRGB weights, in 8-bit steps: light at half and above.
    const int r = int(background >> 16 & 0xFF), g = int(background >> 8 & 0xFF),
              b = int(background & 0xFF);
    return 2126 * r + 7152 * g + 722 * b >= 128 * 10000 ? 0x000000 : 0xFFFFFF;
}

BuildResult buildSlides(const QStringList& paths, const BuildOptions& options,
                        PictureLoader& loader, PresentationHost& host, BuildProgress* progress) {
    return runBuild(host, [&](QString& picture) {
        host.addAlbumRecipe(options);
        const std::int16_t slideWidth = options.wide ? kWideSlideWidth : kSlideWidth;
        if (options.wide)
            host.setSlideSize(kWideSlideWidth, kSlideHeight);
        if (options.background != BuildOptions::kWhite)
            host.setBackgroundColor(options.background);
        if (options.loop)
            host.setLoopUntilStopped(kMsoTrue);
        const std::int64_t musicMs = options.music.isEmpty() ? 0 : host.addMusic(options.music);
        const std::int64_t advanceMs =
            advanceMsOf(options, musicMs, slidesFor(paths.size(), options));
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
            setShow(options, advanceMs, host);
            const int end = std::min<int>(i + perSlide - 1, last);
            for (int k = i; k <= end; ++k) {
                if (k > i)
                    report(progress, k, last + 1);
                picture = paths[k];
                const Picture measured = loader.load(picture);
                const int turns = quarterTurnsOf(k, options);
                const QString caption = captionOf(k, picture, measured, options);
                // The Description box takes no room from its photo.
                const int lines = caption.isEmpty() || options.caption == Caption::Description
                                      ? 0
                                      : linesOf(caption);
                const PlacedSlot at = placeSlot(turnedBy(measured, turns), options.layout, k - i,
                                                slideWidth, lines, captionPoints(options));
                place(measured, at, turns, caption, options, host);
                // Only the camera's and the name's dates: a screenshot's or a download's file
                // time is not when a photo was taken.
                days.add(takenDate(measured).day);
                picture.clear();
            }
            if (end < last && stopRequested(progress))
                finished = false;
        }
        if (!options.title.isEmpty())
            addTitleSlide(options, advanceMs, days, host);
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

} // namespace slidemill
