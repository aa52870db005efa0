// Thread contract: the window is made, used and destroyed on the GUI thread, and everything here
// runs there. A build's own thread, and what crosses between it and the window, are BuildRun's
// (buildrun.cpp), which the window destroys before its controls.
#include "app/form1.h"

#include "app/albumoptionspanel.h"
#include "app/albumwindow.h"
#include "app/buildrun.h"
#include "app/busycursor.h"
#include "app/handler.h"
#include "app/previewtips.h"
#include "browser/drivelist.h"
#include "browser/filelist.h"
#include "browser/folderbrowser.h"
#include "browser/folderlist.h"
#include "core/folderscan.h"
#include "core/namepattern.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/pptxhost.h"
#include "photolist/photolist.h"
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "slides/builds.h"
#include "slides/resolutions.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <iterator>

namespace slidemill {

namespace {

// A count of things, "1 folder", "3 folders".
QString counted(qsizetype n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Layout is kept in twips, as designed; 1440 to the inch.
constexpr int kTwipsPerInch = 1440;

// The design gives the build buttons room for two lines of a small font; with the desktop's
// font their captions would be cut off, so they wrap onto a second line instead.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
            flags |= Qt::TextHideMnemonic;
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        painter.drawItemText(area, flags, option.palette, isEnabled(), caption,
                             QPalette::ButtonText);
    }
};

} // namespace

Form1::Form1(Services services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)), settings_(services_.settings) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kAppTitle);
    createControls();
    bindEvents();
    offerResolutions();
    album_ = settings_.album();
    offerListMenu();
    showActiveOptions();
    browser_->start();
    Form_Load();
}

Form1::~Form1() = default;

bool Form1::building() const {
    return builds_->running();
}

void Form1::closeEvent(QCloseEvent* event) {
    // The build's thread must not outlive the window; Cancel stops it.
    if (building() || (albumWindow_ && albumWindow_->building())) {
        event->ignore();
        return;
    }
    if (albumWindow_)
        albumWindow_->saveLayout();
    QWidget::closeEvent(event);
}

QRect Form1::twips(int left, int top, int width, int height) const {
    const double dpi = logicalDpiX();
    auto px = [dpi](int t) { return qRound(t * dpi / kTwipsPerInch); };
    return QRect(px(left), px(top), px(width), px(height));
}

