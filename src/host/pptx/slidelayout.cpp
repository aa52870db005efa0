#include "host/pptx/slidelayout.h"

#include "host/pptx/shapetree.h"
#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

QByteArray slideLayoutXml() {
    XmlWriter w;
    w.startDocument();
    // <p:sldLayout>
    w.start("p:sldLayout");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    w.attribute("type", QStringLiteral("blank"));
    w.attribute("preserve", QStringLiteral("1"));
    // <p:cSld>
    w.start("p:cSld", {{"name", QStringLiteral("Blank")}});
    startShapeTree(w);
    endSlideBody(w);
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
