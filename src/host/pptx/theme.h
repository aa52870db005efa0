#pragma once

#include "slides/presentationhost.h"

#include <QByteArray>

namespace slidemill::pptx {

inline constexpr const char* kThemeBodyFont = kBodyFont;
inline constexpr const char* kThemeHeadingFont = kHeadingFont;

// ppt/theme/theme1.xml: the usual office colours, fonts and the three-step format lists
// every application expects to find.
QByteArray themeXml();

} // namespace slidemill::pptx
