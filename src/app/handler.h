#pragma once

#include "core/messageboxes.h"

#include <functional>

class QWidget;

namespace slidemill {

class RuntimeError;

// Shows an error no handler trapped in a message box titled "Slidemill".
void reportError(MessageBoxes& boxes, QWidget* parent, const RuntimeError& error);

// Runs a handler in the default error mode. A RuntimeError that leaves it is shown in a
// message box titled "Slidemill" and the program goes on, everything in place.
void runHandler(MessageBoxes& boxes, QWidget* parent, const std::function<void()>& body);

// Resume-next: a failing statement is passed over and the next one runs.
void resumeNext(const std::function<void()>& statement);

} // namespace slidemill
