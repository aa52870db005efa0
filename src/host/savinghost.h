#pragma once

#include "slides/presentationhost.h"

#include <QString>

namespace slidemill {

// A presentation application that ends a build by saving the deck as a file and handing it
// to the desktop to open; it tells where the deck went, so that the user can be told.
class SavingHost : public PresentationHost {
public:
    // The file the last endBuild wrote; empty when it wrote none.
    virtual QString savedPath() const = 0;
    // Whether the desktop took that file to open it.
    virtual bool openedOnDesktop() const = 0;
};

} // namespace slidemill
