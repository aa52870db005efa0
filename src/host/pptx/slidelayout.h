#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// ppt/slideLayouts/slideLayout1.xml: the blank layout, nothing on it.
QByteArray slideLayoutXml();

} // namespace slidemill::pptx
