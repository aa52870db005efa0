#pragma once

#include <QGuiApplication>

namespace slidemill {

// The busy cursor for as long as this lives, also when what it covers ends in an error. On the
// GUI thread only.
struct BusyCursor {
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace slidemill
