#include "slides/bytesource.h"

#include "core/faults.h"

#include <QIODevice>
#include <cerrno>
#include <cstring>

namespace slidemill {

namespace {

constexpr qint64 kWindowSize = 64 * 1024;

} // namespace

ByteSource::ByteSource(QIODevice& device) : device_(&device), size_(device.size()) {}

const char* ByteSource::window(qint64 at, qint64 count) const {
    if (!has(at, count))
        return nullptr;
    if (!device_)
        return data_.data() + at;
    if (count > kWindowSize)
        return nullptr;
    if (at < windowAt_ || at + count > windowAt_ + window_.size()) {
        window_.resize(qMin(kWindowSize, size_ - at));
        windowAt_ = at;
        if (!device_->seek(at) || deviceRead(window_.data(), window_.size()) != window_.size()) {
            window_.clear();
            return nullptr;
        }
    }
    return window_.constData() + (at - windowAt_);
}

bool ByteSource::copy(qint64 at, unsigned char* out, qint64 count) const {
    if (!has(at, count))
        return false;
    if (count == 0)
        return true;
    if (!device_ || count <= kWindowSize) {
        const char* bytes = window(at, count);
        if (bytes)
            std::memcpy(out, bytes, size_t(count));
        return bytes != nullptr;
    }
    // Larger than a window: read straight through.
    return device_->seek(at) && deviceRead(reinterpret_cast<char*>(out), count) == count;
}

qint64 ByteSource::deviceRead(char* out, qint64 count) const {
    if (const int fault = injectedFault(IoCall::MeasurePicture, FaultEntry::current())) {
        readError_ = fault;
        return -1;
    }
    errno = 0;
    const qint64 n = device_->read(out, count);
    if (n < 0 && readError_ == 0)
        readError_ = errno != 0 ? errno : EIO;
    return n;
}

QByteArray ByteSource::read(qint64 at, qint64 count) const {
    if (!has(at, count))
        return {};
    QByteArray out(count, Qt::Uninitialized);
    if (!copy(at, reinterpret_cast<unsigned char*>(out.data()), count))
        return {};
    return out;
}

qint64 ByteSource::find(char value, qint64 from) const {
    for (qint64 pos = qMax<qint64>(from, 0); pos < size_;) {
        qint64 count = qMin(kWindowSize, size_ - pos);
        // Search what the window holds before moving it.
        if (device_ && pos >= windowAt_ && pos < windowAt_ + window_.size())
            count = windowAt_ + window_.size() - pos;
        const char* chunk = window(pos, count);
        if (!chunk)
            return -1;
        if (const void* hit = std::memchr(chunk, value, size_t(count)))
            return pos + (static_cast<const char*>(hit) - chunk);
        pos += count;
    }
    return -1;
}

std::optional<quint8> ByteSource::readU8(qint64 at) const {
    unsigned char b[1];
    if (!copy(at, b, 1))
        return std::nullopt;
    return b[0];
}

std::optional<quint16> ByteSource::readU16Le(qint64 at) const {
    unsigned char b[2];
    if (!copy(at, b, 2))
        return std::nullopt;
    return quint16(b[0] | b[1] << 8);
}

std::optional<quint16> ByteSource::readU16Be(qint64 at) const {
    unsigned char b[2];
    if (!copy(at, b, 2))
        return std::nullopt;
    return quint16(b[0] << 8 | b[1]);
}

std::optional<quint32> ByteSource::readU32Le(qint64 at) const {
    unsigned char b[4];
    if (!copy(at, b, 4))
        return std::nullopt;
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

std::optional<quint32> ByteSource::readU32Be(qint64 at) const {
    unsigned char b[4];
    if (!copy(at, b, 4))
        return std::nullopt;
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

std::optional<quint64> ByteSource::readU64Be(qint64 at) const {
    const auto high = readU32Be(at);
    const auto low = readU32Be(at + 4);
    if (!high || !low)
        return std::nullopt;
    return quint64(*high) << 32 | *low;
}

std::optional<qint16> ByteSource::readI16Le(qint64 at) const {
    if (const auto v = readU16Le(at))
        return qint16(*v);
    return std::nullopt;
}

std::optional<qint32> ByteSource::readI32Le(qint64 at) const {
    if (const auto v = readU32Le(at))
        return qint32(*v);
    return std::nullopt;
}

} // namespace slidemill
