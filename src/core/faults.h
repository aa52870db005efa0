#pragma once

#include <QByteArray>

namespace slidemill {

// The calls of a save that the tests make fail: reading a picture (to copy or to decode it),
// reading back what was written, writing the deck, syncing it to the disk, starting a thread
// (the answer is pthread_create's error; the picture pool asks for every job it is given,
// whether it starts a thread for it or not, so that any picture's can fail, and so does a
// preview for the thread that watches for its stop), taking the memory to decode a picture
// (ENOMEM throws std::bad_alloc), and reading a picture's header to measure it, which a build
// and a preview do first.
enum class IoCall { ReadPicture, ReadBack, Write, Sync, StartThread, Allocate, MeasurePicture };

// The fault seam. The hook is asked before each such call with the zip entry the call serves
// (empty for none; "/" for the sync of the deck's folder), possibly from several threads at once; a
// non-zero answer is taken as the errno the call failed with. The programs set none.
using FaultHook = int (*)(IoCall call, const QByteArray& entry);
void setFaultHook(FaultHook hook);
int injectedFault(IoCall call, const QByteArray& entry);

// The zip entry that the work on this thread serves, for calls made far from the package (a
// decoder reading its picture): set for the life of this object.
class FaultEntry {
public:
    explicit FaultEntry(QByteArray entry);
    ~FaultEntry();
    FaultEntry(const FaultEntry&) = delete;
    FaultEntry& operator=(const FaultEntry&) = delete;
    // This thread's entry; empty outside any.
    static const QByteArray& current();

private:
    QByteArray previous_;
};

} // namespace slidemill
