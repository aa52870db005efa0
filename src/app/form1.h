#pragma once

#include "app/albumwindow.h"
#include "app/buildrun.h"
#include "app/settings.h"
#include "core/messageboxes.h"
#include "host/savinghost.h"
#include "photolist/photolistmodel.h"
#include "slides/albumoptions.h"
#include "slides/builds.h"
#include "slides/picture.h"

#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSettings;

namespace slidemill {

class BuildRun;
class DriveList;
class FileList;
class FolderBrowser;
class FolderList;
class PhotoListModel;
class PreviewSource;
class PhotoListView;
class Volumes;

// What the window reaches beyond itself; tests put their own in its place.
struct Services {
    MessageBoxes& boxes;
    Volumes& volumes;
    PictureLoader& loader;
    // The previews File1 and List1 show of their pictures.
    PreviewSource& previews;
    // A new presentation application for each build.
    HostFactory newHost;
    // Where the window remembers the resolution and the album options between runs; null: for
    // this run only.
    QSettings* settings;
    // The album window's: its file dialogs (null: the desktop's), where pictures taken out of
    // reopened decks are kept, and where shows are written to be played.
    FileChooser choose;
    QString deckPictures;
    QString showFolder;
};

// The one window. Every control carries its design name as its object name.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Most entries the photo list holds: indexes are 16-bit.
    static constexpr int kMaxEntries = 32767;

    // Appends the pictures among paths (the files the desktop gave to open) as files dropped
    // on the photo list are appended: folders and other files left out and counted.
    void openPhotos(const QStringList& paths);

    void UpdateAddedCount();
    void UpdateListExtent();

    // The picture Image1 holds: the last one a build measured.
    const Picture* image1() const;

    // The resolution builds store pictures at, chosen from the build buttons' context menu
    // among resolutionPresets().
    int pixelsPerInch() const { return pixelsPerInch_; }
    void setPixelsPerInch(int pixelsPerInch);

    // The album options every build takes but for its layout, which is its button's, with
    // each photo's own caption and turns. Set, the look is remembered for new albums; the
    // title and subtitle belong to this album alone.
    const Album& album() const { return album_; }
    void setAlbum(const Album& album);
    // Opens the album window (the "Album window..." item of the build buttons' and the photo
    // list's menus), on this window's photo list and album.
    void showAlbumWindow();
    AlbumWindow* albumWindow() const { return albumWindow_; }
    // Opens the album window on the album a deck holds.
    void openAlbum(const QString& deckPath);
    // The shortcut of "Album window...".
    static constexpr auto kAlbumShortcut = Qt::CTRL | Qt::SHIFT | Qt::Key_A;

    // A build runs on a thread of its own from the click on a build button until its messages
    // have been shown; meanwhile the window paints, shows the progress and takes only Cancel.
    bool building() const;

Q_SIGNALS:
    // The build has ended and its messages have been shown.
    void buildEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void cmdAdd_Click();
    void File1_DblClick();
    void cmdDel_Click();
    void List1_DblClick();
    // `how` the files came: "dropped" or "opened".
    void List1_OLEDragDrop(const DroppedFiles& files);
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdOneOne_Click();
    void Command1_Click();
    void cmdExit_Click();

    void createControls();
    void bindEvents();
    void offerResolutions();
    void showActiveOptions();
    void offerListMenu();
    void sortByDate();
    void showLater(const QString& text, int flags);
    QRect twips(int left, int top, int width, int height) const;
    bool roomFor(int more, bool later = false);
    void runBuild(Layout layout);

    Services services_;
    Settings settings_;
    DriveList* Drive1 = nullptr;
    FolderList* Dir1 = nullptr;
    FileList* File1 = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdDel = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdDown = nullptr;
    PhotoListView* List1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QWidget* Image1 = nullptr;
    QPushButton* cmdOneOne = nullptr;
    QPushButton* Command1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* cmdExit = nullptr;
    FolderBrowser* browser_ = nullptr;
    PhotoListModel* photos_ = nullptr;
    std::unique_ptr<Picture> image1_;
    int pixelsPerInch_ = 0;
    QMenu* resolutionMenu_ = nullptr;
    QMenu* listMenu_ = nullptr;
    QAction* albumAction_ = nullptr;
    QAction* sortAction_ = nullptr;
    Album album_;
    AlbumWindow* albumWindow_ = nullptr;
    // Destroyed before the controls it disables while a build runs.
    std::unique_ptr<BuildRun> builds_;
};

} // namespace slidemill
