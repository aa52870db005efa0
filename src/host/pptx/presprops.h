#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// The three small fixed parts presentation applications look for beside presentation.xml.
// ppt/presProps.xml
QByteArray presPropsXml();
// ppt/viewProps.xml
QByteArray viewPropsXml();
// ppt/tableStyles.xml
QByteArray tableStylesXml();

} // namespace slidemill::pptx
