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
// A picture is taken one step late: it is opened and checked when added, and its bytes are
// copied when the next one is added (or at the end), so that the disk reads it meanwhile, or
// a worker makes it, while the one before is written.
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
    // Deck::media[index] made in memory by `produce`, which runs on a worker thread until the
    // next picture comes; an error it throws is thrown here or by the next call.
    void addProduced(int index, const Media& media, std::function<QByteArray()> produce);
    // The picture still waiting, every XML part of `deck` and the zip directory.
    void finish(const Deck& deck);

    qint64 bytesWritten() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace slidemill::pptx