void Form1::createControls() {
    setFixedSize(twips(0, 0, 8490, 4875).size());

    // Design order: later controls are created above earlier ones.
    auto button = [this](const char* name, const QString& caption, QRect r) {
        auto* b = new WrappingButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(r);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    Check1 = new QCheckBox(QStringLiteral("&Description"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(twips(3840, 4320, 1215, 255));
    cmdExit = button("cmdExit", QStringLiteral("E&xit"), twips(7080, 4320, 1215, 375));
    Command1 =
        button("Command1", QStringLiteral("&Two Photo One Slide"), twips(1920, 4080, 1695, 615));
    cmdDown = button("cmdDown", QStringLiteral("&DOWN"), twips(4920, 3120, 735, 495));
    cmdUp = button("cmdUp", QStringLiteral("&UP"), twips(4920, 2520, 735, 495));
    photos_ = new PhotoListModel(this);
    List1 = new PhotoListView(photos_, this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twips(5760, 120, 2535, 3765));
    List1->setAccessibleName(QStringLiteral("Photo list"));
    cmdDel = button("cmdDel", QStringLiteral("<"), twips(4920, 1200, 735, 375));
    cmdDel->setAccessibleDescription(QStringLiteral("Remove the current photo from the list"));
    cmdAdd = button("cmdAdd", QStringLiteral(">"), twips(4920, 720, 735, 375));
    cmdAdd->setAccessibleDescription(QStringLiteral("Add the selected files to the photo list"));
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(twips(2520, 120, 2295, 3795));
    Dir1 = new FolderList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twips(120, 480, 2295, 3465));
    Drive1 = new DriveList(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(twips(120, 120, 2295, 315));
    cmdOneOne =
        button("cmdOneOne", QStringLiteral("&One Photo One Slide"), twips(120, 4080, 1695, 615));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twips(5040, 1920, 375, 375));
    Image1->hide();
    Label2 = new QLabel(QStringLiteral("slidemill@example.org"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips(6240, 4680, 2175, 255));
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->lower(); // the Exit button is drawn over it
    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips(5760, 3960, 2535, 255));

    // A wider desktop font would cut "Description" short; the box may take the free room
    // up to the Exit button.
    if (Check1->sizeHint().width() > Check1->width())
        Check1->resize(qMin(Check1->sizeHint().width(), cmdExit->x() - Check1->x()),
                       Check1->height());

    for (QLabel* label : {Label1, Label2})
        label->setFocusPolicy(Qt::NoFocus);
    QWidget* order[] = {Drive1,  Dir1,  File1,     cmdAdd,   cmdDel,  cmdUp,
                        cmdDown, List1, cmdOneOne, Command1, cmdExit, Check1};
    for (QWidget* w : order)
        w->setFocusPolicy(Qt::StrongFocus);
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    // The window opens with the focus on the first control in the focus order.
    Drive1->setFocus();

    File1->setPreviews(&services_.previews);
    photos_->setPreviews(&services_.previews);
    photos_->setFolderReader([](const QString& folder) {
        static const NamePattern pictures(kPicturePattern);
        QStringList names;
        for (const QString& name : scanFolder(folder).files)
            if (pictures.matches(name))
                names << name;
        sortNames(names);
        QStringList paths;
        for (const QString& name : names)
            paths << photoPath(folder, name);
        return paths;
    });
    new PreviewTips(File1, services_.previews);
    new PreviewTips(List1, services_.previews);

    browser_ = new FolderBrowser(
        Drive1, Dir1, File1, services_.volumes, services_.boxes,
        [this](const RuntimeError& e) { reportError(services_.boxes, this, e); }, this);
}

// The resolution of the stored pictures is offered on the build buttons' context menu, so
// the window keeps its controls as designed; the choice is remembered between runs.
void Form1::offerResolutions() {
    pixelsPerInch_ = settings_.pixelsPerInch();
    albumAction_ = new QAction(QStringLiteral("&Album window..."), this);
    albumAction_->setObjectName(QStringLiteral("albumWindow"));
    albumAction_->setShortcut(QKeySequence(kAlbumShortcut));
    albumAction_->setShortcutContext(Qt::WindowShortcut);
    albumAction_->setShortcutVisibleInContextMenu(true);
    addAction(albumAction_);
    connect(albumAction_, &QAction::triggered, this, &Form1::showAlbumWindow);

    resolutionMenu_ = new QMenu(this);
    resolutionMenu_->setObjectName(QStringLiteral("resolutionMenu"));
    resolutionMenu_->addAction(albumAction_);
    resolutionMenu_->addSection(QStringLiteral("Pictures in the presentation"));
    auto* group = new QActionGroup(resolutionMenu_);
    for (const ResolutionPreset& preset : resolutionPresets()) {
        const int ppi = preset.pixelsPerInch;
        QAction* choice = resolutionMenu_->addAction(QLatin1Char('&') + resolutionLabel(preset));
        choice->setCheckable(true);
        choice->setChecked(ppi == pixelsPerInch_);
        choice->setData(ppi);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, ppi] { setPixelsPerInch(ppi); });
    }
    for (QPushButton* button : {cmdOneOne, Command1}) {
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(
            button, &QWidget::customContextMenuRequested, this,
            [this, button](const QPoint& at) { resolutionMenu_->popup(button->mapToGlobal(at)); });
    }
}

void Form1::setPixelsPerInch(int pixelsPerInch) {
    pixelsPerInch_ = pixelsPerInch;
    for (QAction* choice : resolutionMenu_->actions())
        if (choice->isCheckable())
            choice->setChecked(choice->data().toInt() == pixelsPerInch);
    settings_.setPixelsPerInch(pixelsPerInch);
    if (albumWindow_)
        albumWindow_->setAlbum(album_, pixelsPerInch_);
    showActiveOptions();
}

// The photo list's menu: the album window, and the list sorted by the date its photos were
// taken.
void Form1::offerListMenu() {
    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("photoListMenu"));
    listMenu_->addAction(albumAction_);
    listMenu_->addSeparator();
    sortAction_ = listMenu_->addAction(QStringLiteral("Sort by &date taken"));
    sortAction_->setObjectName(QStringLiteral("sortByDate"));
    connect(sortAction_, &QAction::triggered, this,
            [this] { runHandler(services_.boxes, this, [this] { sortByDate(); }); });
    List1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        sortAction_->setEnabled(photos_->count() > 1);
        listMenu_->popup(List1->viewport()->mapToGlobal(at));
    });
}

void Form1::setAlbum(const Album& album) {
    album_ = album;
    settings_.setAlbum(album_);
    if (albumWindow_)
        albumWindow_->setAlbum(album_, pixelsPerInch_);
    showActiveOptions();
}

