#pragma once

#include <QByteArray>

namespace slidemill::pptx {

// The body font of the theme: new text boxes use it. Carlito, its metric twin, stands in
// for it where it is not installed.
inline constexpr char kThemeBodyFont[] = "Calibri";
inline constexpr char kThemeHeadingFont[] = "Calibri Light";

// ppt/theme/theme1.xml: the usual office colours, fonts and the three-step format lists
// every application expects to find.
QByteArray themeXml();

} // namespace slidemill::pptx
