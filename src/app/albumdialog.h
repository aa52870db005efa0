#pragma once

#include "slides/albumoptions.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace slidemill {

class PreviewSource;
class SlideSketchView;

// What a build from the window makes: the album's options with the layout of the button
// pressed. A caption chosen in the album takes the place of the Description box; without one
// the box adds "Description" as it always has.
BuildOptions windowBuild(const Album& album, Layout layout, bool description);

// The album options, the resolution of the stored pictures among them, with a sketch of the
// slide they make. Finished with Accepted (keep them), Rejected, or kBuild: keep them and build
// with the dialog's own layout.
class AlbumDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBuild = 2;

    struct Photos {
        QStringList paths;
        // The entry whose slide is sketched; -1: the first slide.
        int current = -1;
        bool description = false;
    };

    AlbumDialog(const Album& album, int pixelsPerInch, Photos photos, PictureLoader& loader,
                PreviewSource& previews, QWidget* parent = nullptr);

    Album album() const;
    int pixelsPerInch() const;
    void setAlbum(const Album& album, int pixelsPerInch);
    SlideSketchView* sketch() const { return sketch_; }

    // The sketch drawn anew from the controls, as every change of them does.
    void redraw();

private:
    void chooseColour();
    void chooseFolder();
    void enableTexts();

    Photos photos_;
    PictureLoader& loader_;
    bool loading_ = false;
    std::uint32_t otherColour_ = 0x808080;

    QComboBox* layout_ = nullptr;
    QComboBox* caption_ = nullptr;
    QLineEdit* captionText_ = nullptr;
    QLineEdit* title_ = nullptr;
    QComboBox* subtitle_ = nullptr;
    QLineEdit* subtitleText_ = nullptr;
    QComboBox* slideSize_ = nullptr;
    QComboBox* background_ = nullptr;
    QCheckBox* grey_ = nullptr;
    QComboBox* resolution_ = nullptr;
    QSpinBox* advance_ = nullptr;
    QCheckBox* loop_ = nullptr;
    QComboBox* transition_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* build_ = nullptr;
    SlideSketchView* sketch_ = nullptr;
};

} // namespace slidemill