// The build buttons tell which options differ from the defaults, so that a build is never a
// surprise.
void Form1::showActiveOptions() {
    Album shown = album_;
    shown.build.layout = Layout::OnePerSlide; // each button keeps its own
    QStringList parts;
    if (const QString summary = albumSummary(shown); !summary.isEmpty())
        parts << summary;
    if (pixelsPerInch_ != kDefaultPixelsPerInch)
        parts << resolutionSummary(pixelsPerInch_);
    if (!album_.folder.isEmpty())
        parts << QStringLiteral("saved in ") + printablePath(album_.folder);
    const QString active = parts.join(QLatin1String(", "));
    const QString open = QStringLiteral("Right-click or Ctrl+Shift+A: album window");
    const QString tip = active.isEmpty()
                            ? open
                            : QStringLiteral("Album options: ") + active + QLatin1Char('\n') + open;
    for (QPushButton* button : {cmdOneOne, Command1}) {
        button->setToolTip(tip);
        button->setAccessibleDescription(tip);
    }
    const bool captions = album_.build.caption != Caption::None;
    Check1->setToolTip(captions ? QStringLiteral("The album's captions take the place of the "
                                                 "Description box")
                                : QString());
}

void Form1::showAlbumWindow() {
    if (!albumWindow_) {
        albumWindow_ = new AlbumWindow(AlbumServices{services_.boxes, services_.loader,
                                                     services_.previews, services_.newHost,
                                                     services_.choose, services_.deckPictures,
                                                     services_.showFolder, services_.settings},
                                       photos_, this);
        albumWindow_->setAlbum(album_, pixelsPerInch_);
        connect(albumWindow_, &AlbumWindow::albumEdited, this, [this] {
            const int ppi = albumWindow_->pixelsPerInch();
            if (ppi != pixelsPerInch_)
                setPixelsPerInch(ppi);
            setAlbum(albumWindow_->album());
        });
        connect(albumWindow_, &AlbumWindow::photosEdited, this, [this] {
            UpdateListExtent();
            UpdateAddedCount();
        });
        connect(albumWindow_, &AlbumWindow::photosGiven, this, &Form1::openPhotos);
    }
    albumWindow_->show();
    albumWindow_->raise();
    albumWindow_->activateWindow();
}

void Form1::openAlbum(const QString& deckPath) {
    showAlbumWindow();
    albumWindow_->openDeck(deckPath);
}

// Photos that tell when they were taken in that order, the others after them by their file's
// time, ties by name; an ordinary change of the list, as a move is.
void Form1::sortByDate() {
    if (photos_->count() < 2)
        return;
    const BusyCursor busy;
    photos_->reorder(sortedPhotos(photos_->paths(), SortOrder::Date, services_.loader));
    UpdateListExtent();
    UpdateAddedCount();
}

// A message that must not be shown where it arises (inside a drop, which the file manager
// waits on), shown as soon as the window takes events again.
void Form1::showLater(const QString& text, int flags) {
    QTimer::singleShot(0, this,
                       [this, text, flags] { services_.boxes.show(this, text, kAppTitle, flags); });
}

void Form1::bindEvents() {
    auto bind = [this](auto* sender, auto signal, void (Form1::*handler)()) {
        connect(sender, signal, this, [this, handler] {
            runHandler(services_.boxes, this, [&] { (this->*handler)(); });
        });
    };
    bind(cmdAdd, &QPushButton::clicked, &Form1::cmdAdd_Click);
    bind(File1, &QListWidget::itemDoubleClicked, &Form1::File1_DblClick);
    bind(cmdDel, &QPushButton::clicked, &Form1::cmdDel_Click);
    bind(List1, &QAbstractItemView::doubleClicked, &Form1::List1_DblClick);
    bind(cmdUp, &QPushButton::clicked, &Form1::cmdUp_Click);
    bind(cmdDown, &QPushButton::clicked, &Form1::cmdDown_Click);
    bind(cmdOneOne, &QPushButton::clicked, &Form1::cmdOneOne_Click);
    bind(Command1, &QPushButton::clicked, &Form1::Command1_Click);
    bind(cmdExit, &QPushButton::clicked, &Form1::cmdExit_Click);
    connect(photos_, &PhotoListModel::filesDropped, this, [this](const DroppedFiles& files) {
        runHandler(services_.boxes, this, [&] { List1_OLEDragDrop(files); });
    });

    builds_ = std::make_unique<BuildRun>(
        this, QList<QWidget*>{cmdOneOne, Command1, cmdUp, cmdDown, cmdExit},
        BuildServices{services_.boxes, services_.loader, services_.newHost});
    connect(builds_.get(), &BuildRun::measured, this,
            [this](const Picture& last) { image1_ = std::make_unique<Picture>(last); });
    connect(builds_.get(), &BuildRun::ended, this, &Form1::buildEnded);
}

const Picture* Form1::image1() const {
    return image1_.get();
}

void Form1::Form_Load() {
    UpdateAddedCount();
}

void Form1::UpdateAddedCount() {
    Label1->setText(QStringLiteral("Added ") + QString::number(photos_->count()));
}

void Form1::UpdateListExtent() {
    List1->setHorizontalExtent(listExtent(photos_->shownTexts(), QFontMetricsF(font())));
}

