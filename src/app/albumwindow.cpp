// Thread contract: the album window is made, used and destroyed on the GUI thread. Its saves run
// on BuildRun's thread (buildrun.cpp); the pictures are measured here, once each, for the
// sketches.
#include "app/albumwindow.h"

#include "app/albumoptionspanel.h"
#include "app/handler.h"
#include "app/slidesketch.h"
#include "core/namepattern.h"
#include "core/nativepath.h"
#include "core/previews.h"
#include "core/runtimeerror.h"
#include "host/albumreader.h"
#include "host/renderinghost.h"
#include "photolist/photolistmodel.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QCache>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace slidemill {

namespace {

const QString kRowsMime = QStringLiteral("application/x-slidemill-photo-rows");

QString fileName(const QString& path) {
    return printablePath(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

} // namespace

// Each picture measured once for the sketches; the saves measure their own.
class MeasuredOnce : public PictureLoader {
public:
    explicit MeasuredOnce(PictureLoader& inner) : inner_(inner) {}
    Picture load(const QString& path) override {
        if (const auto failed = failed_.constFind(path); failed != failed_.constEnd())
            std::rethrow_exception(*failed);
        if (const auto known = known_.constFind(path); known != known_.constEnd())
            return *known;
        try {
            return *known_.insert(path, inner_.load(path));
        } catch (const RuntimeError&) {
            failed_.insert(path, std::current_exception());
            throw;
        }
    }
    void forget() {
        known_.clear();
        failed_.clear();
    }

private:
    PictureLoader& inner_;
    QHash<QString, Picture> known_;
    QHash<QString, std::exception_ptr> failed_;
};

// The pictures the window shows, decoded from the previews once and kept while there is room;
// each place that wants one is a client of the preview maker, so what scrolls away is no longer
// made.
class Thumbnails : public QObject {
public:
    explicit Thumbnails(PreviewSource& previews) : previews_(previews) {
        images_.setMaxCost(kKeptKiB);
        connect(&previews_, &PreviewSource::made, this, [this](const QString& path) {
            // Every picture kept of it, whole or fitted to a cell.
            for (const QString& key : images_.keys())
                if (key.startsWith(path) &&
                    (key.size() == path.size() || key.at(path.size()) < QLatin1Char(' ')))
                    images_.remove(key);
        });
    }
    ~Thumbnails() override {
        for (const void* client : std::as_const(asked_))
            previews_.want(client, {});
    }

    // The picture upright, greyed when asked; null until its preview is made, which `client`
    // then asks for.
    QImage image(const void* client, const QString& path, bool grey = false) {
        const QString key = grey ? path + QLatin1Char('\0') : path;
        if (const QImage* kept = images_.object(key))
            return *kept;
        const std::optional<Preview> preview = previews_.find(path);
        if (!preview || preview->pending) {
            asked_.insert(client);
            previews_.want(client, path);
        }
        if (!preview || preview->thumbnail.isEmpty())
            return {};
        QImage image = QImage::fromData(preview->thumbnail);
        if (grey)
            image = image.convertToFormat(QImage::Format_Grayscale8);
        images_.insert(key, new QImage(image),
                       int(std::max<qsizetype>(1, image.sizeInBytes() >> 10)));
        return image;
    }
    // The picture turned `turns` quarters and scaled smoothly, once, to fit `frame`: a cell
    // then paints a plain copy, and the room kept holds more cells.
    QImage fitted(const void* client, const QString& path, int turns, QSize frame) {
        const QString key =
            path + QStringLiteral("\x01%1 %2x%3").arg(turns).arg(frame.width()).arg(frame.height());
        if (const QImage* kept = images_.object(key))
            return *kept;
        QImage image = this->image(client, path);
        if (image.isNull())
            return image;
        if (turns)
            image = image.transformed(QTransform().rotate(90.0 * turns));
        image = image.scaled(frame, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        images_.insert(key, new QImage(image),
                       int(std::max<qsizetype>(1, image.sizeInBytes() >> 10)));
        return image;
    }
    PreviewSource& previews() { return previews_; }

private:
    // About 250 cells' worth.
    static constexpr int kKeptKiB = 48 * 1024;
    PreviewSource& previews_;
    QCache<QString, QImage> images_;
    QSet<const void*> asked_;
};

// The photo list as the grid shows it: each entry by its file's name, described with its
// caption and place.
class PhotoCells : public QIdentityProxyModel {
public:
    PhotoCells(PhotoListModel* photos, QString deckPictures, QObject* parent)
        : QIdentityProxyModel(parent), photos_(photos), deckPictures_(std::move(deckPictures)) {
        setSourceModel(photos);
    }

    bool fromDeck(const QString& path) const {
        return !deckPictures_.isEmpty() && isDeckPicture(path, deckPictures_);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const QString path = QIdentityProxyModel::data(index, kPreviewPathRole).toString();
        switch (role) {
        case Qt::DisplayRole:
            return fromDeck(path) ? QStringLiteral("From the deck") : fileName(path);
        case Qt::AccessibleTextRole: {
            QString text = fileName(path);
            const QString caption = index.data(PhotoListModel::kCaptionRole).toString();
            if (!caption.isEmpty())
                text += QStringLiteral(", caption: ") + caption;
            const int turns = index.data(PhotoListModel::kTurnsRole).toInt();
            if (turns != 0)
                text += QStringLiteral(", turned");
            return text + QStringLiteral(", %1 of %2").arg(index.row() + 1).arg(rowCount());
        }
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                               : Qt::ItemIsDropEnabled;
    }
    QStringList mimeTypes() const override { return QIdentityProxyModel::mimeTypes() << kRowsMime; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        QByteArray rows;
        for (const QModelIndex& index : indexes)
            rows += QByteArray::number(index.row()) + '\n';
        auto* data = new QMimeData;
        data->setData(kRowsMime, rows);
        return data;
    }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override {
        return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                         const QModelIndex&) const override {
        return data && (data->hasFormat(kRowsMime) || data->hasUrls());
    }
    // Rows of this grid move to where they are dropped; files from elsewhere are given to the
    // photo list as any dropped files are, never moved.
    bool dropMimeData(const QMimeData* data, Qt::DropAction, int row, int column,
                      const QModelIndex& parent) override {
        if (!data)
            return false;
        if (data->hasFormat(kRowsMime)) {
            QList<int> rows;
            for (const QByteArray& line : data->data(kRowsMime).split('\n'))
                if (!line.isEmpty())
                    rows << line.toInt();
            const int before = parent.isValid() ? parent.row() : row < 0 ? rowCount() : row;
            photos_->moveEntries(rows, before);
            return true;
        }
        return photos_->dropMimeData(data, Qt::CopyAction, -1, column, {});
    }

private:
    PhotoListModel* photos_;
    QString deckPictures_;
};

namespace {

constexpr QSize kCell(172, 180);
constexpr int kPictureHeight = 120;

// The grid's cells: the picture upright (and as turned), its name and its caption.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(Thumbnails& thumbnails, const PhotoCells& cells, QObject* parent)
        : QStyledItemDelegate(parent), thumbnails_(thumbnails), cells_(cells) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return kCell - QSize(8, 8);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        p->save();
        const QRect r = option.rect;
        const QPalette& palette = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            p->fillRect(r, palette.highlight());
        else if (option.state & QStyle::State_MouseOver)
            p->fillRect(r, palette.alternateBase());
        const QString path = index.data(kPreviewPathRole).toString();
        // Clients by place on the screen: a cell scrolled away lets its preview go.
        const void* client = clients_.get() + index.row() % kClients;
        const QRect frame(r.left() + 4, r.top() + 4, r.width() - 8, kPictureHeight);
        const int turns = ((index.data(PhotoListModel::kTurnsRole).toInt() % 4) + 4) % 4;
        const QImage image = thumbnails_.fitted(client, path, turns, frame.size());
        if (image.isNull()) {
            p->fillRect(frame.adjusted(16, 8, -16, -8), QColor(128, 128, 128, 64));
        } else {
            const QSize size = image.size();
            p->drawImage(QPoint(frame.left() + (frame.width() - size.width()) / 2,
                                frame.top() + (frame.height() - size.height()) / 2),
                         image);
        }
        p->setPen(selected ? palette.highlightedText().color() : palette.text().color());
        const QFontMetrics metrics(option.font);
        const int line = metrics.height();
        QRect text(r.left() + 4, frame.bottom() + 4, r.width() - 8, line);
        p->setFont(option.font);
        const QString name = index.data(Qt::DisplayRole).toString();
        p->drawText(text, Qt::AlignHCenter | Qt::AlignTop,
                    metrics.elidedText(name, Qt::ElideMiddle, text.width()));
        const QString caption = index.data(PhotoListModel::kCaptionRole).toString();
        if (!caption.isEmpty()) {
            QFont italic = option.font;
            italic.setItalic(true);
            p->setFont(italic);
            text.translate(0, line);
            p->drawText(text, Qt::AlignHCenter | Qt::AlignTop,
                        QFontMetrics(italic).elidedText(caption, Qt::ElideRight, text.width()));
        }
        if (cells_.fromDeck(path)) {
            // Marked: the photo's own file is gone, the deck's picture stands in for it.
            p->setPen(QPen(palette.link().color(), 2, Qt::DashLine));
            p->setBrush(Qt::NoBrush);
            p->drawRect(frame.adjusted(1, 1, -1, -1));
        }
        if (option.state & QStyle::State_HasFocus) {
            p->setPen(QPen(palette.highlight().color().darker(), 1, Qt::DotLine));
            p->drawRect(r.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

    static constexpr int kClients = 96;

private:
    Thumbnails& thumbnails_;
    const PhotoCells& cells_;
    // The preview maker's keys for the cells.
    std::unique_ptr<char[]> clients_ = std::make_unique<char[]>(kClients);
};

// The grid: Delete removes the selected photos, Ctrl with an arrow moves them; a drop that is
// not a move of its own cells is always a copy, so a file manager never takes the files away.
class PhotoGrid : public QListView {
public:
    using QListView::QListView;
    std::function<void()> removeSelected;
    std::function<void(int step)> moveSelected;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Delete && removeSelected) {
            removeSelected();
            return;
        }
        if ((event->modifiers() & Qt::ControlModifier) && moveSelected) {
            const int key = event->key();
            if (key == Qt::Key_Left || key == Qt::Key_Up) {
                moveSelected(-1);
                return;
            }
            if (key == Qt::Key_Right || key == Qt::Key_Down) {
                moveSelected(+1);
                return;
            }
        }
        QListView::keyPressEvent(event);
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        QListView::dragMoveEvent(event);
        if (!event->mimeData()->hasFormat(kRowsMime))
            event->setDropAction(Qt::CopyAction);
        event->accept();
    }
    void dropEvent(QDropEvent* event) override {
        const QModelIndex on = indexAt(event->position().toPoint());
        int before = model()->rowCount();
        if (on.isValid()) {
            // Before the cell when dropped on its first half, after it otherwise.
            const QRect r = visualRect(on);
            before = on.row() + (event->position().x() > r.center().x() ? 1 : 0);
        }
        model()->dropMimeData(event->mimeData(), Qt::CopyAction, before, 0, {});
        // Never Move: the drag's source would remove what it gave.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
};

// The slides as the build makes them, one entry each.
class SlideModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    void setDeck(const DeckSketch* deck) {
        const int before = rowCount();
        const int after = deck ? int(deck->slides.size()) : 0;
        deck_ = deck;
        if (before != after) {
            beginResetModel();
            endResetModel();
        } else if (after > 0) {
            Q_EMIT dataChanged(index(0), index(after - 1));
        }
    }
    const DeckSketch* deck() const { return deck_; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !deck_ ? 0 : int(deck_->slides.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid))
            return {};
        const std::size_t k = std::size_t(index.row());
        const SketchSlide& slide = deck_->slides[k];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: {
            QString text = QStringLiteral("Slide %1 of %2").arg(index.row() + 1).arg(rowCount());
            if (slide.title)
                return text + QStringLiteral(", the title slide");
            QStringList shown;
            for (const SketchShape& s : slide.shapes)
                if (s.kind == SketchShape::Kind::Picture)
                    shown << fileName(s.path);
            if (!shown.isEmpty())
                text += QStringLiteral(": ") + shown.join(QStringLiteral(", "));
            return text;
        }
        default:
            return {};
        }
    }

private:
    const DeckSketch* deck_ = nullptr;
};

class SlideDelegate : public QStyledItemDelegate {
public:
    SlideDelegate(Thumbnails& thumbnails, QObject* parent)
        : QStyledItemDelegate(parent), thumbnails_(thumbnails) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {144, 96};
    }
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto* model = static_cast<const SlideModel*>(index.model());
        const DeckSketch* deck = model->deck();
        if (!deck)
            return;
        if (option.state & QStyle::State_Selected)
            p->fillRect(option.rect, option.palette.highlight());
        Sketch one{deck->slideSize, deck->background, deck->slides[std::size_t(index.row())]};
        const QSizeF size =
            one.slideSize.scaled(QSizeF(option.rect.size() - QSize(8, 8)), Qt::KeepAspectRatio);
        const QRectF at(option.rect.left() + (option.rect.width() - size.width()) / 2,
                        option.rect.top() + (option.rect.height() - size.height()) / 2,
                        size.width(), size.height());
        int slot = 0;
        const char* base = clients_.get() + (index.row() % kSlides) * 4;
        paintSketch(
            *p, at, one,
            [&](const QString& path, bool grey) {
                return thumbnails_.image(base + std::min(slot++, 3), path, grey);
            },
            option.font, option.widget ? option.widget->logicalDpiY() : 96);
    }

private:
    // Slides on the screen at once, at most; four pictures each.
    static constexpr int kSlides = 16;
    Thumbnails& thumbnails_;
    std::unique_ptr<char[]> clients_ = std::make_unique<char[]>(kSlides * 4);
};

} // namespace

