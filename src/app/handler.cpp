#include "app/handler.h"

#include "core/runtimeerror.h"

namespace slidemill {

void reportError(MessageBoxes& boxes, QWidget* parent, const RuntimeError& error) {
    boxes.show(parent, error.report(), kAppTitle, mbOkOnly | mbExclamation);
}

void runHandler(MessageBoxes& boxes, QWidget* parent, const std::function<void()>& body) {
    try {
        body();
    } catch (const RuntimeError& e) {
        reportError(boxes, parent, e);
    }
}

void resumeNext(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const RuntimeError&) {
    }
}

} // namespace slidemill
