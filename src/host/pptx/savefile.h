#pragma once

#include <QString>
#include <functional>

namespace slidemill::pptx {

// Writes a complete file at the path it is given.
using FileWriter = std::function<void(const QString& path)>;

// Writes through `write` to a temporary file in `folder` (created if missing), then gives it
// the name "Presentation N.pptx" with the first N that names nothing, never replacing an
// existing file, even one that appears meanwhile. Returns the path written.
QString saveNumbered(const QString& folder, const FileWriter& write);

// Writes through `write` to a temporary file beside `path`, then renames it onto `path`:
// readers see the old file or the new one, never a part.
void saveReplacing(const QString& path, const FileWriter& write);

// Throws RuntimeError 75 ("Saving the presentation: <cause>") naming the file or folder
// whenever either fails; no temporary file is left behind.

} // namespace slidemill::pptx
