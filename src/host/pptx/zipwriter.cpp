#include "host/pptx/zipwriter.h"

#include "core/faults.h"
#include "host/pptx/saveerror.h"
#include "host/pptx/sha256.h"
#include "pictures/picturepool.h"

#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill::pptx {

namespace {

constexpr quint32 kLocalHeader = 0x04034b50;
constexpr quint32 kCentralHeader = 0x02014b50;
constexpr quint32 kEnd = 0x06054b50;
constexpr quint32 kZip64End = 0x06064b50;
constexpr quint32 kZip64Locator = 0x07064b50;
constexpr quint16 kZip64Extra = 0x0001;
// What a field holds when its value is in the ZIP64 records instead.
constexpr quint64 kMax32 = 0xFFFFFFFFu;
constexpr quint64 kMax16 = 0xFFFFu;

// Unix, made by a writer of version 6.3; what readers need: 1.0 stored, 2.0 deflated, 4.5 ZIP64.
constexpr quint16 kMadeBy = 0x033F;
constexpr quint16 kNeedsStored = 10;
constexpr quint16 kNeedsDeflated = 20;
constexpr quint16 kNeedsZip64 = 45;
constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;
// Flag bits 1-2 say which deflate level was used: 01 is "maximum".
constexpr quint16 kFlagsDeflatedMax = 0x0002;
constexpr int kDeflateLevel = 9;
// Noon of 1980-01-01 in MS-DOS time and date fields: the first day a zip time stamp holds.
constexpr quint16 kDosTime = 12 << 11;
constexpr quint16 kDosDate = (0 << 9) | (1 << 5) | 1;
// A regular file, rw-r--r--, in the Unix half of the external attributes.
constexpr quint32 kExternalAttributes = quint32(S_IFREG | 0644) << 16;

// Small writes gather here.
constexpr qsizetype kBufferSize = qsizetype(1) << 20;
// Pictures pass through a piece this size, small enough to stay in the CPU cache between
// being read, checksummed and written.
constexpr qint64 kPieceSize = qint64(128) << 10;
// The kernel copies a picture this much at a time, so progress keeps moving on a big one.
constexpr qint64 kKernelCopyStep = qint64(16) << 20;
// Written bytes are handed to the disk every so often, so that the sync at the end does not
// wait for all of them, and progress shown is progress made.
constexpr qint64 kWritebackStep = qint64(8) << 20;

void put16(QByteArray& b, quint64 v) {
    char le[2];
    qToLittleEndian(quint16(v), le);
    b.append(le, 2);
}
void put32(QByteArray& b, quint64 v) {
    char le[4];
    qToLittleEndian(quint32(v), le);
    b.append(le, 4);
}
void put64(QByteArray& b, quint64 v) {
    char le[8];
    qToLittleEndian(quint64(v), le);
    b.append(le, 8);
}

// The field's value, or the mark that sends readers to the ZIP64 records.
quint64 field32(quint64 v, const ZipLimits& limits) {
    return v >= limits.sizeOrOffset ? kMax32 : v;
}
bool largeSizes(const ZipEntry& e, const ZipLimits& limits) {
    return e.size >= limits.sizeOrOffset || e.compressedSize >= limits.sizeOrOffset;
}
quint16 needs(const ZipEntry& e, const ZipLimits& limits) {
    if (largeSizes(e, limits) || e.offset >= limits.sizeOrOffset)
        return kNeedsZip64;
    return e.method == kDeflated ? kNeedsDeflated : kNeedsStored;
}
quint16 flags(const ZipEntry& e) {
    // Bit 11: the name is UTF-8.
    const bool ascii = std::all_of(e.name.begin(), e.name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return quint16((e.method == kDeflated ? kFlagsDeflatedMax : 0) | (ascii ? 0 : 0x0800));
}

QByteArray localHeader(const ZipEntry& e, const ZipLimits& limits) {
    const bool large = largeSizes(e, limits);
    QByteArray h;
    put32(h, kLocalHeader);
    put16(h, needs(e, limits));
    put16(h, flags(e));
    put16(h, e.method);
    put16(h, kDosTime);
    put16(h, kDosDate);
    put32(h, e.crc);
    put32(h, large ? kMax32 : e.compressedSize);
    put32(h, large ? kMax32 : e.size);
    put16(h, quint64(e.name.size()));
    put16(h, large ? 20 : 0);
    h += e.name;
    // A local ZIP64 field holds both sizes, always.
    if (large) {
        put16(h, kZip64Extra);
        put16(h, 16);
        put64(h, e.size);
        put64(h, e.compressedSize);
    }
    return h;
}

QByteArray centralHeader(const ZipEntry& e, const ZipLimits& limits) {
    // The central ZIP64 field holds what overflowed, in this order.
    QByteArray extra;
    for (const quint64 v : {e.size, e.compressedSize, e.offset}) {
        if (v >= limits.sizeOrOffset)
            put64(extra, v);
    }
    QByteArray h;
    put32(h, kCentralHeader);
    put16(h, kMadeBy);
    put16(h, needs(e, limits));
    put16(h, flags(e));
    put16(h, e.method);
    put16(h, kDosTime);
    put16(h, kDosDate);
    put32(h, e.crc);
    put32(h, field32(e.compressedSize, limits));
    put32(h, field32(e.size, limits));
    put16(h, quint64(e.name.size()));
    put16(h, extra.isEmpty() ? 0 : quint64(extra.size()) + 4);
    put16(h, 0); // comment
    put16(h, 0); // disk
    put16(h, 0); // internal attributes
    put32(h, kExternalAttributes);
    put32(h, field32(e.offset, limits));
    h += e.name;
    if (!extra.isEmpty()) {
        put16(h, kZip64Extra);
        put16(h, quint64(extra.size()));
        h += extra;
    }
    return h;
}

// The offset of the CRC field in a local header.
constexpr qint64 kCrcField = 14;

// A file written to while it was copied gives an entry whose CRC says something else.
[[noreturn]] void changedWhileStored(const QString& sourceName) {
    failSave(QStringLiteral("the file changed while it was stored"), sourceName);
}

void unchangedSince(const struct stat& before, int source, const QString& sourceName) {
    struct stat now;
    if (::fstat(source, &now) != 0 || now.st_size != before.st_size ||
        now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        changedWhileStored(sourceName);
}

// Reads [at, at + size) of `fd` into `piece`, a piece at a time, and hands each piece to `use`
// with its offset from `at`. 0 when all was read; errno when a read fails, -1 when the file
// ends first.
template <typename Use>
int eachPiece(int fd, qint64 at, qint64 size, QByteArray& piece, IoCall call,
              const QByteArray& entry, Use use) {
    piece.resize(kPieceSize);
    for (qint64 done = 0; done < size;) {
        if (const int fault = injectedFault(call, entry))
            return fault;
        const ssize_t n =
            ::pread(fd, piece.data(), std::size_t(std::min(size - done, kPieceSize)), at + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : -1;
        use(piece.data(), qsizetype(n), done);
        done += n;
    }
    return 0;
}

// Lays `bytes`, which belong at `offset` of a file, over the piece of it at `at`.
void layOver(char* data, qsizetype n, qint64 at, qint64 offset, const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const qint64 k = offset + i - at;
        if (k >= 0 && k < n)
            data[k] = bytes[i];
    }
}

// The CRC-32 of what the output holds at [at, at + size), read back from the page cache where
// it was just written, and the errno of a read that failed (-1: the file ended first); with
// `hash`, the SHA-256 of the source those bytes came from, the patch taken off again.
WrittenFile::ReadBack readBack(int out, qint64 at, qint64 size, const QByteArray& entry,
                               const Patch& patch, bool hash) {
    QByteArray piece;
    WrittenFile::ReadBack r;
    std::optional<Sha256> sha;
    if (hash)
        sha.emplace();
    r.error = eachPiece(out, at, size, piece, IoCall::ReadBack, entry,
                        [&](char* data, qsizetype n, qint64 done) {
                            r.crc = quint32(libdeflate_crc32(r.crc, data, std::size_t(n)));
                            if (sha) {
                                layOver(data, n, done, patch.offset, patch.original);
                                sha->add(data, n);
                            }
                        });
    if (sha && r.error == 0)
        r.sha256 = sha->result();
    return r;
}

} // namespace

struct ZipWriter::State {
    int out = -1;
    QString outName;
    ZipLimits limits;
    // A regular file written from `base` on can be written back into and cut back; a pipe or
    // an appending file cannot.
    bool seekable = false;
    // The kernel copies into a file this process can read back for the CRC.
    bool readable = false;
    qint64 base = 0;
    // Read by another thread for progress.
    std::atomic<qint64> flushed = 0;
    qint64 handedToDisk = 0;
    QByteArray buffer;
    bool broken = false;
    bool finished = false;
    QByteArray scratch;
    libdeflate_compressor* compressor = nullptr;
    // The entry being written, which the fault seam is told.
    QByteArray current;

    qint64 offset() const { return flushed + buffer.size(); }

    [[noreturn]] void failOut(int error) { failSaveErrno(error, outName); }

    void writeAll(const char* data, qint64 size) {
        if (const int fault = injectedFault(IoCall::Write, current))
            failOut(fault);
        while (size > 0) {
            const ssize_t n = ::write(out, data, std::size_t(std::min<qint64>(size, 1 << 30)));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                failOut(errno);
            }
            data += n;
            size -= n;
            flushed += n;
        }
    }

    void flush() {
        // Swapped out first: after a failed write the buffer holds nothing unwritten twice.
        QByteArray pending;
        pending.swap(buffer);
        writeAll(pending.constData(), pending.size());
        pending.resize(0);
        buffer.swap(pending);
    }

    void append(const QByteArray& bytes) {
        if (buffer.size() + bytes.size() > kBufferSize)
            flush();
        if (bytes.size() >= kBufferSize)
            writeAll(bytes.constData(), bytes.size());
        else
            buffer += bytes;
    }

    // An entry that fails goes away again, or nothing more is written after it.
    template <typename Body> void entry(ZipEntry& e, Body body) {
        if (finished || broken)
            failSave(QStringLiteral("the package cannot be continued"), outName);
        e.offset = quint64(offset());
        current = e.name;
        try {
            body();
        } catch (...) {
            cutBack(qint64(e.offset));
            throw;
        }
        if (seekable && flushed - handedToDisk >= kWritebackStep) {
            // Only asks; a file system that cannot is synced at the end all the same.
            ::sync_file_range(out, base + handedToDisk, flushed - handedToDisk,
                              SYNC_FILE_RANGE_WRITE);
            handedToDisk = flushed;
        }
    }

    void cutBack(qint64 to) {
        if (to >= flushed) {
            buffer.truncate(to - flushed);
            return;
        }
        buffer.clear();
        if (!seekable || ::ftruncate(out, base + to) != 0 ||
            ::lseek(out, base + to, SEEK_SET) != base + to) {
            broken = true;
            return;
        }
        flushed = to;
        handedToDisk = std::min(handedToDisk, to);
    }

    // Copies [from, to) of the file into the output inside the kernel. False when the kernel
    // cannot copy between these two files and nothing was copied; the caller then copies
    // through memory.
    bool copyRange(int source, qint64 from, qint64 to, const QString& sourceName) {
        for (qint64 at = from; at < to;) {
            if (const int fault = injectedFault(IoCall::ReadPicture, current))
                failRead(fault, sourceName);
            if (const int fault = injectedFault(IoCall::Write, current))
                failOut(fault);
            loff_t in = at;
            const ssize_t n = ::copy_file_range(source, &in, out, nullptr,
                                                std::size_t(std::min(to - at, kKernelCopyStep)), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && at == from &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                 errno == EBADF || errno == EPERM))
                return false;
            if (n < 0) {
                // The kernel does not say which side failed: a read of the picture there does.
                const int error = errno;
                char probe;
                if (::pread(source, &probe, 1, at) < 0)
                    failRead(errno, sourceName);
                failOut(error);
            }
            if (n == 0)
                changedWhileStored(sourceName);
            at += n;
            flushed += n;
        }
        return true;
    }

