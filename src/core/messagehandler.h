#pragma once

#include <functional>

namespace slidemill {

// Qt's picture readers and the libraries under them (libtiff, libpng) report odd file headers
// on standard error: lines that a user of a build that worked has no use for, and that stand
// beside the program's own message when one fails. Installed first thing in main, this sends
// every such message through one Qt message handler that passes only Qt's critical and fatal
// messages and those of the program's own "slidemill.*" logging categories, and drops the
// rest. SLIDEMILL_DEBUG set to anything but 0 lets everything through, library notes included.
void installMessageHandler();

// Whether installMessageHandler has quieted the process. The decoding module keeps its own copy
// of this state and is told the program's when it is opened.
bool standardErrorQuieted();
void setStandardErrorQuieted(bool quieted);

// Some decoders print to standard error themselves, with no way to be told otherwise:
// libde265 ("SPS error: ...") and dav1d ("Error parsing OBU data"), under libheif. Runs `work`
// on a thread of its own and waits for it; once installMessageHandler has quieted the process,
// that thread and those it starts write their standard error to /dev/null through a descriptor
// table of their own, while the rest of the program keeps its standard error. Rethrows what
// `work` throws.
void runWithOwnStandardErrorMuted(const std::function<void()>& work);

} // namespace slidemill
