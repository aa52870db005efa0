#pragma once

#include "slides/picture.h"

#include <QSize>

namespace slidemill::pictures {

qint64 area(QSize size);

// The size that fits `shown` keeping the proportions of `upright`, never larger: the bound
// side exactly, the other rounded.
QSize fittedPixels(QSize upright, QSize shown);

// The picture's upright size in pixels, as measured from its header: its HIMETRIC size at 96
// pixels per inch.
QSize measuredPixels(const Picture& picture);

} // namespace slidemill::pictures
