#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace slidemill::pptx {

// ppt/presentation.xml: the slide size (EMU), the master and the slides in order.
// `masterRelId` and `slideRelIds` are the ids its relationships gave them.
QByteArray presentationXml(const QString& masterRelId, const QStringList& slideRelIds,
                           std::int64_t slideWidthEmu, std::int64_t slideHeightEmu);

} // namespace slidemill::pptx
