#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// The three small fixed parts presentation applications look for beside presentation.xml.
// ppt/presProps.xml: the show runs once through every slide, or round and round when
// `loop`.
QByteArray presPropsXml(bool loop = false);
// ppt/viewProps.xml
QByteArray viewPropsXml();
// ppt/tableStyles.xml
QByteArray tableStylesXml();

} // namespace slidemill::pptx
