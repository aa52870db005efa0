#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace slidemill::pptx {

// ppt/presentation.xml: the slide size, the master and the slides in order.
// `masterRelId` and `slideRelIds` are the ids its relationships gave them.
QByteArray presentationXml(const QString& masterRelId, const QStringList& slideRelIds);

} // namespace slidemill::pptx
