#pragma once

#include <QByteArray>
#include <QString>

namespace slidemill::pptx {

// ppt/slideMasters/slideMaster1.xml: a white background, the text styles and the one
// (blank) layout it owns under `layoutRelId`.
QByteArray slideMasterXml(const QString& layoutRelId);

} // namespace slidemill::pptx
