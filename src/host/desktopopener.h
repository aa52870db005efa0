#pragma once

#include <QString>

namespace slidemill {

// The desktop's "open this file in its application".
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    // False when the desktop has nothing to open it with.
    virtual bool open(const QString& path) = 0;
};

class SystemDesktopOpener : public DesktopOpener {
public:
    bool open(const QString& path) override;
};

} // namespace slidemill