// A strip of every slide, one row, scrolled sideways.
class SlideStrip : public QListView {
public:
    SlideStrip(Thumbnails& thumbnails, QWidget* parent) : QListView(parent) {
        setObjectName(QStringLiteral("slideStrip"));
        setAccessibleName(QStringLiteral("Slides"));
        setFlow(QListView::LeftToRight);
        setWrapping(false);
        setUniformItemSizes(true);
        setSpacing(4);
        setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setModel(&slides_);
        setItemDelegate(new SlideDelegate(thumbnails, this));
        setMinimumHeight(96 + 8 + horizontalScrollBar()->sizeHint().height() + 2 * frameWidth());
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(minimumHeight());
    }
    SlideModel& slides() { return slides_; }

private:
    SlideModel slides_;
};

QStringList askWithFileDialog(QWidget* parent, FileQuestion question, const QString& suggested) {
    const QString decks = QStringLiteral("Presentations (*.pptx *.ppsx)");
    switch (question) {
    case FileQuestion::OpenDeck: {
        const QString path =
            QFileDialog::getOpenFileName(parent, QStringLiteral("Open Album"), suggested, decks);
        return path.isEmpty() ? QStringList() : QStringList{path};
    }
    case FileQuestion::SaveDeck: {
        // The name's extension tells the kind; a name without one takes the chosen filter's.
        const QList<QPair<QString, QString>> kinds{
            {QStringLiteral("Presentation (*.pptx)"), QStringLiteral(".pptx")},
            {QStringLiteral("Slide show, opens playing (*.ppsx)"), QStringLiteral(".ppsx")},
            {QStringLiteral("Video (*.mp4)"), QStringLiteral(".mp4")},
            {QStringLiteral("PDF (*.pdf)"), QStringLiteral(".pdf")}};
        QStringList filters;
        QString filter = kinds.first().first;
        for (const auto& [name, extension] : kinds) {
            filters << name;
            if (suggested.endsWith(extension, Qt::CaseInsensitive))
                filter = name;
        }
        QString path =
            QFileDialog::getSaveFileName(parent, QStringLiteral("Save Album As"), suggested,
                                         filters.join(QStringLiteral(";;")), &filter);
        if (path.isEmpty())
            return {};
        QString type;
        bool named = false;
        for (const auto& [name, extension] : kinds) {
            if (name == filter)
                type = extension;
            named = named || path.endsWith(extension, Qt::CaseInsensitive);
        }
        if (!named)
            path += type;
        return {path};
    }
    case FileQuestion::AddPhotos:
        return QFileDialog::getOpenFileNames(
            parent, QStringLiteral("Add Photos"), suggested,
            QStringLiteral("Pictures (%1)").arg(QString(kPicturePattern).replace(';', ' ')));
    }
    return {};
}

