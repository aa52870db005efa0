#pragma once

#include <QtGlobal>

struct AVIOContext;

namespace slidemill {

// A file FFmpeg reads, and may write, by position through a descriptor we opened, so that it
// never opens anything itself. The errno of a read or write that failed is kept in `error`.
struct DescriptorIo {
    int fd = -1;
    qint64 at = 0;
    qint64 size = 0;
    int error = 0;
};

// An I/O context over `io` with a buffer of `bufferBytes`, writing too when `write`. Throws
// RuntimeError 7 when it cannot be had. Freed, buffer and all, by freeDescriptorContext.
AVIOContext* descriptorContext(DescriptorIo* io, int bufferBytes, bool write);
void freeDescriptorContext(AVIOContext*& context);

} // namespace slidemill
