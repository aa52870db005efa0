#pragma once

#include <QByteArray>
#include <QStringList>

namespace slidemill::pptx {

// ppt/slideMasters/slideMaster1.xml: a white background, the text styles and the layouts it
// owns under `layoutRelIds`, the blank one first.
QByteArray slideMasterXml(const QStringList& layoutRelIds);

} // namespace slidemill::pptx
