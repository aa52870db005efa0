#pragma once

#include <QString>

namespace slidemill {

// The desktop's "open this file in its application".
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    virtual void open(const QString& path) = 0;
};

class SystemDesktopOpener : public DesktopOpener {
public:
    void open(const QString& path) override;
};

} // namespace slidemill
