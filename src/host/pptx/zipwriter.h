#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace slidemill::pptx {

// Bytes laid over a stored file's own at `offset` on the way into the package.
struct Patch {
    qint64 offset = -1;
    QByteArray bytes;
};

// A zip file written front to back through a descriptor. Every local header carries the
// entry's CRC-32 and sizes, so nothing is ever sought back to and the output may be a pipe.
// ZIP64 records are written where a size, an offset or the entry count needs them. Every
// entry has the same time stamp and attributes, so equal entries give equal bytes.
//
// Failures throw RuntimeError 75 naming the output, or the source file for a read. An entry
// that fails half-way is cut off again when the output can be truncated; otherwise the
// writer takes no more entries.
class ZipWriter {
public:
    // Writes to `out` from its current position; `outName` is what errors name.
    ZipWriter(int out, const QString& outName);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void addDeflated(const QString& name, const QByteArray& data);
    void addStored(const QString& name, const QByteArray& data);
    // The first `size` bytes of the regular file `source`, stored, with `patch` over them;
    // `sourceName` is what errors name. Fails when the file changes while it is stored.
    void addStoredFile(const QString& name, int source, qint64 size, const Patch& patch,
                       const QString& sourceName);
    // The central directory and the end records; the writer takes no more entries.
    void finish();

    // Bytes handed to the output so far; may be asked from any thread.
    qint64 bytesWritten() const;
    // Entries written so far.
    qint64 entriesWritten() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace slidemill::pptx
