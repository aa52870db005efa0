#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

class QIODevice;

namespace slidemill {

// Random access to the bytes of a file or a buffer, so the same header readers measure files and
// fuzz input. Every read checks its whole extent in 64 bits first and answers "nothing" when the
// bytes run out: a lying length or offset can never read outside the data.
class ByteSource {
public:
    explicit ByteSource(QByteArrayView data) : data_(data), size_(data.size()) {}
    // The device must be open and random-access; it is read where asked, never whole, through
    // a small window so that a walk over a file's data costs one device read per window.
    explicit ByteSource(QIODevice& device);

    // The device read, or null for a buffer; the buffer's bytes, or empty for a device.
    QIODevice* device() const { return device_; }
    QByteArrayView buffer() const { return data_; }

    qint64 size() const { return size_; }
    // The errno of the first read of the device that failed, rather than ran out of bytes; 0
    // when none did. What could not be read then says nothing of the file's content.
    int readError() const { return readError_; }
    bool has(qint64 at, qint64 count) const {
        return at >= 0 && count >= 0 && at <= size_ && count <= size_ - at;
    }
    // count bytes at at; empty unless all of them are there.
    QByteArray read(qint64 at, qint64 count) const;
    // The same into out, which holds count bytes; false unless all of them are there.
    bool readInto(qint64 at, char* out, qint64 count) const {
        return copy(at, reinterpret_cast<unsigned char*>(out), count);
    }

    // Where the next byte of that value lies at or after from; -1 when none does.
    qint64 find(char value, qint64 from) const;

    std::optional<quint8> readU8(qint64 at) const;
    std::optional<quint16> readU16Le(qint64 at) const;
    std::optional<quint16> readU16Be(qint64 at) const;
    std::optional<quint32> readU32Le(qint64 at) const;
    std::optional<quint32> readU32Be(qint64 at) const;
    std::optional<quint64> readU64Be(qint64 at) const;
    std::optional<qint16> readI16Le(qint64 at) const;
    std::optional<qint32> readI32Le(qint64 at) const;
    // TIFF and EXIF pick their byte order once, from "II" or "MM".
    std::optional<quint16> readU16(qint64 at, bool bigEndian) const {
        return bigEndian ? readU16Be(at) : readU16Le(at);
    }
    std::optional<quint32> readU32(qint64 at, bool bigEndian) const {
        return bigEndian ? readU32Be(at) : readU32Le(at);
    }

private:
    // count bytes at at, in the buffer or (at most a window's) in the device's window; null
    // when they are not all there.
    const char* window(qint64 at, qint64 count) const;
    bool copy(qint64 at, unsigned char* out, qint64 count) const;
    qint64 deviceRead(char* out, qint64 count) const;

    QByteArrayView data_;
    QIODevice* device_ = nullptr;
    qint64 size_ = 0;
    // The device's bytes from windowAt_ on.
    mutable QByteArray window_;
    mutable qint64 windowAt_ = 0;
    mutable int readError_ = 0;
};

} // namespace slidemill
