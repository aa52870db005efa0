#include "host/pptx/docpropsapp.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

QByteArray docPropsAppXml(int slideCount) {
    XmlWriter w;
    w.startDocument();
    // <Properties>
    w.start("Properties");
    w.namespaceDecl("",
                    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties");
    w.namespaceDecl("vt", "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes");
    w.text("TotalTime", QStringLiteral("0"));
    w.text("Application", QStringLiteral("Slidemill"));
    w.text("PresentationFormat", QStringLiteral("On-screen Show (4:3)"));
    w.text("Slides", XmlWriter::number(slideCount));
    w.text("Notes", QStringLiteral("0"));
    w.text("HiddenSlides", QStringLiteral("0"));
    w.text("MMClips", QStringLiteral("0"));
    w.text("ScaleCrop", QStringLiteral("false"));
    w.text("LinksUpToDate", QStringLiteral("false"));
    w.text("SharedDoc", QStringLiteral("false"));
    w.text("HyperlinksChanged", QStringLiteral("false"));
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
