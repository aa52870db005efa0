#pragma once

#include <QListWidget>

namespace slidemill {

// Dir1: the path from the volume's root down to the current folder, then its subfolders.
// A double-click or Enter opens the folder under the cursor.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // The top of the path shown: the mount point of the folder's volume.
    QString root() const { return root_; }

    // Moves to the folder; emits changed() when the path differs, whoever set it. The root
    // stays while the folder lies under it, else becomes "/". Throws RuntimeError, leaving
    // everything as it was, when the folder cannot be read.
    void setPath(const QString& path);
    // The same, with the volume's mount point as the root.
    void setPath(const QString& path, const QString& root);

    // The folder a row stands for.
    QString folderAt(int row) const;
    // Opens the folder of the row as a double-click does.
    void openRow(int row);

Q_SIGNALS:
    void changed();
    // Opening a folder from the list failed; the list stayed where it was.
    void openFailed(int number, const QString& text, const QString& file);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString path_;
    QString root_;
};

} // namespace slidemill
