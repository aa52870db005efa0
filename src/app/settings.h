#pragma once

#include "slides/albumoptions.h"

class QSettings;

namespace slidemill {

// What the window remembers between runs: the resolution builds store pictures at, and the
// album options under [album], a key for each row of the album option table that has one, in
// the batch tool's words. Over a null QSettings nothing is read or written: the choices last
// for this run only.
class Settings {
public:
    explicit Settings(QSettings* settings) : settings_(settings) {}

    // The resolution remembered when it is one of the presets; the default when none is.
    int pixelsPerInch() const;
    void setPixelsPerInch(int pixelsPerInch);

    // The album as remembered. The file may have been written by hand: a value the table
    // refuses is left out, with a line on standard error, and the option keeps its default.
    Album album() const;
    // Writes every option, removing those that are not set at all.
    void setAlbum(const Album& album);

private:
    QSettings* settings_;
};

} // namespace slidemill
