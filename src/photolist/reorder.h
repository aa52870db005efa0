#pragma once

class QListWidget;

namespace slidemill {

// cmdUp: every selected entry moves one place up, except the run of selected entries that
// starts at the top. The selection travels with the moved entries and the current entry
// becomes the lowest one moved; when nothing moves, nothing changes. Entries beyond the
// 16-bit range raise the overflow error before anything moves.
void moveSelectedUp(QListWidget& list);

// cmdDown: the mirror image; the run that ends at the bottom stays and the current entry
// becomes the highest one moved.
void moveSelectedDown(QListWidget& list);

} // namespace slidemill
