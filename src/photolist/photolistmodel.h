#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QItemSelectionModel>
#include <QList>
#include <QStringList>
#include <functional>

class QMimeData;

namespace slidemill {

class PreviewSource;

// What files dragged from a file manager hold, or the files given to open, sorted out.
struct DroppedFiles {
    // Full paths of the picture files in the order given, a folder's in its place.
    QStringList pictures;
    int folders = 0;
    // Of the pictures, those found in the folders.
    int fromFolders = 0;
    // Of the folders, those that could not be read.
    int unreadableFolders = 0;
    // Files whose names the file list's pattern leaves out, and whatever is not a local file.
    int others = 0;
};

// The full paths of the pictures a folder holds (not those of its subfolders), in the order
// the file list shows them; throws RuntimeError when the folder cannot be read.
using FolderReader = std::function<QStringList(const QString& folder)>;

// Reads the text/uri-list of a drop. A file's path is its URL's percent-decoded bytes, so a
// name that is not UTF-8 reaches the file system as it is; "localhost" or no host is this
// machine. A folder is told by the file system, a picture by its name as the file list tells
// one. A folder gives the pictures `picturesIn` finds in it; without a reader, none.
DroppedFiles droppedFiles(const QMimeData& data, const FolderReader& picturesIn = {});
// The same for paths given on the command line (the desktop's Open With).
DroppedFiles givenFiles(const QStringList& paths, const FolderReader& picturesIn = {});

// What the user said of one photo, over the album's rules: its own caption (empty: the
// rule's) and quarter turns clockwise on top of its own orientation.
struct OwnSettings {
    QString caption;
    int quarterTurns = 0;
    bool operator==(const OwnSettings&) const = default;
};

// The photo list: the picture paths in build order, which of them are selected and which one
// is current. It holds no widget; List1 shows it and works on its selection, so what the user
// picks there is what the add, remove and move operations see here.
class PhotoListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PhotoListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // The path as the list shows it: on one line, whatever its name holds. Its preview as a
    // tool tip and as the entry's accessible description, with its place in the list ("3 of
    // 40"), and the path itself under kPreviewPathRole.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Where the previews come from; none: the tips tell name, folder and place only.
    void setPreviews(PreviewSource* previews);
    // What a folder dropped on the list gives.
    void setFolderReader(FolderReader picturesIn) { picturesIn_ = std::move(picturesIn); }
    const FolderReader& folderReader() const { return picturesIn_; }

    // Files dragged from a file manager may be dropped on the list as a whole, not on an entry
    // nor between two. The model appends nothing itself: filesDropped offers what was
    // dropped, so that the window appends the pictures as it appends those of the file list.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // An entry's own caption and turns, under these roles too.
    static constexpr int kCaptionRole = Qt::UserRole + 1;
    static constexpr int kTurnsRole = Qt::UserRole + 2;

    int count() const { return int(paths_.size()); }
    const QStringList& paths() const { return paths_; }
    // The text of every entry as shown, for measuring.
    QStringList shownTexts() const;

    // Appends at the end; the selection and the current entry stay.
    void append(const QStringList& paths);
    // Removes one entry. Afterwards no entry is current, so that a second removal waits for
    // the user to pick one; the other entries keep their selected flags.
    void removeAt(int row);
    void clear();
    // The same entries in another order (a permutation of paths()). Selected entries stay
    // selected and the current entry stays current, wherever they go.
    void reorder(const QStringList& paths);

    // Removes the rows given, in any order; the others keep their flags.
    void removeEntries(QList<int> rows);
    // The rows given, in their order, moved to stand before row `before` (count(): at the end).
    void moveEntries(QList<int> rows, int before);

    // What the user said of a photo is kept with its file: every entry of that path shows it,
    // and it stays when the entry moves or leaves the list and comes back.
    OwnSettings ownSettings(int row) const;
    void setOwnSettings(int row, const OwnSettings& own);
    // Every photo's in the order of the list.
    QList<OwnSettings> allOwnSettings() const;
    // Forgets them all, for a new album.
    void forgetOwnSettings();

    // The selection and current entry, shared with the views of the list.
    QItemSelectionModel* selectionModel() { return &selection_; }
    bool isSelected(int row) const;
    QList<int> selectedRows() const;
    void setSelected(int row, bool selected);
    // -1: none.
    int currentRow() const;
    // Makes an entry current without touching any selected flag.
    void setCurrentRow(int row);

    // cmdUp: every selected entry moves one place up, except the run of selected entries that
    // starts at the top. The selection travels with the moved entries and the current entry
    // becomes the lowest one moved; when nothing moves, nothing changes. Entries beyond the
    // 16-bit range raise the overflow error before anything moves.
    void moveSelectedUp();
    // cmdDown: the mirror image; the run that ends at the bottom stays and the current entry
    // becomes the highest one moved.
    void moveSelectedDown();

Q_SIGNALS:
    void filesDropped(const slidemill::DroppedFiles& files);

private:
    void runPass(int step);
    void setSelectedFlags(const std::vector<char>& selected);

    void previewMade(const QString& path);

    QStringList paths_;
    QHash<QString, OwnSettings> own_;
    QItemSelectionModel selection_;
    PreviewSource* previews_ = nullptr;
    FolderReader picturesIn_;
};

} // namespace slidemill