AlbumWindow::AlbumWindow(AlbumServices services, PhotoListModel* photos, QWidget* parent)
    : QMainWindow(parent, Qt::Window), services_(std::move(services)), photos_(photos),
      thumbnails_(std::make_unique<Thumbnails>(services_.previews)),
      deck_(std::make_unique<DeckSketch>()),
      measured_(std::make_unique<MeasuredOnce>(services_.loader)) {
    setObjectName(QStringLiteral("albumWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    if (!services_.choose)
        services_.choose = askWithFileDialog;
    createWidgets();
    createActions();
    builds_ = std::make_unique<BuildRun>(
        this, QList<QWidget*>{centralWidget(), menuBar()},
        BuildServices{services_.boxes, services_.loader, services_.newHost});
    connect(builds_.get(), &BuildRun::saved, this, [this](const QString& path, bool complete) {
        // Only a save makes a deck the album's: a show to play or a new presentation is a copy,
        // and a video or a PDF cannot be opened again as an album.
        if (!complete || std::exchange(saving_, false) == false)
            return;
        if (deckKindOf(path) != DeckKind::Presentation) {
            status_->setText(QStringLiteral("Saved a copy as ") + printablePath(path));
            return;
        }
        file_ = path;
        dirty_ = false;
        status_->setText(QStringLiteral("Saved as ") + printablePath(path));
        showTitle();
    });
    connect(builds_.get(), &BuildRun::ended, this, [this] {
        saving_ = false;
        if (std::exchange(playAfterSave_, false) && !dirty_)
            play();
        Q_EMIT buildEnded();
    });
    restoreLayout();
    showTitle();
    redraw();
}

AlbumWindow::~AlbumWindow() {
    // A save still running stops here, before the widgets it disables.
    builds_.reset();
}

void AlbumWindow::createWidgets() {
    cells_ = new PhotoCells(photos_, QDir::cleanPath(services_.deckPictures), this);
    auto* grid = new PhotoGrid(this);
    grid_ = grid;
    grid_->setObjectName(QStringLiteral("photoGrid"));
    grid_->setAccessibleName(QStringLiteral("Photos"));
    grid_->setViewMode(QListView::IconMode);
    grid_->setMovement(QListView::Static);
    grid_->setResizeMode(QListView::Adjust);
    grid_->setUniformItemSizes(true);
    grid_->setLayoutMode(QListView::Batched);
    grid_->setBatchSize(200);
    grid_->setGridSize(kCell);
    grid_->setWrapping(true);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setDragEnabled(true);
    grid_->setAcceptDrops(true);
    grid_->setDropIndicatorShown(true);
    grid_->setDragDropMode(QAbstractItemView::DragDrop);
    grid_->setDefaultDropAction(Qt::CopyAction);
    grid_->setModel(cells_);
    grid_->setItemDelegate(new CellDelegate(*thumbnails_, *cells_, grid_));
    grid_->setMinimumWidth(kCell.width() * 2);
    grid->removeSelected = [this] { removeSelected(); };
    grid->moveSelected = [this](int step) { moveSelected(step); };

    preview_ = new SlideSketchView(services_.previews, this);
    preview_->setObjectName(QStringLiteral("slidePreview"));
    preview_->setAccessibleName(QStringLiteral("The current photo's slide"));
    preview_->setMinimumSize(240, 180);

    place_ = new QLabel(this);
    place_->setObjectName(QStringLiteral("photoPlace"));
    place_->setTextFormat(Qt::PlainText);
    origin_ = new QLabel(this);
    origin_->setObjectName(QStringLiteral("photoOrigin"));
    origin_->setWordWrap(true);
    caption_ = new QLineEdit(this);
    caption_->setObjectName(QStringLiteral("photoCaption"));
    caption_->setAccessibleName(QStringLiteral("Caption of this photo"));
    caption_->setPlaceholderText(QStringLiteral("The album's caption"));
    caption_->setClearButtonEnabled(true);
    auto* captionLabel = new QLabel(QStringLiteral("&Caption:"), this);
    captionLabel->setBuddy(caption_);
    auto turnButton = [this](const char* name, const QString& text, const QString& tip,
                             int quarters) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setFocusPolicy(Qt::StrongFocus);
        connect(b, &QToolButton::clicked, this, [this, quarters] { turn(quarters); });
        return b;
    };
    auto* left = turnButton("turnLeft", QStringLiteral("Turn left"),
                            QStringLiteral("Turn left a quarter (Ctrl+L)"), -1);
    auto* right = turnButton("turnRight", QStringLiteral("Turn right"),
                             QStringLiteral("Turn right a quarter (Ctrl+R)"), 1);
    auto* photoRow = new QHBoxLayout;
    photoRow->addWidget(captionLabel);
    photoRow->addWidget(caption_, 1);
    photoRow->addWidget(left);
    photoRow->addWidget(right);
    connect(caption_, &QLineEdit::textEdited, this, &AlbumWindow::captionEdited);

    strip_ = new SlideStrip(*thumbnails_, this);
    connect(strip_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& slide) {
                if (!slide.isValid())
                    return;
                const qsizetype first = deck_->firstPhoto[std::size_t(slide.row())];
                if (first >= 0 && first != currentPhoto())
                    setCurrentPhoto(int(first));
            });

    auto* middle = new QWidget(this);
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    middleLayout->addWidget(preview_, 1);
    middleLayout->addWidget(place_);
    middleLayout->addLayout(photoRow);
    middleLayout->addWidget(origin_);
    middleLayout->addWidget(strip_);

    options_ = new AlbumOptionsPanel(this);
    connect(options_, &AlbumOptionsPanel::changed, this, &AlbumWindow::optionsEdited);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("optionsPanel"));
    scroll->setWidget(options_);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(options_->sizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width());

    columns_ = new QSplitter(Qt::Horizontal, this);
    columns_->setObjectName(QStringLiteral("albumColumns"));
    columns_->addWidget(grid_);
    columns_->addWidget(middle);
    columns_->addWidget(scroll);
    columns_->setStretchFactor(0, 3);
    columns_->setStretchFactor(1, 4);
    columns_->setStretchFactor(2, 0);
    columns_->setChildrenCollapsible(false);
    setCentralWidget(columns_);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("albumStatus"));
    statusBar()->addWidget(status_, 1);

    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &AlbumWindow::currentChanged);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(photos_, signal, this, &AlbumWindow::listChanged);
    connect(photos_, &QAbstractItemModel::modelReset, this, &AlbumWindow::listChanged);
    connect(photos_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                // A preview made changes nothing of the album.
                if (roles.isEmpty() || roles.contains(PhotoListModel::kCaptionRole))
                    listChanged();
            });
    setTabOrder(grid_, caption_);
    setTabOrder(caption_, left);
    setTabOrder(left, right);
    setTabOrder(right, strip_);
    setTabOrder(strip_, options_);
}

