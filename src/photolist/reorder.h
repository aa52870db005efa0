#pragma once

class QListWidget;

namespace slidemill {

// Moves every selected entry one place up; a run of selected entries at the top stays.
void moveSelectedUp(QListWidget& list);
// Moves every selected entry one place down; a run of selected entries at the bottom stays.
void moveSelectedDown(QListWidget& list);

} // namespace slidemill
