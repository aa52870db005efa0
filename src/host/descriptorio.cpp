#include "host/descriptorio.h"

#include "core/faults.h"
#include "core/runtimeerror.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace slidemill {

namespace {

int readDescriptor(void* opaque, std::uint8_t* buffer, int size) {
    auto* f = static_cast<DescriptorIo*>(opaque);
    for (;;) {
        const ssize_t n = ::pread(f->fd, buffer, std::size_t(size), f->at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            f->error = errno;
            return AVERROR(f->error);
        }
        if (n == 0)
            return AVERROR_EOF;
        f->at += n;
        return int(n);
    }
}

int writeDescriptor(void* opaque, std::uint8_t* buffer, int size) {
    auto* f = static_cast<DescriptorIo*>(opaque);
    if (const int fault = injectedFault(IoCall::Write, {})) {
        f->error = fault;
        return AVERROR(fault);
    }
    int done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(f->fd, buffer + done, std::size_t(size - done), f->at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            f->error = n < 0 ? errno : EIO;
            return AVERROR(f->error);
        }
        done += int(n);
        f->at += n;
        f->size = std::max(f->size, f->at);
    }
    return size;
}

std::int64_t seekDescriptor(void* opaque, std::int64_t offset, int whence) {
    auto* f = static_cast<DescriptorIo*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return f->size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += f->at;
        break;
    case SEEK_END:
        offset += f->size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    f->at = offset;
    return offset;
}

} // namespace

AVIOContext* descriptorContext(DescriptorIo* io, int bufferBytes, bool write) {
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(std::size_t(bufferBytes)));
    if (!buffer)
        throw RuntimeError(errOutOfMemory);
    AVIOContext* context =
        avio_alloc_context(buffer, bufferBytes, write ? 1 : 0, io, readDescriptor,
                           write ? writeDescriptor : nullptr, seekDescriptor);
    if (!context) {
        av_free(buffer);
        throw RuntimeError(errOutOfMemory);
    }
    return context;
}

void freeDescriptorContext(AVIOContext*& context) {
    if (context) {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
}

} // namespace slidemill