void AlbumWindow::createActions() {
    auto action = [this](const char* name, const QString& text, const QKeySequence& keys,
                         auto slot) {
        auto* a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        if (!keys.isEmpty())
            a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this,
                [this, slot] { runHandler(services_.boxes, this, [&] { slot(); }); });
        addAction(a);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Album"));
    file->addAction(action("newAlbum", QStringLiteral("&New Photo Show"), QKeySequence::New,
                           [this] { newAlbum(Album()); }));
    file->addAction(action("openAlbum", QStringLiteral("&Open..."), QKeySequence::Open,
                           [this] { openAsked(); }));
    QAction* save =
        action("saveAlbum", QStringLiteral("&Save"), QKeySequence::Save, [this] { this->save(); });
    file->addAction(save);
    file->addAction(action("saveAlbumAs", QStringLiteral("Save &As..."), QKeySequence::SaveAs,
                           [this] { saveAs(); }));
    file->addSeparator();
    QAction* playAction =
        action("playAlbum", QStringLiteral("&Play"), QKeySequence(Qt::Key_F5), [this] { play(); });
    file->addAction(playAction);
    file->addAction(action("buildAlbum", QStringLiteral("&Build a New Presentation"),
                           QKeySequence(Qt::CTRL | Qt::Key_B), [this] { buildAlbum(); }));
    file->addSeparator();
    file->addAction(
        action("closeAlbum", QStringLiteral("&Close"), QKeySequence::Close, [this] { close(); }));

    QMenu* photo = menuBar()->addMenu(QStringLiteral("&Photos"));
    photo->addAction(action("addPhotos", QStringLiteral("&Add Photos..."),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                            [this] { addPhotos(); }));
    QAction* remove =
        action("removePhotos", QStringLiteral("&Remove"), {}, [this] { removeSelected(); });
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut); // the grid takes Delete itself
    photo->addAction(remove);
    photo->addAction(action("moveEarlier", QStringLiteral("Move &Earlier"),
                            QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { moveSelected(-1); }));
    photo->addAction(action("moveLater", QStringLiteral("Move &Later"),
                            QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { moveSelected(1); }));
    photo->addAction(action("sortByDateTaken", QStringLiteral("Sort by &Date Taken"), {},
                            [this] { sortByDate(); }));
    photo->addSeparator();
    photo->addAction(action("turnLeftAction", QStringLiteral("Turn &Left"),
                            QKeySequence(Qt::CTRL | Qt::Key_L), [this] { turn(-1); }));
    photo->addAction(action("turnRightAction", QStringLiteral("Turn &Right"),
                            QKeySequence(Qt::CTRL | Qt::Key_R), [this] { turn(1); }));

    QToolBar* bar = addToolBar(QStringLiteral("Album"));
    bar->setObjectName(QStringLiteral("albumToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addAction(file->actions().value(1)); // Open
    bar->addAction(save);
    bar->addAction(playAction);
}

void AlbumWindow::restoreLayout() {
    resize(1240, 760);
    // The photos take most of the room, the options what they need.
    const int options = columns_->widget(2)->minimumSizeHint().width();
    columns_->setSizes({(1240 - options) * 5 / 9, (1240 - options) * 4 / 9, options});
    if (!services_.settings)
        return;
    services_.settings->beginGroup(QStringLiteral("albumWindow"));
    restoreGeometry(services_.settings->value(QStringLiteral("geometry")).toByteArray());
    columns_->restoreState(services_.settings->value(QStringLiteral("columns")).toByteArray());
    services_.settings->endGroup();
}

void AlbumWindow::closeEvent(QCloseEvent* event) {
    if (building()) {
        event->ignore();
        return;
    }
    saveLayout();
    QMainWindow::closeEvent(event);
}

void AlbumWindow::saveLayout() {
    if (!services_.settings || !isVisible())
        return;
    services_.settings->beginGroup(QStringLiteral("albumWindow"));
    services_.settings->setValue(QStringLiteral("geometry"), saveGeometry());
    services_.settings->setValue(QStringLiteral("columns"), columns_->saveState());
    services_.settings->endGroup();
}

bool AlbumWindow::building() const {
    return builds_ && builds_->running();
}

const DeckSketch& AlbumWindow::deck() const {
    return *deck_;
}

void AlbumWindow::setAlbum(const Album& album, int pixelsPerInch) {
    if (album == album_ && pixelsPerInch == pixelsPerInch_)
        return;
    album_ = album;
    pixelsPerInch_ = pixelsPerInch;
    options_->setAlbum(album_, pixelsPerInch_);
    redrawSoon();
}

void AlbumWindow::optionsEdited() {
    album_ = options_->album();
    pixelsPerInch_ = options_->pixelsPerInch();
    dirty_ = true;
    showTitle();
    redrawSoon();
    Q_EMIT albumEdited();
}

BuildOptions AlbumWindow::buildOptions() const {
    BuildOptions options = album_.build;
    options.photos.clear();
    for (const OwnSettings& own : photos_->allOwnSettings())
        options.photos.push_back(PhotoSettings{own.caption, own.quarterTurns});
    return options;
}

void AlbumWindow::listChanged() {
    dirty_ = true;
    showTitle();
    redrawSoon();
}

// Many changes at once (a sort, a drop of hundreds) draw once.
void AlbumWindow::redrawSoon() {
    if (redrawQueued_)
        return;
    redrawQueued_ = true;
    QTimer::singleShot(0, this, &AlbumWindow::redraw);
}

void AlbumWindow::redraw() {
    redrawQueued_ = false;
    *deck_ = sketchDeck(photos_->paths(), buildOptions(), *measured_);
    strip_->slides().setDeck(deck_.get());
    options_->setSlideCount(qsizetype(deck_->slides.size()));
    currentChanged();
    if (dirty_ || file_.isEmpty())
        status_->setText(QStringLiteral("%1 photos on %2 slides")
                             .arg(photos_->count())
                             .arg(deck_->slides.size()));
    Q_EMIT redrawn();
}

int AlbumWindow::currentPhoto() const {
    return grid_->currentIndex().row();
}

void AlbumWindow::setCurrentPhoto(int row) {
    grid_->setCurrentIndex(cells_->index(row, 0));
    grid_->scrollTo(cells_->index(row, 0));
}

QList<int> AlbumWindow::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
        rows << index.row();
    if (rows.isEmpty() && currentPhoto() >= 0)
        rows << currentPhoto();
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The current photo's slide, its place and its own settings.
void AlbumWindow::currentChanged() {
    const int row = currentPhoto();
    const bool any = row >= 0 && row < photos_->count();
    caption_->setEnabled(any);
    for (const char* name : {"turnLeft", "turnRight"})
        findChild<QToolButton*>(QLatin1String(name))->setEnabled(any);
    const QStringList& paths = photos_->paths();
    if (!any) {
        place_->setText(paths.isEmpty() ? QStringLiteral("No photos yet: add them here or in the "
                                                         "main window.")
                                        : QStringLiteral("Pick a photo to see its slide."));
        caption_->clear();
        origin_->clear();
    } else {
        const OwnSettings own = photos_->ownSettings(row);
        place_->setText(QStringLiteral("%1 of %2: %3")
                            .arg(row + 1)
                            .arg(paths.size())
                            .arg(fileName(paths[row])));
        if (caption_->text() != own.caption)
            caption_->setText(own.caption);
        origin_->setText(cells_->fromDeck(paths[row])
                             ? QStringLiteral("Its own file is gone: the picture stored in the "
                                              "deck stands in for it.")
                             : QString());
    }
    const qsizetype slide = any ? deck_->slideOf(row) : deck_->slides.empty() ? -1 : 0;
    Sketch sketch{deck_->slideSize, deck_->background, {}};
    if (slide >= 0)
        sketch.slide = deck_->slides[std::size_t(slide)];
    preview_->setSketch(sketch);
    if (slide >= 0 && strip_->currentIndex().row() != slide) {
        const QSignalBlocker quiet(strip_->selectionModel());
        strip_->setCurrentIndex(strip_->slides().index(int(slide)));
        strip_->scrollTo(strip_->slides().index(int(slide)));
        strip_->viewport()->update();
    }
}

void AlbumWindow::captionEdited(const QString& text) {
    const int row = currentPhoto();
    if (row < 0)
        return;
    OwnSettings own = photos_->ownSettings(row);
    own.caption = text;
    photos_->setOwnSettings(row, own);
}

void AlbumWindow::turn(int quarters) {
    for (const int row : selectedRows()) {
        OwnSettings own = photos_->ownSettings(row);
        own.quarterTurns = ((own.quarterTurns + quarters) % 4 + 4) % 4;
        photos_->setOwnSettings(row, own);
    }
    grid_->viewport()->update();
}

void AlbumWindow::removeSelected() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const int next = rows.first();
    photos_->removeEntries(rows);
    if (photos_->count() > 0)
        setCurrentPhoto(std::min(next, photos_->count() - 1));
    Q_EMIT photosEdited();
}

