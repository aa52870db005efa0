#pragma once

#include "host/desktopopener.h"
#include "host/savinghost.h"
#include "slides/resolutions.h"

#include <QSize>
#include <QString>
#include <memory>

namespace slidemill {

struct PptxHostOptions {
    // The file to write; a name ending in ".ppsx" makes a deck that opens as a running show.
    // Empty: "Presentation N.pptx" with the first free N in documentsFolder, never
    // overwriting anything.
    QString outputPath;
    // Empty: the user's documents folder (created if missing).
    QString documentsFolder;
    // The window keeps what a failed build made; the batch tool writes nothing then.
    bool keepOnFailure = true;
    // Shown here when Visible was set; null opens nothing.
    DesktopOpener* opener = nullptr;
    // When set, the deck streams into this open descriptor as it is built (standard output)
    // and outputPath only names it in errors.
    int outputDescriptor = -1;
    // Pictures with more pixels than this many per inch of their placed size are stored
    // resized to it; 0 stores every picture as its file holds it.
    int pixelsPerInch = kDefaultPixelsPerInch;
    // A video's frame size in pixels when outputPath names one (hostFor); empty: by the
    // slides' proportions.
    QSize videoSize = QSize();
};

// The presentation application of this system: builds a .pptx in process, writing each
// picture into it as it is added and the rest when the build ends; the file gets its name
// only then, atomically.
class PptxHost : public SavingHost {
public:
    explicit PptxHost(PptxHostOptions options);
    ~PptxHost() override;

    void createApplication() override;
    void setVisible(std::int32_t value) override;
    void addPresentation(std::int32_t withWindow) override;
    // The deck keeps the album's recipe (slides/albumrecipe.h) in customXml/item1.xml: every
    // picture's file hashed as it is stored, and what the box under it says. Before any
    // picture.
    void addAlbumRecipe(const BuildOptions& options) override;
    // Each file is measured now (host/music.h) and stored once when the deck is saved, played
    // from the first slide, whichever that is by then.
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

    QString savedPath() const override;
    bool openedOnDesktop() const override;
    // Bytes of the deck written so far in this build, or by the last one.
    qint64 bytesWritten() const;
    // Zip entries of the last deck saved (parts and pictures); 0 before one is.
    qint64 entriesWritten() const;

private:
    struct State;
    PptxHostOptions options_;
    std::unique_ptr<State> state_;
};

// Removes the hidden file of a save in progress when SIGINT, SIGTERM or SIGHUP ends the
// program, which then ends as the signal would have ended it. For the programs' main.
void removeUnfinishedSavesOnSignal();

} // namespace slidemill
