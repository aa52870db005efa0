#pragma once

#include <QByteArray>
#include <cstdint>

namespace slidemill::pptx {

// docProps/app.xml: the application, the slide size's name and the slide count.
QByteArray docPropsAppXml(int slideCount, std::int64_t slideWidthEmu, std::int64_t slideHeightEmu);

} // namespace slidemill::pptx
