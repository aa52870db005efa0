#pragma once

#include "core/previews.h"

#include <QByteArray>
#include <QString>

namespace slidemill {

// The thumbnails the desktop's programs share: under ROOT, large/, x-large/ and normal/ hold
// MD5(URI).png for a picture whose URI is URI, with the URI and the file's modification time (and
// size) written into the PNG, and fail/slidemill-VERSION/ the pictures Slidemill could not show. A
// file manager's thumbnail thus serves as a preview, and a preview made here serves the file
// manager. Reading and writing are safe from any thread; whatever goes wrong with the cache only
// costs a preview made anew. Its files are anyone's: read whole up to a bound, their keys taken
// from tEXt chunks, nothing in them inflated but the pixels, and nothing of them handed on as it
// is.
class ThumbnailCache {
public:
    // ROOT: a "thumbnails" folder.
    explicit ThumbnailCache(const QString& root);
    // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails without that variable (or with a
    // relative one, which the desktop's programs ignore).
    static QString userRoot();

    const QString& root() const { return root_; }

    // The file URI of an absolute path: "file://" and the path without "." and ".." parts and
    // doubled slashes, its bytes percent-encoded (upper-case hex) but for letters, digits and
    // !$&'()*+,-./:=@_~, as GLib writes it, so that the names match those of GNOME's programs.
    // Empty for a relative path.
    static QByteArray uriOf(const QString& path);

    // Completes the preview of the picture at path, whose file preview.file identifies, from
    // the cache: its picture from a thumbnail of that very file (large, then x-large fitted
    // into the preview's size, then normal), decoded and encoded again, or why it cannot be
    // shown from a failure this version recorded (its first 200 characters, on one line). An
    // entry counts when its Thumb::URI, Thumb::MTime (and Thumb::Size where present) are the
    // file's, in tEXt chunks, and it is no larger than a thumbnail of its folder can be: what
    // GLib's check refuses is refused here too. False, and nothing changed, when the cache has
    // neither.
    bool find(const QString& path, Preview& preview) const;

    // Writes what the preview says of the file preview.file identifies: its picture as a
    // "large" thumbnail, or, for a readable regular file that cannot be shown, a failure, so
    // that it is not tried again until it changes (the caller hands it only the failures that
    // the file's content causes). Every key is a tEXt chunk before the pixels, as GLib reads
    // them. Written under a temporary name and renamed, mode 0600, in folders made 0700.
    // Nothing for a file inside the cache, a preview with neither picture nor problem (a
    // metafile), or one whose file was not there.
    void store(const QString& path, const Preview& preview) const;

private:
    // The cleaned absolute path, or empty where the cache does not serve it.
    QString served(const QString& path) const;

    QString root_;
};

} // namespace slidemill
