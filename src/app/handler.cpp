#include "app/handler.h"

#include "core/runtimeerror.h"

namespace slidemill {

void runHandler(MessageBoxes& boxes, QWidget* parent, const std::function<void()>& body) {
    try {
        body();
    } catch (const RuntimeError& e) {
        boxes.show(parent, e.report(), kAppTitle, mbOkOnly);
    }
}

void resumeNext(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const RuntimeError&) {
    }
}

} // namespace slidemill
