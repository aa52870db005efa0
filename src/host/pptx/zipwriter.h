#pragma once

#include <QByteArray>
#include <QString>
#include <future>
#include <memory>
#include <vector>

namespace slidemill::pptx {

// Bytes laid over a stored file's own at `offset` on the way into the package.
struct Patch {
    qint64 offset = -1;
    QByteArray bytes;
    // The file's own bytes there, for a hash of the file as it is.
    QByteArray original;
};

// What the central directory says of one entry.
struct ZipEntry {
    QByteArray name;
    // 0 stored, 8 deflated.
    quint16 method = 0;
    quint32 crc = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 offset = 0;
};

// A stored file's entry, written, whose CRC-32 may still be being read back from the written
// bytes on a picture pool thread. ZipWriter::complete gives the finished entry or that file's
// error.
struct WrittenFile {
    ZipEntry entry;
    QString sourceName;
    // What reading the written bytes back gives: their CRC, the errno of a read that failed
    // (-1: it ended short), and the SHA-256 of the source when it is asked for.
    struct ReadBack {
        quint32 crc = 0;
        int error = 0;
        QByteArray sha256;
    };
    // Set while the CRC is being taken.
    std::future<ReadBack> readBack;
    // Where the local header's CRC field is, to fill in once the CRC is known.
    qint64 headerField = -1;
    // With hashSource: the SHA-256 of the source file's own bytes (without the patch), once
    // complete.
    QByteArray sha256;
};

// Where the ZIP64 records begin: the sizes and offsets a zip's 32-bit fields hold, and the
// entries its 16-bit count does. The tests lower them to reach those records without
// writing 4 GiB.
struct ZipLimits {
    quint64 sizeOrOffset = 0xFFFFFFFFu;
    quint64 entries = 0xFFFFu;
};

// A zip file written front to back through a descriptor. Every local header carries the
// entry's CRC-32 and sizes, so nothing is ever sought back to and the output may be a pipe.
// ZIP64 records are written where a size, an offset or the entry count needs them. Every
// entry has the same time stamp and attributes, so equal entries give equal bytes.
//
// The writer lists no entry by itself: each add returns what the central directory says of
// it, and finish writes the directory of the entries it is given, so an entry left out of
// it (a picture that failed) is bytes that no reader looks at.
//
// Failures throw RuntimeError 75 naming the output, or the source file for a read. An entry
// that fails half-way is cut off again when the output can be truncated; otherwise the
// writer takes no more entries. Used by one thread at a time.
class ZipWriter {
public:
    // Writes to `out` from its current position; `outName` is what errors name.
    ZipWriter(int out, const QString& outName, ZipLimits limits = {});
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    ZipEntry addDeflated(const QString& name, const QByteArray& data);
    ZipEntry addStored(const QString& name, const QByteArray& data);
    // The first `size` bytes of the regular file `source`, stored, with `patch` over them;
    // `sourceName` is what errors name. Fails when the file changes while it is stored. With
    // `hashSource`, the SHA-256 of those bytes is taken as they pass, never in a read of its
    // own.
    WrittenFile addStoredFile(const QString& name, int source, qint64 size, const Patch& patch,
                              const QString& sourceName, bool hashSource = false);
    // Waits for the file's CRC and fills it in; throws 75 naming the source when the bytes
    // written cannot be read back, and then the entry must be left out of the directory.
    ZipEntry complete(WrittenFile& file);
    // The central directory of `entries` and the end records; the writer takes no more
    // entries.
    void finish(const std::vector<ZipEntry>& entries);

    // Bytes handed to the output so far; may be asked from any thread.
    qint64 bytesWritten() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace slidemill::pptx
