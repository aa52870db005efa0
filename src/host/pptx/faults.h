#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// The calls of a save that the tests make fail: reading a picture, reading back what was
// written, writing the deck, syncing it to the disk.
enum class IoCall { ReadPicture, ReadBack, Write, Sync };

// The fault seam. The hook is asked before each such call with the zip entry the call serves
// (empty for none), possibly from several threads at once; a non-zero answer is taken as the
// errno the call failed with. The programs set none.
using FaultHook = int (*)(IoCall call, const QByteArray& entry);
void setFaultHook(FaultHook hook);
int injectedFault(IoCall call, const QByteArray& entry);

} // namespace slidemill::pptx