void AlbumWindow::moveSelected(int step) {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const int before = step < 0 ? rows.first() - 1 : rows.last() + 2;
    if (before < 0 || before > photos_->count())
        return;
    const QString current = photos_->paths().value(currentPhoto());
    const int currentAt = rows.indexOf(currentPhoto());
    photos_->moveEntries(rows, before);
    // The moved run stays selected, the current one with it.
    const int first = step < 0 ? rows.first() - 1 : before - int(rows.size());
    QItemSelection moved;
    moved.select(cells_->index(first, 0), cells_->index(first + int(rows.size()) - 1, 0));
    grid_->selectionModel()->select(moved, QItemSelectionModel::ClearAndSelect);
    grid_->selectionModel()->setCurrentIndex(cells_->index(first + std::max(0, currentAt), 0),
                                             QItemSelectionModel::NoUpdate);
    Q_UNUSED(current);
    Q_EMIT photosEdited();
}

void AlbumWindow::sortByDate() {
    if (photos_->count() < 2)
        return;
    photos_->reorder(sortedPhotos(photos_->paths(), SortOrder::Date, *measured_));
    Q_EMIT photosEdited();
}

void AlbumWindow::addPhotos() {
    const QStringList chosen = services_.choose(this, FileQuestion::AddPhotos, QDir::homePath());
    if (!chosen.isEmpty())
        Q_EMIT photosGiven(chosen);
}

