#pragma once

#include "slides/albumoptions.h"

#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
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
    // The slides the album makes, for the time the music gives each.
    void setSlideCount(qsizetype slides);

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
        // Files: what the line edit shows.
        QStringList files = {};
        // Seconds: the check box of a choice no number stands for ("fit"), and its value.
        QCheckBox* instead = nullptr;
        int insteadValue = 0;
    };

    QWidget* makeControl(Control& control);
    void showValue(const Control& control, const Album& album);
    void readValue(const Control& control, Album& album) const;
    void chooseColour(const AlbumOption& option);
    void chooseFolder(QLineEdit* folder);
    QWidget* makeFilesControl(Control& control);
    void showFiles(Control& control, const QStringList& files);
    void showMusicLength();
    void enableTexts();

    void edited();

    bool loading_ = false;
    std::uint32_t otherColour_ = 0x808080;

    std::vector<Control> controls_;
    QComboBox* resolution_ = nullptr;
    // The music's length in all and a slide's share of it, under the files.
    QLabel* musicLength_ = nullptr;
    qsizetype slides_ = 0;
};

} // namespace slidemill
