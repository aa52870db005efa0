#pragma once

#include "core/runtimeerror.h"
#include "host/savinghost.h"

#include <QStringList>
#include <optional>

namespace slidemill {

// A host that writes down every call with its arguments, one line each, and can be told
// to fail at a given call; for tests that compare a build's whole conversation. It saves
// nothing, but tells the window what it is told to.
class RecordingHost : public SavingHost {
public:
    QStringList calls;
    QString saved;
    bool opened = true;
    // What addMusic answers for the files it is given.
    std::int64_t musicMs = 0;

    // The n-th call (from 1) whose line starts with `prefix` throws `error` instead.
    void failAt(const QString& prefix, int n, RuntimeError error);

    void createApplication() override;
    void setVisible(std::int32_t value) override;
    void addPresentation(std::int32_t withWindow) override;
    std::int64_t addMusic(const QStringList& files) override;
    void setSlideSize(float width, float height) override;
    std::int32_t slideCount() override;
    void addSlide(std::int32_t index, std::int32_t layout) override;
    void addPicture(const Picture& picture, std::int32_t linkToFile, std::int32_t saveWithDocument,
                    float left, float top, float width, float height) override;
    void setLineVisible(std::int32_t value) override;
    void setLineWeight(float points) override;
    void releasePicture() override;
    void setPictureCrop(float left, float top, float right, float bottom) override;
    void setPictureColorType(std::int32_t type) override;
    void setPictureRotation(float degrees) override;
    void addTextbox(std::int32_t orientation, float left, float top, float width,
                    float height) override;
    void setTextboxFill(std::uint32_t rgb, float transparency) override;
    void setVerticalAnchor(std::int32_t anchor) override;
    void textRange() override;
    void placeholderTextRange(std::int32_t index) override;
    void setText(const QString& text) override;
    void setFontSize(float points) override;
    void setFontColor(std::uint32_t rgb) override;
    void setParagraphAlignment(std::int32_t alignment) override;
    void releaseTextRange() override;
    void setBackgroundColor(std::uint32_t rgb) override;
    void setSlideShowTransition(std::int32_t effect, double advanceSeconds) override;
    void setLoopUntilStopped(std::int32_t value) override;
    std::optional<RuntimeError> endBuild(Outcome outcome) override;
    QString savedPath() const override { return saved; }
    bool openedOnDesktop() const override { return opened; }

    // Numbers as the calls carry them: shortest form, "0.25", "-1515".
    static QString number(double v);
    // Colours as the calls carry them: "#1A2B3C".
    static QString colour(std::uint32_t rgb);

private:
    void record(const QString& line);

    std::int32_t slides_ = 0;
    QString failPrefix_;
    int failCountdown_ = 0;
    std::optional<RuntimeError> failError_;
};

} // namespace slidemill
