#include "slides/recordeddeck.h"

#include <algorithm>

namespace slidemill {

DeckRecorder::DeckRecorder(MusicMeasure measureMusic) : measureMusic_(std::move(measureMusic)) {}

std::int64_t DeckRecorder::addMusic(const QStringList& files) {
    deck.music = files;
    deck.musicMs = measureMusic_ ? measureMusic_(files) : 0;
    return deck.musicMs;
}

void DeckRecorder::addSlide(std::int32_t index, std::int32_t layout) {
    const auto at =
        std::size_t(std::clamp<std::int32_t>(index - 1, 0, std::int32_t(deck.slides.size())));
    RecordedSlide slide;
    slide.title = layout == kLayoutTitle;
    deck.slides.insert(deck.slides.begin() + std::ptrdiff_t(at), std::move(slide));
    current_ = at;
}

void DeckRecorder::addPicture(const Picture& picture, std::int32_t, std::int32_t, float left,
                              float top, float width, float height) {
    RecordedShape s;
    s.kind = RecordedShape::Kind::Picture;
    s.frame = QRectF(left, top, width, height);
    s.picture = picture;
    s.path = picture.path;
    deck.slides[current_].shapes.push_back(s);
}

void DeckRecorder::setLineVisible(std::int32_t value) {
    if (value == kMsoFalse)
        shape().lineWeight = 0;
}

void DeckRecorder::setPictureCrop(float left, float top, float right, float bottom) {
    shape().crop = QMarginsF(left, top, right, bottom);
}

void DeckRecorder::setPictureColorType(std::int32_t type) {
    shape().grey = type == kPictureColorGrayscale;
}

void DeckRecorder::addTextbox(std::int32_t, float left, float top, float width, float height) {
    RecordedShape s;
    s.kind = RecordedShape::Kind::Textbox;
    s.frame = QRectF(left, top, width, height);
    deck.slides[current_].shapes.push_back(s);
}

void DeckRecorder::setTextboxFill(std::uint32_t rgb, float transparency) {
    shape().fill = rgb;
    shape().transparency = transparency;
}

void DeckRecorder::placeholderTextRange(std::int32_t index) {
    RecordedShape s;
    const bool title = index == kPlaceholderTitle;
    s.kind = title ? RecordedShape::Kind::Title : RecordedShape::Kind::Subtitle;
    const TitlePlaceholder box = (title ? kTitlePlaceholder : kSubtitlePlaceholder)
                                     .on(deck.slideSize.width(), deck.slideSize.height());
    s.frame = QRectF(box.left, box.top, box.width, box.height);
    s.fontSize = float(box.fontSize);
    s.alignment = kAlignCenter;
    deck.slides[current_].shapes.push_back(s);
    text_ = &deck.slides[current_].shapes.back();
}

void DeckRecorder::setSlideShowTransition(std::int32_t effect, double advanceSeconds) {
    deck.slides[current_].transition = effect;
    deck.slides[current_].advanceSeconds = std::max(0.0, advanceSeconds);
}

double slideSeconds(const RecordedSlide& slide, ShowTiming timing) {
    return slide.advanceSeconds > 0 ? slide.advanceSeconds : timing.stillSeconds;
}

double moveSeconds(const RecordedSlide& slide, ShowTiming timing) {
    if (slide.transition == kTransitionNone)
        return 0;
    return std::min(timing.transitionSeconds, slideSeconds(slide, timing) / 2);
}

std::vector<double> slideStarts(const RecordedDeck& deck, ShowTiming timing) {
    std::vector<double> starts{0};
    for (const RecordedSlide& slide : deck.slides)
        starts.push_back(starts.back() + slideSeconds(slide, timing));
    return starts;
}

ShowMoment momentAt(const RecordedDeck& deck, double seconds, ShowTiming timing) {
    ShowMoment moment;
    if (deck.slides.empty())
        return moment;
    const std::vector<double> starts = slideStarts(deck, timing);
    // The last slide whose start is not after `seconds`; the show's end holds the last.
    const auto after = std::upper_bound(starts.begin(), starts.end() - 1, seconds);
    const std::size_t k =
        std::min(std::size_t(std::max<std::ptrdiff_t>(after - starts.begin() - 1, 0)),
                 deck.slides.size() - 1);
    moment.slide = moment.from = k;
    const double move = k == 0 ? 0 : moveSeconds(deck.slides[k], timing);
    const double into = seconds - starts[k];
    if (move > 0 && into < move) {
        moment.from = k - 1;
        moment.progress = std::max(0.0, into / move);
    }
    return moment;
}

} // namespace slidemill
