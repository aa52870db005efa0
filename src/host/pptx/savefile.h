#pragma once

#include "core/fileidentity.h"

#include <QString>
#include <functional>
#include <memory>

namespace slidemill::pptx {

// Where a deck is written while it is built. A file is written under a hidden temporary name
// in its folder, locked while it is written, and given its name only when complete, so that
// readers see the old file or the new one, never a part; destroyed before that, it is
// removed. Stale temporary files of that naming that no process holds any more (after a
// crash or SIGKILL) are removed by the next save into the same folder.
//
// Everything throws RuntimeError 75 ("Saving the presentation: <cause>") naming the file or
// folder being saved, never the temporary name.
class SaveFile {
public:
    // A file to be named "Presentation N.pptx" in `folder` (made if missing), with the first
    // N that names nothing, never replacing a file, even one that appears meanwhile.
    static std::unique_ptr<SaveFile> numbered(const QString& folder);
    // A file to replace `path`; through a symbolic link, its target. Refused when the path
    // names something other than a regular file.
    static std::unique_ptr<SaveFile> replacing(const QString& path);
    // An open descriptor such as standard output, written as it goes; named `name` in errors.
    static std::unique_ptr<SaveFile> stream(int fd, const QString& name);

    virtual ~SaveFile() = default;
    virtual int fd() const = 0;
    // What errors about the output name.
    virtual QString name() const = 0;
    // The identity of the file being replaced or streamed into; unknown for a new file.
    virtual FileIdentity target() const = 0;

    // Makes the bytes written the saved file: on the disk first, then under the final name,
    // with the mode (and, where allowed, owner) of the file it replaces, or 0666 less the
    // umask for a new one. Refused, leaving everything as it was, when the final name now
    // names something other than a regular file or a file `isPicture` says is a picture.
    // Returns the saved path; empty for a stream.
    virtual QString commit(const std::function<bool(const FileIdentity&)>& isPicture) = 0;
};

// Removes the temporary files of unfinished saves when SIGINT, SIGTERM or SIGHUP ends the
// process, which then ends with the signal's usual status. Signals that are ignored stay so.
// SIGXFSZ is ignored, so that a file-size limit fails the save instead of ending the process.
void removeUnfinishedSavesOnSignal();

} // namespace slidemill::pptx