void AlbumWindow::showTitle() {
    const QString name =
        file_.isEmpty() ? QStringLiteral("New photo show") : QFileInfo(file_).fileName();
    setWindowTitle(QStringLiteral("%1[*] - Slidemill album").arg(printablePath(name)));
    setWindowModified(dirty_ && !file_.isEmpty());
}

// Whether what is here may be replaced: nothing unsaved, or the user says so.
bool AlbumWindow::keepChanges() {
    if (!dirty_ || photos_->count() == 0)
        return false;
    const int reply = services_.boxes.show(
        this,
        QStringLiteral("The album's %1 photos have changes that are not saved in a deck. "
                       "Replace them anyway?")
            .arg(photos_->count()),
        kAppTitle, mbYesNo | mbExclamation);
    return reply != mbReplyYes;
}

void AlbumWindow::newAlbum(const Album& defaults) {
    if (building() || keepChanges())
        return;
    photos_->clear();
    photos_->forgetOwnSettings();
    Album fresh = defaults;
    fresh.build.title.clear();
    fresh.build.subtitle.reset();
    album_ = fresh;
    options_->setAlbum(album_, pixelsPerInch_);
    file_.clear();
    dirty_ = false;
    status_->clear();
    showTitle();
    redrawSoon();
    Q_EMIT albumEdited();
    Q_EMIT photosEdited();
}

