#include "host/pptx/textstyle.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

void writeTextLevels(XmlWriter& w, int sizeHundredths, ThemeFont font) {
    const char* prefix = font == ThemeFont::Body ? "+mn" : "+mj";
    for (int level = 1; level <= 9; ++level) {
        const QByteArray name = "a:lvl" + QByteArray::number(level) + "pPr";
        // <a:lvlNpPr>
        w.start(name.constData(), {{"marL", XmlWriter::number((level - 1) * 457200)},
                                   {"algn", QStringLiteral("l")},
                                   {"defTabSz", QStringLiteral("914400")},
                                   {"rtl", QStringLiteral("0")},
                                   {"eaLnBrk", QStringLiteral("1")},
                                   {"latinLnBrk", QStringLiteral("0")},
                                   {"hangingPunct", QStringLiteral("1")}});
        // <a:defRPr>
        w.start("a:defRPr",
                {{"sz", XmlWriter::number(sizeHundredths)}, {"kern", QStringLiteral("1200")}});
        w.start("a:solidFill");
        w.empty("a:schemeClr", {{"val", QStringLiteral("tx1")}});
        w.end();
        w.empty("a:latin", {{"typeface", QLatin1String(prefix) + QStringLiteral("-lt")}});
        w.empty("a:ea", {{"typeface", QLatin1String(prefix) + QStringLiteral("-ea")}});
        w.empty("a:cs", {{"typeface", QLatin1String(prefix) + QStringLiteral("-cs")}});
        w.end();
        w.end();
    }
}

} // namespace slidemill::pptx
