#include "host/pptx/theme.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

namespace {

// <a:clrScheme>
void writeColourScheme(XmlWriter& w) {
    w.start("a:clrScheme", {{"name", QStringLiteral("Office")}});
    w.start("a:dk1");
    w.empty("a:sysClr",
            {{"val", QStringLiteral("windowText")}, {"lastClr", QStringLiteral("000000")}});
    w.end();
    w.start("a:lt1");
    w.empty("a:sysClr", {{"val", QStringLiteral("window")}, {"lastClr", QStringLiteral("FFFFFF")}});
    w.end();
    const std::pair<const char*, const char*> colours[] = {
        {"a:dk2", "44546A"},     {"a:lt2", "E7E6E6"},     {"a:accent1", "4472C4"},
        {"a:accent2", "ED7D31"}, {"a:accent3", "A5A5A5"}, {"a:accent4", "FFC000"},
        {"a:accent5", "5B9BD5"}, {"a:accent6", "70AD47"}, {"a:hlink", "0563C1"},
        {"a:folHlink", "954F72"}};
    for (const auto& [name, rgb] : colours) {
        w.start(name);
        w.empty("a:srgbClr", {{"val", QLatin1String(rgb)}});
        w.end();
    }
    w.end();
}

// <a:majorFont> / <a:minorFont>
void writeFont(XmlWriter& w, const char* element, const char* latin) {
    w.start(element);
    w.empty("a:latin", {{"typeface", QLatin1String(latin)}});
    w.empty("a:ea", {{"typeface", QString()}});
    w.empty("a:cs", {{"typeface", QString()}});
    w.end();
}

// <a:solidFill> of the placeholder colour
void writePlaceholderFill(XmlWriter& w) {
    w.start("a:solidFill");
    w.empty("a:schemeClr", {{"val", QStringLiteral("phClr")}});
    w.end();
}

// <a:fmtScheme>
void writeFormatScheme(XmlWriter& w) {
    w.start("a:fmtScheme", {{"name", QStringLiteral("Office")}});
    w.start("a:fillStyleLst");
    for (int i = 0; i < 3; ++i)
        writePlaceholderFill(w);
    w.end();
    w.start("a:lnStyleLst");
    for (int width : {6350, 12700, 19050}) {
        w.start("a:ln", {{"w", XmlWriter::number(width)},
                         {"cap", QStringLiteral("flat")},
                         {"cmpd", QStringLiteral("sng")},
                         {"algn", QStringLiteral("ctr")}});
        writePlaceholderFill(w);
        w.empty("a:prstDash", {{"val", QStringLiteral("solid")}});
        w.empty("a:miter", {{"lim", QStringLiteral("800000")}});
        w.end();
    }
    w.end();
    w.start("a:effectStyleLst");
    for (int i = 0; i < 3; ++i) {
        w.start("a:effectStyle");
        w.empty("a:effectLst");
        w.end();
    }
    w.end();
    w.start("a:bgFillStyleLst");
    for (int i = 0; i < 3; ++i)
        writePlaceholderFill(w);
    w.end();
    w.end();
}

} // namespace

QByteArray themeXml() {
    XmlWriter w;
    w.startDocument();
    // <a:theme>
    w.start("a:theme");
    w.namespaceDecl("a", ns::kDml);
    w.attribute("name", QStringLiteral("Office Theme"));
    // <a:themeElements>
    w.start("a:themeElements");
    writeColourScheme(w);
    w.start("a:fontScheme", {{"name", QStringLiteral("Office")}});
    writeFont(w, "a:majorFont", kThemeHeadingFont);
    writeFont(w, "a:minorFont", kThemeBodyFont);
    w.end();
    writeFormatScheme(w);
    w.end();
    w.empty("a:objectDefaults");
    w.empty("a:extraClrSchemeLst");
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