    // The kernel copies the file's bytes, the patch laid over them, without their passing
    // through this process. False when it cannot copy between these two files.
    bool copyInKernel(int source, qint64 size, const Patch& patch, const QString& sourceName) {
        const qint64 patchAt = std::clamp<qint64>(patch.offset, 0, size);
        const qint64 patchEnd = std::clamp<qint64>(patch.offset + patch.bytes.size(), 0, size);
        if (patch.offset < 0 || patchAt == patchEnd)
            return copyRange(source, 0, size, sourceName);
        if (!copyRange(source, 0, patchAt, sourceName))
            return false;
        writeAll(patch.bytes.constData(), patchEnd - patchAt);
        if (!copyRange(source, patchEnd, size, sourceName))
            failOut(EXDEV);
        return true;
    }

    // Passes the file's first `size` bytes with the patch laid over them, piece by piece, to
    // the output when `write` is set, and to `hash` as the file has them; returns their CRC-32.
    quint32 passFile(int source, qint64 size, const Patch& patch, bool write,
                     const QString& sourceName, Sha256* hash = nullptr) {
        quint32 crc = 0;
        const int error = eachPiece(source, 0, size, scratch, IoCall::ReadPicture, current,
                                    [&](char* data, qsizetype n, qint64 at) {
                                        if (hash)
                                            hash->add(data, n);
                                        layOver(data, n, at, patch.offset, patch.bytes);
                                        crc = quint32(libdeflate_crc32(crc, data, std::size_t(n)));
                                        if (write)
                                            writeAll(data, n);
                                    });
        if (error > 0)
            failRead(error, sourceName);
        if (error < 0)
            changedWhileStored(sourceName);
        return crc;
    }