// Indexes are 16-bit: past 32767 entries the list could not be built from. Refusing the
// whole addition keeps the list as it was.
bool Form1::roomFor(int more, bool later) {
    if (photos_->count() + more <= kMaxEntries)
        return true;
    const QString text = QStringLiteral("The photo list holds at most %1 photos. It has %2; "
                                        "the %3 to add would not fit, so none was added.")
                             .arg(kMaxEntries)
                             .arg(photos_->count())
                             .arg(more);
    if (later)
        showLater(text, mbOkOnly | mbExclamation);
    else
        services_.boxes.show(this, text, kAppTitle, mbOkOnly | mbExclamation);
    return false;
}

void Form1::cmdAdd_Click() {
    if (File1->currentRow() == -1)
        return;
    QStringList paths;
    for (int i = 0; i < File1->count(); ++i) {
        if (File1->item(i)->isSelected())
            paths << photoPath(Dir1->path(), File1->name(i));
    }
    if (!roomFor(static_cast<int>(paths.size())))
        return;
    photos_->append(paths);
    UpdateListExtent();
    UpdateAddedCount();
}

void Form1::File1_DblClick() {
    const int current = File1->currentRow();
    if (current < 0 || !roomFor(1))
        return;
    photos_->append({photoPath(Dir1->path(), File1->name(current))});
    UpdateListExtent();
    UpdateAddedCount();
}

void Form1::cmdDel_Click() {
    if (photos_->currentRow() == -1)
        return;
    resumeNext([this] { photos_->removeAt(photos_->currentRow()); });
    resumeNext([this] { UpdateAddedCount(); });
}

void Form1::List1_DblClick() {
    if (photos_->currentRow() == -1)
        return;
    photos_->removeAt(photos_->currentRow());
    UpdateAddedCount();
}

void Form1::openPhotos(const QStringList& paths) {
    runHandler(services_.boxes, this,
               [&] { List1_OLEDragDrop(givenFiles(paths, photos_->folderReader())); });
}

// Files dropped from a file manager: the pictures, and those of the folders, are appended as
// cmdAdd appends the selected files, and the list shows the first of them. What a folder gave
// and what is left out is told in one line, once the drop has returned: the file manager that
// started the drag waits until then.
void Form1::List1_OLEDragDrop(const DroppedFiles& files) {
    const qsizetype added = files.pictures.size();
    if (added > 0) {
        if (!roomFor(static_cast<int>(added), true))
            return;
        const int first = photos_->count();
        photos_->append(files.pictures);
        UpdateListExtent();
        UpdateAddedCount();
        List1->scrollTo(photos_->index(first));
    }
    if (files.folders == 0 && files.others == 0)
        return;
    QStringList leftOut;
    if (files.others > 0)
        leftOut << (files.others == 1
                        ? QStringLiteral("1 file that is not a picture")
                        : QStringLiteral("%1 files that are not pictures").arg(files.others));
    if (files.unreadableFolders > 0)
        leftOut << counted(files.unreadableFolders, "folder that could not be read",
                           "folders that could not be read");
    const int readFolders = files.folders - files.unreadableFolders;
    QString text;
    if (added == 0) {
        QStringList why;
        if (readFolders > 0)
            why << counted(readFolders, "folder without pictures", "folders without pictures");
        why << leftOut;
        text = QStringLiteral("Nothing was added: %1.").arg(why.join(QLatin1String(" and ")));
    } else {
        const QString folders = counted(readFolders, "folder", "folders");
        text = QStringLiteral("Added ") + counted(added, "picture", "pictures");
        if (files.fromFolders == added)
            text += QStringLiteral(" from ") + folders;
        else if (files.fromFolders > 0)
            text += QStringLiteral(", %1 of them from %2").arg(files.fromFolders).arg(folders);
        if (!leftOut.isEmpty())
            text += QStringLiteral("; left out ") + leftOut.join(QLatin1String(" and "));
        text += QLatin1Char('.');
    }
    showLater(text, mbOkOnly | mbInformation);
}

void Form1::cmdUp_Click() {
    photos_->moveSelectedUp();
}

void Form1::cmdDown_Click() {
    photos_->moveSelectedDown();
}

// The build is given the list and the Description box as they stand at the click.
void Form1::runBuild(Layout layout) {
    Album album = album_;
    album.build.photos.clear();
    for (const OwnSettings& own : photos_->allOwnSettings())
        album.build.photos.push_back(PhotoSettings{own.caption, own.quarterTurns});
    builds_->start(layout, photos_->paths(), album, Check1->isChecked(), pixelsPerInch_);
}

void Form1::cmdOneOne_Click() {
    runBuild(Layout::OnePerSlide);
}

void Form1::Command1_Click() {
    runBuild(Layout::TwoPerSlide);
}

void Form1::cmdExit_Click() {
    close();
    QCoreApplication::quit();
}

} // namespace slidemill
