#include "host/pptx/docpropscore.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

QByteArray docPropsCoreXml() {
    XmlWriter w;
    w.startDocument();
    // <cp:coreProperties>
    w.start("cp:coreProperties");
    w.namespaceDecl("cp",
                    "http://schemas.openxmlformats.org/package/2006/metadata/core-properties");
    w.namespaceDecl("dc", "http://purl.org/dc/elements/1.1/");
    w.namespaceDecl("dcterms", "http://purl.org/dc/terms/");
    w.namespaceDecl("dcmitype", "http://purl.org/dc/dcmitype/");
    w.namespaceDecl("xsi", "http://www.w3.org/2001/XMLSchema-instance");
    w.text("dc:creator", QStringLiteral("Slidemill"));
    w.text("cp:lastModifiedBy", QStringLiteral("Slidemill"));
    w.text("cp:revision", QStringLiteral("1"));
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
