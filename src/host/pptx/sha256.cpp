#include "host/pptx/sha256.h"

#include "host/pptx/saveerror.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <new>
#include <openssl/evp.h>
#include <unistd.h>

namespace slidemill::pptx {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : d_(std::make_unique<State>()) {
    d_->context = EVP_MD_CTX_new();
    if (!d_->context || EVP_DigestInit_ex(d_->context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(d_->context);
        throw std::bad_alloc();
    }
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(d_->context);
}

void Sha256::add(const char* data, qsizetype size) {
    if (size > 0)
        EVP_DigestUpdate(d_->context, data, std::size_t(size));
}

QByteArray Sha256::result() {
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int n = 0;
    EVP_DigestFinal_ex(d_->context, reinterpret_cast<unsigned char*>(digest.data()), &n);
    digest.truncate(qsizetype(n));
    return digest;
}

QByteArray sha256OfFile(int fd, qint64 size, const QString& name) {
    constexpr qint64 kPiece = qint64(128) << 10;
    QByteArray piece(kPiece, Qt::Uninitialized);
    Sha256 hash;
    for (qint64 done = 0; done < size;) {
        const ssize_t n =
            ::pread(fd, piece.data(), std::size_t(std::min(size - done, kPiece)), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failRead(errno, name);
        if (n == 0)
            failSave(QStringLiteral("the file changed while it was stored"), name);
        hash.add(piece.constData(), qsizetype(n));
        done += n;
    }
    return hash.result();
}

} // namespace slidemill::pptx
