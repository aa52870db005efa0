#pragma once

#include "host/pptx/deck.h"
#include "pictures/picturemaker.h"

#include <QByteArray>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

namespace slidemill::pptx {

using pictures::MadePicture;

class SaveFile;

// What became of one picture that was stored.
struct StoredPicture {
    // ppt/media/imageN.ext
    QString part;
    PictureFormat format = PictureFormat::Png;
    // A copy made upright: its shapes show it unturned.
    bool upright = false;
    // With hashSources: the SHA-256 of the file it was stored or made from.
    QByteArray sha256;
};

// A .pptx package written while the deck is built: each picture goes in as it is added, the
// XML parts and the zip directory at the end.
//
// Every picture has an outcome of its own: stored, or failed with its own error. A worker
// thread stores the pictures in the order they were added while the build goes on; whatever
// goes wrong with one picture (its read, its copy, its CRC read back from the deck, the copy
// made of it) is that picture's outcome and nobody else's. The directory written at the end
// lists the parts and only the pictures the deck shows, so a failed picture's bytes, if any
// are left, are never read.
//
// The writer owns the file it writes: its threads are stopped before the descriptor closes.
class PackageWriter {
public:
    explicit PackageWriter(std::unique_ptr<SaveFile> file);
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    const SaveFile& file() const;

    // Every picture added from now on has the SHA-256 of its file taken: as the bytes pass on
    // their way into the package, or by a read of its own where a copy is made instead.
    void hashSources();

    // Deck::media[index], the pictures numbered 0, 1, ... as they are added. Stored from its
    // file, which is opened and checked now (it must still be the regular file the build
    // measured; a FIFO put in its place cannot hang the save) and copied by the worker. With
    // `make`, the bytes it makes on the picture pool, ahead of previews, are stored instead,
    // unless it makes none; as many are made at once as the process has usable cores. Throws
    // when the picture cannot be opened; everything after is the picture's outcome.
    void addPicture(int index, const Media& media, std::function<MadePicture()> make = {});

    // The error of the first picture, in the order added, known to have failed; null when none
    // has yet. Does not wait.
    std::exception_ptr firstFailure() const;
    // Waits until every picture added has its outcome.
    void drain();
    // The outcome of picture `index` once drained; null when it failed.
    const StoredPicture* stored(int index) const;

    // Every XML part of `deck`, which shows only pictures that were stored, and the directory
    // of those parts and pictures.
    void finish(const Deck& deck);
    // The finished package becomes the saved file (SaveFile::commit).
    QString commit(const std::function<bool(const FileIdentity&)>& isPicture);

    // May be asked from any thread.
    qint64 bytesWritten() const;
    // Entries in the package once it is finished.
    qint64 entriesWritten() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace slidemill::pptx
