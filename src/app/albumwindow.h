#pragma once

#include "app/buildrun.h"
#include "core/messageboxes.h"
#include "slides/albumoptions.h"
#include "slides/picture.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QSettings;
class QSplitter;
class QToolButton;

namespace slidemill {

class AlbumOptionsPanel;
class MeasuredOnce;
class PhotoCells;
class PhotoListModel;
class PreviewSource;
class SlideSketchView;
class SlideStrip;
class Thumbnails;
struct DeckSketch;

// What the album window asks the user for a file.
enum class FileQuestion { OpenDeck, SaveDeck, AddPhotos };
// Asks; the paths chosen, none when the user cancelled. Tests answer in the dialog's place.
using FileChooser =
    std::function<QStringList(QWidget* parent, FileQuestion question, const QString& suggested)>;
// The desktop's own file dialogs.
QStringList askWithFileDialog(QWidget* parent, FileQuestion question, const QString& suggested);

struct AlbumServices {
    MessageBoxes& boxes;
    PictureLoader& loader;
    PreviewSource& previews;
    HostFactory newHost;
    FileChooser choose;
    // Where pictures taken out of reopened decks are kept.
    QString deckPictures;
    // Where a show is written to be played when the album has no file.
    QString showFolder;
    // The window's size and splitters between runs; null: for this run only.
    QSettings* settings = nullptr;
};

// The album as a whole: the photo list as pictures (on the same model as the main window's
// list), one photo's own caption and turns, the slides as the build will make them, the
// album's options, and its deck: saved, played, reopened.
class AlbumWindow : public QMainWindow {
    Q_OBJECT
public:
    AlbumWindow(AlbumServices services, PhotoListModel* photos, QWidget* parent = nullptr);
    ~AlbumWindow() override;

    const Album& album() const { return album_; }
    int pixelsPerInch() const { return pixelsPerInch_; }
    // Shows the album as the main window has it; tells nothing back.
    void setAlbum(const Album& album, int pixelsPerInch);

    // The deck the album is saved in; empty before the first save.
    QString file() const { return file_; }
    // What a build of the album makes: its options with every photo's own settings.
    BuildOptions buildOptions() const;

    // Save writes the album's deck again (asking for one when it has none); Save As asks for a
    // name and a type; saveTo writes `path` (".ppsx": a show) and makes it the album's file.
    void save();
    void saveAs();
    void saveTo(const QString& path);
    // Saves the show where it can be played and hands it to the desktop.
    void play();
    // A build of the album into a new presentation, opened, as the build buttons make them.
    void buildAlbum();
    // Replaces the album with the one a deck holds; false, with a message, when it cannot be
    // read or the user keeps what is here.
    bool openDeck(const QString& path);
    // Asks which deck to open.
    void openAsked();
    // A new, empty album with the remembered options.
    void newAlbum(const Album& defaults);

    bool building() const;
    // Remembers the window's size and columns, when it is shown.
    void saveLayout();
    // Quarter turns on the current photo's own (and the other selected ones').
    void turn(int quarters);
    int currentPhoto() const;
    void setCurrentPhoto(int row);
    const DeckSketch& deck() const;

Q_SIGNALS:
    // The user changed an option or the resolution here.
    void albumEdited();
    // The window changed the photo list (removed, moved, sorted, reopened).
    void photosEdited();
    // Paths the user gave to add, as files are given to the main window.
    void photosGiven(const QStringList& paths);
    // A build of this window has ended and its messages have been shown.
    void buildEnded();
    // The slides have been drawn anew.
    void redrawn();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createWidgets();
    void createActions();
    void restoreLayout();
    void listChanged();
    void redrawSoon();
    void redraw();
    void currentChanged();
    void captionEdited(const QString& text);
    void removeSelected();
    void moveSelected(int step);
    void sortByDate();
    void optionsEdited();
    void addPhotos();
    void startSave(const QString& path, bool open);
    void showTitle();
    bool keepChanges();
    QList<int> selectedRows() const;

    AlbumServices services_;
    PhotoListModel* photos_;
    Album album_;
    int pixelsPerInch_ = 0;
    QString file_;
    bool dirty_ = false;
    // Play once the save under way has ended.
    bool playAfterSave_ = false;
    // The build under way writes the album's own deck.
    bool saving_ = false;
    bool redrawQueued_ = false;

    std::unique_ptr<Thumbnails> thumbnails_;
    std::unique_ptr<DeckSketch> deck_;
    PhotoCells* cells_ = nullptr;
    QListView* grid_ = nullptr;
    SlideSketchView* preview_ = nullptr;
    SlideStrip* strip_ = nullptr;
    AlbumOptionsPanel* options_ = nullptr;
    QLabel* place_ = nullptr;
    QLineEdit* caption_ = nullptr;
    QLabel* origin_ = nullptr;
    QSplitter* columns_ = nullptr;
    QLabel* status_ = nullptr;
    std::unique_ptr<MeasuredOnce> measured_;
    std::unique_ptr<BuildRun> builds_;
};

} // namespace slidemill
