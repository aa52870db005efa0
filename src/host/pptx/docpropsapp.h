#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// docProps/app.xml: the application and the slide count.
QByteArray docPropsAppXml(int slideCount);

} // namespace slidemill::pptx
