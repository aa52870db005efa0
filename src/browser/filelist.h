#pragma once

#include <QListWidget>

namespace slidemill {

// File1: the names of a folder's picture files, extended selection.
class FileList : public QListWidget {
    Q_OBJECT
public:
    static inline const QString kPattern =
        QStringLiteral("*.gif;*.jpg;*.png;*.tif;*.bmp;*.wmf;*.emf;*.jpeg;*.jpe;*.tiff;*.heic;*."
                       "heif;*.avif;*.webp");

    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // The name of the file in a row, byte for byte as the folder holds it; the row shows it on
    // one line, with bytes that are not UTF-8 as \xNN.
    QString name(int row) const;
    // Lists the folder's files that match the pattern, nothing selected. Throws RuntimeError
    // when the folder cannot be read; the list is then empty but still names the folder, so
    // no name is ever joined with a folder it does not come from.
    void setPath(const QString& path);

private:
    QString path_;
};

} // namespace slidemill
