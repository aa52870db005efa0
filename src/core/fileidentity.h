#pragma once

#include <QtGlobal>

struct stat;

namespace slidemill {

// A file as the file system identified it at one moment. Another file, or the same one
// written since, has other values.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    // The last modification since 1970, in seconds and the nanoseconds beyond them: any time
    // a file system holds (past 2262 too, where nanoseconds would overflow 64 bits).
    qint64 modifiedSeconds = 0;
    qint32 modifiedNanoseconds = 0;

    bool known() const { return size >= 0; }
    bool sameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const FileIdentity&) const = default;
};

// The identity of an open file; unknown when it cannot be had.
FileIdentity identityOf(int fd);
FileIdentity identityOf(const struct ::stat& st);

} // namespace slidemill
