#pragma once

// The package's own name for what every layer reports a failed save or read with.
#include "core/saveerror.h"

namespace slidemill::pptx {

using slidemill::errnoText;
using slidemill::failRead;
using slidemill::failSave;
using slidemill::failSaveErrno;
using slidemill::pictureChanged;

} // namespace slidemill::pptx
