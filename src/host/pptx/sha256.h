#pragma once

#include <QByteArray>
#include <memory>

namespace slidemill::pptx {

// SHA-256 by libcrypto, whose code uses the processor's SHA instructions where it has them:
// about ten times as fast as QCryptographicHash here, which matters when every photo of a
// deck is hashed.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, qsizetype size);
    // The 32 bytes of the digest; the hash takes nothing more.
    QByteArray result();

private:
    struct State;
    std::unique_ptr<State> d_;
};

// The digest of the first `size` bytes of `fd`, read from its start; throws RuntimeError 75
// naming `name` when they cannot all be read.
QByteArray sha256OfFile(int fd, qint64 size, const QString& name);

} // namespace slidemill::pptx
