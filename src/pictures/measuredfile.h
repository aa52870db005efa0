#pragma once

#include "core/fileidentity.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>

namespace slidemill::pictures {

// An open picture file, closed with its owner.
class MeasuredFile {
public:
    // Opens `path` without waiting on whatever is there now (a FIFO put in the picture's place
    // cannot hang the save) and checks that it is the regular file the build measured. Every
    // picture that goes into a deck is opened here. Throws RuntimeError 75 naming the path.
    MeasuredFile(const QString& path, const FileIdentity& measured);
    ~MeasuredFile();
    MeasuredFile(const MeasuredFile&) = delete;
    MeasuredFile& operator=(const MeasuredFile&) = delete;

    int fd() const { return fd_; }
    const QString& path() const { return path_; }
    const FileIdentity& identity() const { return identity_; }

    // `size` bytes from `at`. Throws 75 naming the picture when a read fails, or when the file
    // ends before them (it changed since it was measured).
    QByteArray read(qint64 at, qint64 size) const;

    // After the file was read: throws 75 ("the file changed while it was stored") when it was
    // written to meanwhile, so what was read may not be what was measured.
    void checkUnchanged() const;

    // Where a decoder reading the file notes the errno of a read that failed, so that the
    // failure is told as the read error it is rather than as an undecodable picture; shared
    // with whatever reads on after this object is gone.
    const std::shared_ptr<std::atomic<int>>& readError() const { return readError_; }
    // Throws 75 naming the picture with the read error noted, if any.
    void checkRead() const;

private:
    std::shared_ptr<std::atomic<int>> readError_ = std::make_shared<std::atomic<int>>(0);
    int fd_ = -1;
    QString path_;
    FileIdentity identity_;
};

} // namespace slidemill::pictures
