#include "host/pptx/presentation.h"

#include "host/pptx/textstyle.h"
#include "host/pptx/units.h"
#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

namespace {
// Master and layout ids live above 2^31; slide ids from 256.
constexpr qint64 kFirstMasterId = 2147483648LL;
constexpr int kFirstSlideId = 256;
} // namespace

QByteArray presentationXml(const QString& masterRelId, const QStringList& slideRelIds,
                           std::int64_t slideWidthEmu, std::int64_t slideHeightEmu) {
    XmlWriter w;
    w.startDocument();
    // <p:presentation>
    w.start("p:presentation");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    // <p:sldMasterIdLst>
    w.start("p:sldMasterIdLst");
    w.empty("p:sldMasterId", {{"id", XmlWriter::number(kFirstMasterId)}, {"r:id", masterRelId}});
    w.end();
    // <p:sldIdLst>: left out when there are no slides.
    if (!slideRelIds.isEmpty()) {
        w.start("p:sldIdLst");
        for (int i = 0; i < slideRelIds.size(); ++i) {
            w.empty("p:sldId",
                    {{"id", XmlWriter::number(kFirstSlideId + i)}, {"r:id", slideRelIds[i]}});
        }
        w.end();
    }
    // <p:sldSz>: a size other than 4:3 has no type of its own (16:9 is 10 x 5.625 inches).
    w.empty("p:sldSz",
            {{"cx", XmlWriter::number(slideWidthEmu)}, {"cy", XmlWriter::number(slideHeightEmu)}});
    if (slideWidthEmu == kSlideWidthEmu && slideHeightEmu == kSlideHeightEmu)
        w.attribute("type", QStringLiteral("screen4x3"));
    // <p:notesSz>
    w.empty("p:notesSz", {{"cx", XmlWriter::number(kSlideHeightEmu)},
                          {"cy", XmlWriter::number(kSlideWidthEmu)}});
    // <p:defaultTextStyle>
    w.start("p:defaultTextStyle");
    w.start("a:defPPr");
    w.empty("a:defRPr", {{"lang", QStringLiteral("en-US")}});
    w.end();
    writeTextLevels(w, 1800, ThemeFont::Body);
    w.end();
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
