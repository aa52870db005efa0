#include "core/fileidentity.h"

#include <sys/stat.h>

namespace slidemill {

FileIdentity identityOf(int fd) {
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return {};
    return identityOf(st);
}

FileIdentity identityOf(const struct ::stat& st) {
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
            qint32(st.st_mtim.tv_nsec)};
}

} // namespace slidemill
