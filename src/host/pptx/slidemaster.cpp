#include "host/pptx/slidemaster.h"

#include "host/pptx/shapetree.h"
#include "host/pptx/textstyle.h"
#include "host/pptx/xmlwriter.h"
#include "slides/presentationhost.h"

namespace slidemill::pptx {

namespace {

// <p:bg>: the theme's background fill, or a colour of the deck's own
void writeBackground(XmlWriter& w, std::optional<std::uint32_t> colour) {
    w.start("p:bg");
    if (colour) {
        w.start("p:bgPr");
        writeSolidFill(w, *colour);
        // Applications that write bgPr always give it its effects, if none.
        w.empty("a:effectLst");
        w.end();
    } else {
        w.start("p:bgRef", {{"idx", QStringLiteral("1001")}});
        w.empty("a:schemeClr", {{"val", QStringLiteral("bg1")}});
        w.end();
    }
    w.end();
}

} // namespace

QByteArray slideMasterXml(const QStringList& layoutRelIds,
                          std::optional<std::uint32_t> background) {
    XmlWriter w;
    w.startDocument();
    // <p:sldMaster>
    w.start("p:sldMaster");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    // <p:cSld>
    w.start("p:cSld");
    writeBackground(w, background);
    startShapeTree(w);
    w.end(); // p:spTree
    w.end(); // p:cSld
    // <p:clrMap>
    w.empty("p:clrMap", {{"bg1", QStringLiteral("lt1")},
                         {"tx1", QStringLiteral("dk1")},
                         {"bg2", QStringLiteral("lt2")},
                         {"tx2", QStringLiteral("dk2")},
                         {"accent1", QStringLiteral("accent1")},
                         {"accent2", QStringLiteral("accent2")},
                         {"accent3", QStringLiteral("accent3")},
                         {"accent4", QStringLiteral("accent4")},
                         {"accent5", QStringLiteral("accent5")},
                         {"accent6", QStringLiteral("accent6")},
                         {"hlink", QStringLiteral("hlink")},
                         {"folHlink", QStringLiteral("folHlink")}});
    // <p:sldLayoutIdLst>
    w.start("p:sldLayoutIdLst");
    // Layout ids follow the master's, 2147483648.
    for (qsizetype i = 0; i < layoutRelIds.size(); ++i)
        w.empty("p:sldLayoutId",
                {{"id", XmlWriter::number(2147483649LL + i)}, {"r:id", layoutRelIds[i]}});
    w.end();
    // <p:txStyles>
    w.start("p:txStyles");
    w.start("p:titleStyle");
    writeTextLevels(w, int(kTitlePlaceholder.fontSize * 100), ThemeFont::Heading);
    w.end();
    w.start("p:bodyStyle");
    writeTextLevels(w, int(kSubtitlePlaceholder.fontSize * 100), ThemeFont::Body);
    w.end();
    w.start("p:otherStyle");
    writeTextLevels(w, 1800, ThemeFont::Body);
    w.end();
    w.end();
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
