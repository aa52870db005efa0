#include "support/recordinghost.h"

namespace slidemill {

void RecordingHost::failAt(const QString& prefix, int n, RuntimeError error) {
    failPrefix_ = prefix;
    failCountdown_ = n;
    failError_ = std::move(error);
}

QString RecordingHost::number(double v) {
    return QString::number(v, 'g', 9);
}

QString RecordingHost::colour(std::uint32_t rgb) {
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

void RecordingHost::record(const QString& line) {
    if (failError_ && line.startsWith(failPrefix_) && --failCountdown_ == 0) {
        calls << QStringLiteral("FAILED ") + line;
        throw *failError_;
    }
    calls << line;
}

void RecordingHost::createApplication() {
    record(QStringLiteral("CreateApplication"));
}

void RecordingHost::setVisible(std::int32_t value) {
    record(QStringLiteral("Application.Visible = %1").arg(value));
}

void RecordingHost::addPresentation(std::int32_t withWindow) {
    record(QStringLiteral("Presentations.Add(%1)").arg(withWindow));
    slides_ = 0;
}

void RecordingHost::setSlideSize(float width, float height) {
    record(QStringLiteral("PageSetup.SlideSize = %1 x %2").arg(number(width), number(height)));
}

std::int32_t RecordingHost::slideCount() {
    record(QStringLiteral("Slides.Count = %1").arg(slides_));
    return slides_;
}

void RecordingHost::addSlide(std::int32_t index, std::int32_t layout) {
    record(QStringLiteral("Slides.Add(%1, %2)").arg(index).arg(layout));
    ++slides_;
}

void RecordingHost::addPicture(const Picture& picture, std::int32_t linkToFile,
                               std::int32_t saveWithDocument, float left, float top, float width,
                               float height) {
    record(QStringLiteral("Shapes.AddPicture(%1, %2, %3, %4, %5, %6, %7)")
               .arg(picture.path)
               .arg(linkToFile)
               .arg(saveWithDocument)
               .arg(number(left), number(top), number(width), number(height)));
}

void RecordingHost::setLineVisible(std::int32_t value) {
    record(QStringLiteral("Line.Visible = %1").arg(value));
}

void RecordingHost::setLineWeight(float points) {
    record(QStringLiteral("Line.Weight = %1").arg(number(points)));
}

void RecordingHost::releasePicture() {
    record(QStringLiteral("Release picture"));
}

void RecordingHost::setPictureCrop(float left, float top, float right, float bottom) {
    record(QStringLiteral("PictureFormat.Crop = %1, %2, %3, %4")
               .arg(number(left), number(top), number(right), number(bottom)));
}

void RecordingHost::setPictureColorType(std::int32_t type) {
    record(QStringLiteral("PictureFormat.ColorType = %1").arg(type));
}

void RecordingHost::setPictureRotation(float degrees) {
    record(QStringLiteral("Rotation = %1").arg(number(degrees)));
}

void RecordingHost::addTextbox(std::int32_t orientation, float left, float top, float width,
                               float height) {
    record(QStringLiteral("Shapes.AddTextbox(%1, %2, %3, %4, %5)")
               .arg(orientation)
               .arg(number(left), number(top), number(width), number(height)));
}

void RecordingHost::setTextboxFill(std::uint32_t rgb, float transparency) {
    record(QStringLiteral("Fill = %1, %2").arg(colour(rgb), number(transparency)));
}

void RecordingHost::setVerticalAnchor(std::int32_t anchor) {
    record(QStringLiteral("TextFrame.VerticalAnchor = %1").arg(anchor));
}

void RecordingHost::textRange() {
    record(QStringLiteral("TextFrame.TextRange"));
}

void RecordingHost::placeholderTextRange(std::int32_t index) {
    record(QStringLiteral("Shapes.Placeholders(%1).TextFrame.TextRange").arg(index));
}

void RecordingHost::setText(const QString& text) {
    record(QStringLiteral("TextRange.Text = %1").arg(text));
}

void RecordingHost::setFontSize(float points) {
    record(QStringLiteral("Font.Size = %1").arg(number(points)));
}

void RecordingHost::setFontColor(std::uint32_t rgb) {
    record(QStringLiteral("Font.Color = %1").arg(colour(rgb)));
}

void RecordingHost::setParagraphAlignment(std::int32_t alignment) {
    record(QStringLiteral("ParagraphFormat.Alignment = %1").arg(alignment));
}

void RecordingHost::setBackgroundColor(std::uint32_t rgb) {
    record(QStringLiteral("Background = %1").arg(colour(rgb)));
}

std::int64_t RecordingHost::addMusic(const QStringList& files) {
    record(QStringLiteral("Music.Add = %1").arg(files.join(QLatin1String(", "))));
    return musicMs;
}

void RecordingHost::setSlideShowTransition(std::int32_t effect, double advanceSeconds) {
    record(QStringLiteral("SlideShowTransition = %1, %2").arg(effect).arg(number(advanceSeconds)));
}

void RecordingHost::setLoopUntilStopped(std::int32_t value) {
    record(QStringLiteral("SlideShowSettings.LoopUntilStopped = %1").arg(value));
}

void RecordingHost::releaseTextRange() {
    record(QStringLiteral("Release text range"));
}

std::optional<RuntimeError> RecordingHost::endBuild(Outcome outcome) {
    record(outcome == Outcome::Completed   ? QStringLiteral("End")
           : outcome == Outcome::Cancelled ? QStringLiteral("End (cancelled)")
                                           : QStringLiteral("End (failed)"));
    return {};
}

} // namespace slidemill
