#include "host/pptx/shapetree.h"

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

void endSlideBody(XmlWriter& w) {
    w.end(); // p:spTree
    w.end(); // p:cSld
    // <p:clrMapOvr>
    w.start("p:clrMapOvr");
    w.empty("a:masterClrMapping");
    w.end();
}

} // namespace slidemill::pptx