    void putCrc(quint32 crc, qint64 headerField) {
        char le[4];
        qToLittleEndian(crc, le);
        if (const int fault = injectedFault(IoCall::Write, current))
            failOut(fault);
        if (::pwrite(out, le, 4, headerField) != 4)
            failOut(errno);
    }
};

ZipWriter::ZipWriter(int out, const QString& outName, ZipLimits limits)
    : d_(std::make_unique<State>()) {
    d_->out = out;
    d_->outName = outName;
    d_->limits = limits;
    struct stat st;
    const int flags = ::fcntl(out, F_GETFL);
    d_->base = ::lseek(out, 0, SEEK_CUR);
    d_->seekable = ::fstat(out, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 &&
                   !(flags & O_APPEND) && d_->base >= 0;
    d_->readable = d_->seekable && (flags & O_ACCMODE) == O_RDWR;
    d_->buffer.reserve(kBufferSize);
    d_->compressor = libdeflate_alloc_compressor(kDeflateLevel);
    if (!d_->compressor)
        throw std::bad_alloc();
}

ZipWriter::~ZipWriter() {
    libdeflate_free_compressor(d_->compressor);
}

ZipEntry ZipWriter::addDeflated(const QString& name, const QByteArray& data) {
    ZipEntry e;
    e.name = name.toUtf8();
    e.method = kDeflated;
    e.size = quint64(data.size());
    e.crc = quint32(libdeflate_crc32(0, data.constData(), std::size_t(data.size())));
    d_->entry(e, [&] {
        const std::size_t bound =
            libdeflate_deflate_compress_bound(d_->compressor, std::size_t(data.size()));
        QByteArray packed(qsizetype(bound), Qt::Uninitialized);
        const std::size_t n = libdeflate_deflate_compress(
            d_->compressor, data.constData(), std::size_t(data.size()), packed.data(), bound);
        packed.truncate(qsizetype(n));
        e.compressedSize = n;
        d_->append(localHeader(e, d_->limits));
        d_->append(packed);
    });
    return e;
}

ZipEntry ZipWriter::addStored(const QString& name, const QByteArray& data) {
    ZipEntry e;
    e.name = name.toUtf8();
    e.method = kStored;
    e.size = e.compressedSize = quint64(data.size());
    e.crc = quint32(libdeflate_crc32(0, data.constData(), std::size_t(data.size())));
    d_->entry(e, [&] {
        d_->append(localHeader(e, d_->limits));
        d_->append(data);
    });
    return e;
}

WrittenFile ZipWriter::addStoredFile(const QString& name, int source, qint64 size,
                                     const Patch& patch, const QString& sourceName,
                                     bool hashSource) {
    WrittenFile file;
    file.sourceName = sourceName;
    ZipEntry& e = file.entry;
    e.name = name.toUtf8();
    e.method = kStored;
    e.size = e.compressedSize = quint64(size);
    d_->entry(e, [&] {
        struct stat before;
        if (::fstat(source, &before) != 0)
            failRead(errno, sourceName);
        // The hash goes with the first pass over the bytes, whichever that is.
        std::optional<Sha256> hash;
        if (hashSource)
            hash.emplace();
        // A stream needs the CRC before the bytes; a file gets it written back afterwards.
        if (!d_->seekable) {
            e.crc = d_->passFile(source, size, patch, false, sourceName, hash ? &*hash : nullptr);
            if (hash)
                file.sha256 = hash->result();
            hash.reset();
        }
        d_->append(localHeader(e, d_->limits));
        d_->flush();
        const qint64 headerField = d_->base + qint64(e.offset) + kCrcField;
        const qint64 dataAt = d_->base + d_->flushed;
        if (d_->readable && d_->copyInKernel(source, size, patch, sourceName)) {
            unchangedSince(before, source, sourceName);
            // Taken from the written bytes on a pool thread while the next file is copied, so
            // the checksum costs no time of its own.
            file.readBack = pictures::PicturePool::shared()
                                .submit(pictures::Priority::ReadBack, sourceName,
                                        [out = d_->out, dataAt, size, name = e.name, patch,
                                         hashed = hash.has_value()] {
                                            return readBack(out, dataAt, size, name, patch, hashed);
                                        })
                                .result;
            file.headerField = headerField;
            return;
        }
        const quint32 crc =
            d_->passFile(source, size, patch, true, sourceName, hash ? &*hash : nullptr);
        if (hash)
            file.sha256 = hash->result();
        if (d_->seekable) {
            d_->putCrc(crc, headerField);
            e.crc = crc;
        }
        if (crc != e.crc)
            changedWhileStored(sourceName);
        unchangedSince(before, source, sourceName);
    });
    return file;
}

ZipEntry ZipWriter::complete(WrittenFile& file) {
    if (!file.readBack.valid())
        return file.entry;
    const auto [crc, error, sha256] = file.readBack.get();
    d_->current = file.entry.name;
    if (error != 0)
        failSave(QStringLiteral("the copy written could not be read back to check it: %1")
                     .arg(errnoText(error > 0 ? error : EIO)),
                 file.sourceName);
    d_->putCrc(crc, file.headerField);
    file.entry.crc = crc;
    file.sha256 = sha256;
    return file.entry;
}

void ZipWriter::finish(const std::vector<ZipEntry>& entries) {
    if (d_->finished || d_->broken)
        failSave(QStringLiteral("the package cannot be continued"), d_->outName);
    d_->current.clear();
    const quint64 start = quint64(d_->offset());
    QByteArray end;
    for (const ZipEntry& e : entries)
        end += centralHeader(e, d_->limits);
    const quint64 size = quint64(end.size());
    const quint64 count = entries.size();
    const ZipLimits& limits = d_->limits;
    const bool manyEntries = count >= limits.entries;
    if (manyEntries || start >= limits.sizeOrOffset || size >= limits.sizeOrOffset) {
        const quint64 record = start + size;
        put32(end, kZip64End);
        put64(end, 44); // the record's size after this field
        put16(end, kMadeBy);
        put16(end, kNeedsZip64);
        put32(end, 0); // this disk
        put32(end, 0); // the directory's disk
        put64(end, count);
        put64(end, count);
        put64(end, size);
        put64(end, start);
        put32(end, kZip64Locator);
        put32(end, 0);
        put64(end, record);
        put32(end, 1); // disks
    }
    put32(end, kEnd);
    put16(end, 0);
    put16(end, 0);
    put16(end, manyEntries ? kMax16 : count);
    put16(end, manyEntries ? kMax16 : count);
    put32(end, field32(size, limits));
    put32(end, field32(start, limits));
    put16(end, 0); // comment
    d_->append(end);
    d_->flush();
    d_->finished = true;
}

qint64 ZipWriter::bytesWritten() const {
    return d_->flushed;
}

} // namespace slidemill::pptx
