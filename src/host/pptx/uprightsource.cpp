#include "host/pptx/uprightsource.h"

#include "core/nativepath.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace slidemill::pptx {

namespace {

// The state of one source from creation to ZIP_SOURCE_FREE.
struct UprightFile {
    QByteArray path;
    QFile file;
    OrientationField field;
    // Whether this pass rewrites the field, and where the next read starts.
    bool rewrite = false;
    qint64 position = 0;
    zip_error_t error;

    UprightFile(const QString& p, const OrientationField& f) : path(nativePath(p)), field(f) {
        zip_error_init(&error);
    }
    ~UprightFile() { zip_error_fini(&error); }

    zip_int64_t fail(int code) {
        zip_error_set(&error, code, errno);
        return -1;
    }

    bool fieldHoldsMeasuredValue() {
        char bytes[2];
        if (field.offset < 0 || !file.seek(field.offset) || file.read(bytes, 2) != 2)
            return false;
        const quint16 v =
            field.bigEndian ? qFromBigEndian<quint16>(bytes) : qFromLittleEndian<quint16>(bytes);
        return v == field.value;
    }

    zip_int64_t open() {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return fail(ZIP_ER_OPEN);
        if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                       QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return fail(ZIP_ER_OPEN);
        }
        rewrite = fieldHoldsMeasuredValue();
        position = 0;
        if (!file.seek(0))
            return fail(ZIP_ER_SEEK);
        return 0;
    }

    zip_int64_t read(char* data, zip_uint64_t len) {
        const qint64 n =
            file.read(data, qint64(std::min<zip_uint64_t>(len, zip_uint64_t(1) << 30)));
        if (n < 0)
            return fail(ZIP_ER_READ);
        if (rewrite) {
            char one[2];
            if (field.bigEndian)
                qToBigEndian<quint16>(1, one);
            else
                qToLittleEndian<quint16>(1, one);
            // The field may straddle two reads.
            for (int i = 0; i < 2; ++i) {
                const qint64 at = field.offset + i - position;
                if (at >= 0 && at < n)
                    data[at] = one[i];
            }
        }
        position += n;
        return n;
    }

    zip_int64_t stat(void* data, zip_uint64_t len) {
        if (len < sizeof(zip_stat_t))
            return fail(ZIP_ER_INVAL);
        struct stat info;
        if (::stat(path.constData(), &info) != 0)
            return fail(ZIP_ER_NOENT);
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = zip_uint64_t(info.st_size);
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
};

zip_int64_t callback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* s = static_cast<UprightFile*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return s->open();
    case ZIP_SOURCE_READ:
        return s->read(static_cast<char*>(data), len);
    case ZIP_SOURCE_CLOSE:
        s->file.close();
        return 0;
    case ZIP_SOURCE_STAT:
        return s->stat(data, len);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
        delete s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace

zip_source_t* uprightFileSource(zip_t* zip, const QString& file, const OrientationField& field) {
    auto* state = new UprightFile(file, field);
    zip_source_t* source = zip_source_function(zip, callback, state);
    if (!source)
        delete state;
    return source;
}

} // namespace slidemill::pptx
