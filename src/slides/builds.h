#pragma once

#include "slides/picture.h"
#include "slides/placement.h"
#include "slides/presentationhost.h"

#include <QLocale>
#include <QStringList>
#include <optional>
#include <vector>

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

// How many photos a slide holds and how they are placed: Fit shows each photo whole and as
// large as its slide allows, Fill covers the slide with it, cropped to the slide's proportions.
enum class Layout { OnePerSlide, TwoPerSlide, FourPerSlide, Fit, Fill };

// How a slide show moves from one slide to the next.
enum class Transition { None, Fade, Push, Wipe };

// What the box under every photo says: nothing (no box), "Description" to be overwritten, the
// file's name, the date the photo was taken, or the same text under each.
enum class Caption { None, Description, Name, Date, Text };

// What a build makes. The defaults make the window's "One Photo One Slide" without
// descriptions.
// What one photo says of itself, over the album's rules.
struct PhotoSettings {
    // Its caption, in place of the caption rule's (in the Description box when the rule is
    // Description); empty: the rule's.
    QString caption;
    // Quarter turns clockwise on top of its own orientation (a camera that stored it wrongly):
    // placed by its turned size, shown turned by its shape.
    int quarterTurns = 0;

    // The turns as 0 to 3 quarters clockwise.
    int clockwiseQuarters() const { return (quarterTurns % 4 + 4) % 4; }

    bool operator==(const PhotoSettings&) const = default;
};

struct BuildOptions {
    Layout layout = Layout::OnePerSlide;
    Caption caption = Caption::None;
    // The text of Caption::Text.
    QString captionText;
    // The captions' size in points, kMinCaptionSize to kMaxCaptionSize; 0: the layout's
    // (defaultCaptionSize). The Description box keeps its 12 points.
    int captionSize = 0;
    // A first slide with this title; empty: none.
    QString title;
    // Under the title. Unset: the span of the days the photos were taken where they tell it
    // (of every caption's date with Caption::Date); empty: nothing.
    std::optional<QString> subtitle;
    // 960 x 540-point slides: one photo a slide centred, two and four in columns as much wider
    // as the slide, fit and fill to the slide; else 720 x 540.
    bool wide = false;
    // Every slide's background, 0xRRGGBB; captions, descriptions and the title take a colour
    // that reads on it (textColourOn).
    std::uint32_t background = kWhite;
    // Every picture shown in greys by its own effect; the file keeps its colours.
    bool grey = false;
    // The show moves on after this many milliseconds on each slide; 0: on a click only.
    std::int64_t advanceMs = 0;
    // Instead, after the music's whole length spread evenly over the slides, the title slide
    // too: the show ends as the music does.
    bool advanceFit = false;
    // Played one after another from the first slide on, across every slide; they start again
    // when the show does and stop when it ends.
    QStringList music;
    // The show starts again after its last slide, until Esc.
    bool loop = false;
    Transition transition = Transition::None;
    // Dates are written as this locale writes them.
    QLocale locale;
    // Each photo's own, in the order of the paths built; a photo past its end has none.
    std::vector<PhotoSettings> photos;

    static constexpr std::uint32_t kWhite = 0xFFFFFF;
};

inline constexpr int kMinCaptionSize = 6;
inline constexpr int kMaxCaptionSize = 96;

// The captions' size where the album sets none, by the layout: read on a 1080p TV from three
// metres, the size of the photos on the slide allowing.
int defaultCaptionSize(Layout layout);
// The size of the album's captions.
double captionPoints(const BuildOptions& options);

// Where photo `slot` of its slide goes and a caption of `lines` lines of `points`-point text by
// it (0 lines: none), as a build places them: a picture under which the caption stands makes
// room for a line of it.
struct PlacedSlot {
    SlotPlacement photo;
    CaptionPlacement caption;
};
PlacedSlot placeSlot(const Picture& picture, Layout layout, int slot, std::int16_t slideWidth,
                     int lines, double points);

// Black on a light background, white on a dark one.
std::uint32_t textColourOn(std::uint32_t background);

// Photos in the order of paths, as the options place them. The host is ended (and hands its
// presentation over) also when the build stops on an error, which is then rethrown.
BuildResult buildSlides(const QStringList& paths, const BuildOptions& options,
                        PictureLoader& loader, PresentationHost& host,
                        BuildProgress* progress = nullptr);

// How many photos a slide of the layout holds.
int photosPerSlide(Layout layout);

// The slides such a build of `photos` photos makes.
qsizetype slidesFor(qsizetype photos, const BuildOptions& options);

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
