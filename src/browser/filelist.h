#pragma once

#include "core/namepattern.h"

#include <QHash>
#include <QListWidget>

namespace slidemill {

class PreviewSource;

// File1: the names of a folder's picture files, extended selection.
class FileList : public QListWidget {
    Q_OBJECT
public:
    static inline const QString kPattern = kPicturePattern;

    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // The name of the file in a row, byte for byte as the folder holds it; the row shows it on
    // one line, with bytes that are not UTF-8 as \xNN.
    QString name(int row) const;
    // Lists the folder's files that match the pattern, nothing selected. Throws RuntimeError
    // when the folder cannot be read; the list is then empty but still names the folder, so
    // no name is ever joined with a folder it does not come from.
    void setPath(const QString& path);

    // Where the previews come from. Each entry gives its file's preview as its tool tip and its
    // accessible description, and its path under kPreviewPathRole.
    void setPreviews(PreviewSource* previews);

private:
    class Entry;

    QVariant previewData(const QListWidgetItem* item, int role) const;
    void previewMade(const QString& path);

    QString path_;
    PreviewSource* previews_ = nullptr;
    // The entries asked for their preview, by path: told when it is made.
    mutable QHash<QString, const QListWidgetItem*> described_;
};

} // namespace slidemill
