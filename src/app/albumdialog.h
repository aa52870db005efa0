#pragma once

#include "slides/albumoptions.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

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
    // The controls of one album option, made from its row of the table: a box of its choices
    // (with a line edit beside it for a text of one's own), a check box, a line edit or a spin
    // box.
    struct Control {
        const AlbumOption* option;
        QWidget* widget;
        // The box's choices in its order, the default first.
        std::vector<const AlbumChoice*> offered;
        QLineEdit* own = nullptr;
    };

    QWidget* makeControl(Control& control);
    void showValue(const Control& control, const Album& album);
    void readValue(const Control& control, Album& album) const;
    void chooseColour(const AlbumOption& option);
    void chooseFolder(QLineEdit* folder);
    void enableTexts();

    Photos photos_;
    PictureLoader& loader_;
    bool loading_ = false;
    std::uint32_t otherColour_ = 0x808080;

    std::vector<Control> controls_;
    QComboBox* resolution_ = nullptr;
    QPushButton* build_ = nullptr;
    SlideSketchView* sketch_ = nullptr;
};

} // namespace slidemill
