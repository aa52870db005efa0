#include "host/pptx/presprops.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

QByteArray presPropsXml(bool loop) {
    XmlWriter w;
    w.startDocument();
    // <p:presentationPr>
    w.start("p:presentationPr");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    if (loop) {
        // <p:showPr>: every slide, full screen, until Esc
        w.start("p:showPr", {{"loop", QStringLiteral("1")}});
        w.empty("p:present");
        w.empty("p:sldAll");
        w.end();
    }
    w.end();
    return w.finish();
}

QByteArray viewPropsXml() {
    XmlWriter w;
    w.startDocument();
    // <p:viewPr>
    w.start("p:viewPr");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    w.empty("p:gridSpacing", {{"cx", QStringLiteral("76200")}, {"cy", QStringLiteral("76200")}});
    w.end();
    return w.finish();
}

QByteArray tableStylesXml() {
    XmlWriter w;
    w.startDocument();
    // <a:tblStyleLst>: the default medium style 2, accent 1
    w.start("a:tblStyleLst");
    w.namespaceDecl("a", ns::kDml);
    w.attribute("def", QStringLiteral("{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}"));
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
