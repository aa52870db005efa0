#pragma once

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QList>
#include <QStringList>

namespace slidemill {

// The photo list: the picture paths in build order, which of them are selected and which one
// is current. It holds no widget; List1 shows it and works on its selection, so what the user
// picks there is what the add, remove and move operations see here.
class PhotoListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PhotoListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // The path as the list shows it: on one line, whatever its name holds.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

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

private:
    void runPass(int step);
    void setSelectedFlags(const std::vector<char>& selected);

    QStringList paths_;
    QItemSelectionModel selection_;
};

} // namespace slidemill