void AlbumWindow::openAsked() {
    const QStringList chosen =
        services_.choose(this, FileQuestion::OpenDeck,
                         file_.isEmpty() ? QDir::homePath() : QFileInfo(file_).absolutePath());
    if (!chosen.isEmpty())
        openDeck(chosen.first());
}

bool AlbumWindow::openDeck(const QString& path) {
    if (building())
        return false;
    // Read first: a deck that cannot be opened asks nobody to give up what is here.
    OpenedAlbum opened;
    try {
        opened = openAlbumDeck(path, services_.deckPictures);
    } catch (const RuntimeError& e) {
        services_.boxes.show(this, e.report(), kAppTitle, mbOkOnly | mbExclamation);
        return false;
    }
    if (keepChanges())
        return false;
    QStringList paths;
    for (const RecipePhoto& photo : opened.recipe.photos)
        paths << photo.path;
    if (paths.size() > 32767) {
        services_.boxes.show(this,
                             QStringLiteral("%1\nThe deck holds more photos than a photo list "
                                            "can: %2.")
                                 .arg(printablePath(path))
                                 .arg(paths.size()),
                             kAppTitle, mbOkOnly | mbExclamation);
        return false;
    }
    photos_->clear();
    photos_->forgetOwnSettings();
    photos_->append(paths);
    for (int row = 0; row < paths.size(); ++row) {
        const RecipePhoto& photo = opened.recipe.photos[std::size_t(row)];
        OwnSettings own{photo.caption, photo.quarterTurns};
        // A box edited in a presentation application since says what the user wants now.
        if (!photo.deckText.isEmpty() && photo.deckText != photo.text &&
            photo.deckText != QLatin1String("Description"))
            own.caption = photo.deckText;
        photos_->setOwnSettings(row, own);
    }
    measured_->forget();
    album_ = opened.recipe.album;
    options_->setAlbum(album_, pixelsPerInch_);
    const bool deck = path.endsWith(QLatin1String(".pptx"), Qt::CaseInsensitive) ||
                      path.endsWith(QLatin1String(".ppsx"), Qt::CaseInsensitive);
    file_ = opened.hadRecipe && deck ? path : QString();
    dirty_ = false;
    redraw();
    dirty_ = false;
    status_->setText(
        QStringLiteral("Opened %1: %2 photos").arg(printablePath(path)).arg(paths.size()));
    showTitle();
    if (!paths.isEmpty())
        setCurrentPhoto(0);
    Q_EMIT albumEdited();
    Q_EMIT photosEdited();
    return true;
}

