#pragma once

#include "host/pptx/deck.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace slidemill::pptx {

// A .pptx package written while the deck is built: each picture goes in as it is added, the
// XML parts and the zip directory at the end.
//
// A picture is opened and checked when it is added; a worker thread copies its bytes in
// while the build goes on, in order, and the disk is asked to read the next few ahead. An
// error in a copy is thrown by the next call; the pictures after it still go in.
//
// Failures throw RuntimeError 75 naming the picture or the output. A picture that fails to
// go in is left out of the slides that show it; the package stays whole.
class PackageWriter {
public:
    // Writes to the open descriptor `out`; errors about it name `outName`.
    PackageWriter(int out, const QString& outName);
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // Deck::media[index], stored from its file, which must still be the file the build
    // measured (media.file) and a regular one; it is opened without waiting, so a FIFO put in
    // its place cannot hang the save. A picture its shape turns upright says 1 in its copy.
    void addPicture(int index, const Media& media);
    // Deck::media[index] made in memory by `produce` on a thread of its own, at once, while the
    // picture before it is written; one is made ahead at most, so that two are held at most.
    // An error it throws is thrown by a later call.
    void addProduced(int index, const Media& media, std::function<QByteArray()> produce);
    // Waits until every picture added is in; throws the first error met meanwhile.
    void drain();
    // The pictures still waiting, every XML part of `deck` and the zip directory.
    void finish(const Deck& deck);

    // May be asked from any thread.
    qint64 bytesWritten() const;
    // Entries in the package once it is finished.
    qint64 entriesWritten() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace slidemill::pptx
