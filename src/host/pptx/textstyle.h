#pragma once

namespace slidemill::pptx {

class XmlWriter;

// Theme font references: "+mn" the body (minor) font, "+mj" the heading (major) font.
enum class ThemeFont { Body, Heading };

// The nine paragraph levels of a text list style (a:lvl1pPr .. a:lvl9pPr) with the given
// size in hundredths of a point, text colour tx1 and the theme font. The caller writes the
// surrounding element.
void writeTextLevels(XmlWriter& w, int sizeHundredths, ThemeFont font);

} // namespace slidemill::pptx