void AlbumWindow::save() {
    if (file_.isEmpty())
        saveAs();
    else
        startSave(file_, false);
}

void AlbumWindow::saveAs() {
    QString suggested = file_;
    if (suggested.isEmpty()) {
        const QString folder = album_.folder.isEmpty() ? QDir::homePath() : album_.folder;
        const QString name =
            album_.build.title.isEmpty() ? QStringLiteral("Photo show") : album_.build.title;
        suggested = folder + QLatin1Char('/') +
                    QString(name).replace(QLatin1Char('/'), QLatin1Char('-')) +
                    QStringLiteral(".pptx");
    }
    const QStringList chosen = services_.choose(this, FileQuestion::SaveDeck, suggested);
    if (!chosen.isEmpty())
        saveTo(chosen.first());
}

void AlbumWindow::saveTo(const QString& path) {
    startSave(path, false);
}

void AlbumWindow::startSave(const QString& path, bool open) {
    if (building())
        return;
    if (photos_->count() == 0) {
        services_.boxes.show(this, QStringLiteral("The album has no photos to save yet."),
                             kAppTitle, mbOkOnly | mbInformation);
        return;
    }
    saving_ = !open;
    builds_->start(buildOptions(), photos_->paths(),
                   DeckRequest{pixelsPerInch_, QString(), path, open});
}

void AlbumWindow::play() {
    if (building())
        return;
    if (!file_.isEmpty() && dirty_) {
        playAfterSave_ = true;
        startSave(file_, false);
        return;
    }
    if (photos_->count() == 0) {
        services_.boxes.show(this, QStringLiteral("The album has no photos to play yet."),
                             kAppTitle, mbOkOnly | mbInformation);
        return;
    }
    QDir().mkpath(services_.showFolder);
    QString name = file_.isEmpty() ? (album_.build.title.isEmpty() ? QStringLiteral("Photo show")
                                                                   : album_.build.title)
                                   : QFileInfo(file_).completeBaseName();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    builds_->start(
        buildOptions(), photos_->paths(),
        DeckRequest{pixelsPerInch_, QString(),
                    services_.showFolder + QLatin1Char('/') + name + QStringLiteral(".ppsx"),
                    true});
}

void AlbumWindow::buildAlbum() {
    if (building())
        return;
    Album album = album_;
    album.build = buildOptions();
    builds_->start(album.build.layout, photos_->paths(), album, false, pixelsPerInch_);
}

} // namespace slidemill
