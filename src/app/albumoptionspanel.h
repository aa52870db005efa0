#pragma once

#include "slides/albumoptions.h"

#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace slidemill {

// What a build from the window makes: the album's options with the layout of the button
// pressed. A caption chosen in the album takes the place of the Description box; without one
// the box adds "Description" as it always has.
BuildOptions windowBuild(const Album& album, Layout layout, bool description);

// Every album option the table gives a control, each as its row makes it, and the resolution
// of the stored pictures. A change of any is told at once.
class AlbumOptionsPanel : public QWidget {
    Q_OBJECT
public:
    AlbumOptionsPanel(QWidget* parent = nullptr);

    // What the controls show.
    Album album() const;
    int pixelsPerInch() const;
    // Shows them without telling `changed`.
    void setAlbum(const Album& album, int pixelsPerInch);

Q_SIGNALS:
    void changed();

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

    void edited();

    bool loading_ = false;
    std::uint32_t otherColour_ = 0x808080;

    std::vector<Control> controls_;
    QComboBox* resolution_ = nullptr;
};

} // namespace slidemill
