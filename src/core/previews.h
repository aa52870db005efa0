#pragma once

#include "core/fileidentity.h"

#include <QByteArray>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace slidemill {

// The longest side of a preview's picture, in pixels.
inline constexpr int kPreviewSide = 256;

// The role under which an entry of a list gives the path of the picture it previews.
inline constexpr int kPreviewPathRole = Qt::UserRole + 0x100;

// What a preview shows of one picture file.
struct Preview {
    // The picture upright, in sRGB, within kPreviewSide x kPreviewSide and never enlarged, as a
    // JPEG file (PNG where it has transparency), encoded here even when the desktop's thumbnail
    // cache gave it: the tip decodes it on the window's thread. Empty when there is none: a
    // metafile, or a picture that cannot be read.
    QByteArray thumbnail;
    QSize thumbnailSize;
    // Its upright size in pixels and its format, as its header gives them.
    QSize pixels;
    QString format;
    // Why the picture cannot be shown ("the file is cut short"); empty when it can.
    QString problem;
    // The file the preview was made from.
    FileIdentity file;
    // Measured, its picture still being made (a HEIF decoded whole takes most of a second):
    // what the header tells is shown meanwhile.
    bool pending = false;
};

// Makes previews away from the window's thread and keeps them for the session; the window
// supplies one, the lists ask it.
class PreviewSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The preview of the picture at path, once made.
    virtual std::optional<Preview> find(const QString& path) const = 0;
    // `client` (a list) wants the preview of path, made or checked to be still its file's; an
    // empty path: nothing. What it wanted before and nobody else wants is no longer made.
    virtual void want(const void* client, const QString& path) = 0;

Q_SIGNALS:
    // The preview of path has been made, or made anew because its file changed.
    void made(const QString& path);
};

// What a preview says of the picture at path, one fact a line: its name, its folder, its size
// and format or why it cannot be shown, then `place` ("3 of 40") when given. Names are shown
// on one line whatever they hold. Without a preview: the name, the folder and the place.
QStringList previewLines(const QString& path, const Preview* preview, const QString& place = {});
// The tool tip of those lines: the picture above them.
QString previewToolTip(const QStringList& lines, const Preview* preview);

} // namespace slidemill
