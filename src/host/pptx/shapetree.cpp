#include "host/pptx/shapetree.h"

#include "host/pptx/deck.h"
#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

void startShapeTree(XmlWriter& w) {
    const QString zero = QStringLiteral("0");
    // <p:spTree>
    w.start("p:spTree");
    // <p:nvGrpSpPr>
    w.start("p:nvGrpSpPr");
    w.empty("p:cNvPr", {{"id", QStringLiteral("1")}, {"name", QString()}});
    w.empty("p:cNvGrpSpPr");
    w.empty("p:nvPr");
    w.end();
    // <p:grpSpPr>
    w.start("p:grpSpPr");
    w.start("a:xfrm");
    w.empty("a:off", {{"x", zero}, {"y", zero}});
    w.empty("a:ext", {{"cx", zero}, {"cy", zero}});
    w.empty("a:chOff", {{"x", zero}, {"y", zero}});
    w.empty("a:chExt", {{"cx", zero}, {"cy", zero}});
    w.end();
    w.end();
}

void startPlaceholder(XmlWriter& w, const Shape& s) {
    w.start("p:sp");
    w.start("p:nvSpPr");
    w.empty("p:cNvPr", {{"id", XmlWriter::number(s.id)}, {"name", s.name}});
    w.start("p:cNvSpPr");
    w.empty("a:spLocks", {{"noGrp", QStringLiteral("1")}});
    w.end();
    w.start("p:nvPr");
    if (s.role == Shape::Role::Title)
        w.empty("p:ph", {{"type", QStringLiteral("ctrTitle")}});
    else
        w.empty("p:ph", {{"type", QStringLiteral("subTitle")}, {"idx", QStringLiteral("1")}});
    w.end();
    w.end();
}

// <a:solidFill>, its <a:srgbClr> with an <a:alpha> when one is given
void writeSolidFill(XmlWriter& w, std::uint32_t rgb, std::optional<int> alpha) {
    w.start("a:solidFill");
    const QString value =
        QStringLiteral("%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
    if (alpha) {
        w.start("a:srgbClr", {{"val", value}});
        w.empty("a:alpha", {{"val", XmlWriter::number(*alpha)}});
        w.end();
    } else {
        w.empty("a:srgbClr", {{"val", value}});
    }
    w.end();
}

void endSlideBody(XmlWriter& w) {
    w.end(); // p:spTree
    w.end(); // p:cSld
    // <p:clrMapOvr>
    w.start("p:clrMapOvr");
    w.empty("a:masterClrMapping");
    w.end();
}

} // namespace slidemill::pptx
