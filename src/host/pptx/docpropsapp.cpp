#include "host/pptx/docpropsapp.h"

#include "host/pptx/units.h"
#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

namespace {

// What presentation applications call the slide size.
QString formatName(std::int64_t width, std::int64_t height) {
    if (width == kSlideWidthEmu && height == kSlideHeightEmu)
        return QStringLiteral("On-screen Show (4:3)");
    if (width == 960 * kEmuPerPoint && height == 540 * kEmuPerPoint)
        return QStringLiteral("On-screen Show (16:9)");
    return QStringLiteral("Custom");
}

} // namespace

QByteArray docPropsAppXml(int slideCount, std::int64_t slideWidthEmu, std::int64_t slideHeightEmu) {
    XmlWriter w;
    w.startDocument();
    // <Properties>
    w.start("Properties");
    w.namespaceDecl("",
                    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties");
    w.namespaceDecl("vt", "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes");
    w.text("TotalTime", QStringLiteral("0"));
    w.text("Application", QStringLiteral("Slidemill"));
    w.text("PresentationFormat", formatName(slideWidthEmu, slideHeightEmu));
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
