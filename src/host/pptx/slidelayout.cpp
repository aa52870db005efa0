#include "host/pptx/slidelayout.h"

#include "host/pptx/shapetree.h"
#include "host/pptx/units.h"
#include "host/pptx/xmlwriter.h"
#include "slides/presentationhost.h"

namespace slidemill::pptx {

namespace {

// The title layout's placeholders as the builds and the album's sketch know them.
constexpr Frame frameOf(const TitlePlaceholder& p) {
    return {std::int64_t(p.left * kEmuPerPoint), std::int64_t(p.top * kEmuPerPoint),
            std::int64_t(p.width * kEmuPerPoint), std::int64_t(p.height * kEmuPerPoint)};
}

// <a:xfrm>
void writeFrame(XmlWriter& w, const Frame& f) {
    w.start("a:xfrm");
    w.empty("a:off", {{"x", XmlWriter::number(f.x)}, {"y", XmlWriter::number(f.y)}});
    w.empty("a:ext", {{"cx", XmlWriter::number(f.cx)}, {"cy", XmlWriter::number(f.cy)}});
    w.end();
}

// <p:sp> of a layout placeholder: its frame, and its text centred in the deck's heading or
// body font, with the prompt an application shows when editing the layout.
void writePlaceholder(XmlWriter& w, const Shape& s) {
    const bool title = s.role == Shape::Role::Title;
    startPlaceholder(w, s);
    w.start("p:spPr");
    writeFrame(w, s.frame);
    w.end();
    w.start("p:txBody");
    w.empty("a:bodyPr", {{"anchor", title ? QStringLiteral("ctr") : QStringLiteral("t")}});
    w.start("a:lstStyle");
    if (title)
        w.start("a:lvl1pPr", {{"algn", QStringLiteral("ctr")}});
    else
        w.start("a:lvl1pPr", {{"marL", QStringLiteral("0")},
                              {"indent", QStringLiteral("0")},
                              {"algn", QStringLiteral("ctr")}});
    if (!title)
        w.empty("a:buNone");
    w.start("a:defRPr", {{"sz", XmlWriter::number(s.fontSizeHundredths)}});
    w.start("a:solidFill");
    if (title) {
        w.empty("a:schemeClr", {{"val", QStringLiteral("tx1")}});
    } else {
        w.start("a:schemeClr", {{"val", QStringLiteral("tx1")}});
        w.empty("a:tint", {{"val", QStringLiteral("75000")}});
        w.end();
    }
    w.end();
    w.empty("a:latin", {{"typeface", title ? QStringLiteral("+mj-lt") : QStringLiteral("+mn-lt")}});
    w.end(); // a:defRPr
    w.end(); // a:lvl1pPr
    w.end(); // a:lstStyle
    w.start("a:p");
    w.start("a:r");
    w.empty("a:rPr", {{"lang", QStringLiteral("en-US")}});
    w.text("a:t", title ? QStringLiteral("Click to edit Master title style")
                        : QStringLiteral("Click to edit Master subtitle style"));
    w.end();
    w.empty("a:endParaRPr", {{"lang", QStringLiteral("en-US")}});
    w.end(); // a:p
    w.end(); // p:txBody
    w.end(); // p:sp
}

Frame centred(const Frame& f, const Deck& deck) {
    return {f.x + (deck.slideWidthEmu - kSlideWidthEmu) / 2,
            f.y + (deck.slideHeightEmu - kSlideHeightEmu) / 2, f.cx, f.cy};
}

} // namespace

std::vector<Shape> titleLayoutPlaceholders(const Deck& deck) {
    Shape title;
    title.kind = Shape::Kind::Placeholder;
    title.role = Shape::Role::Title;
    title.id = 2;
    title.name = QStringLiteral("Title 1");
    title.frame = centred(frameOf(kTitlePlaceholder), deck);
    title.fontSizeHundredths = int(kTitlePlaceholder.fontSize * 100);
    Shape subtitle = title;
    subtitle.role = Shape::Role::Subtitle;
    subtitle.id = 3;
    subtitle.name = QStringLiteral("Subtitle 2");
    subtitle.frame = centred(frameOf(kSubtitlePlaceholder), deck);
    subtitle.fontSizeHundredths = int(kSubtitlePlaceholder.fontSize * 100);
    return {title, subtitle};
}

QByteArray slideLayoutXml(Layout layout, const Deck& deck) {
    const bool title = layout == Layout::Title;
    XmlWriter w;
    w.startDocument();
    // <p:sldLayout>
    w.start("p:sldLayout");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    w.attribute("type", title ? QStringLiteral("title") : QStringLiteral("blank"));
    w.attribute("preserve", QStringLiteral("1"));
    // <p:cSld>
    w.start("p:cSld", {{"name", title ? QStringLiteral("Title Slide") : QStringLiteral("Blank")}});
    startShapeTree(w);
    if (title) {
        for (const Shape& s : titleLayoutPlaceholders(deck))
            writePlaceholder(w, s);
    }
    endSlideBody(w);
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
