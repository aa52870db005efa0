#pragma once

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace slidemill::pptx {

// ppt/slideMasters/slideMaster1.xml: the theme's white background, or `background`
// (0xRRGGBB) when given, the text styles and the layouts it owns under `layoutRelIds`, the
// blank one first.
QByteArray slideMasterXml(const QStringList& layoutRelIds,
                          std::optional<std::uint32_t> background = {});

} // namespace slidemill::pptx
