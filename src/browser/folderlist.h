#pragma once

#include <QListWidget>

namespace slidemill {

// Dir1: the path from the volume's root down to the current folder, then its subfolders.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Moves to the folder; emits changed() when the path differs, whoever set it.
    void setPath(const QString& path);

Q_SIGNALS:
    void changed();

private:
    QString path_;
};

} // namespace slidemill
