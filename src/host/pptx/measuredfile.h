#pragma once

#include "core/fileidentity.h"

#include <QString>

namespace slidemill::pptx {

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

    // After the file was read: throws 75 ("the file changed while it was stored") when it was
    // written to meanwhile, so what was read may not be what was measured.
    void checkUnchanged() const;

private:
    int fd_ = -1;
    QString path_;
    FileIdentity identity_;
};

} // namespace slidemill::pptx
