#include "host/pptx/slide.h"

#include "host/pptx/shapetree.h"
#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

namespace {

// <a:xfrm>
void writeFrame(XmlWriter& w, const Shape& s) {
    const Frame& f = s.frame;
    w.start("a:xfrm");
    if (s.rotation != 0)
        w.attribute("rot", XmlWriter::number(s.rotation));
    if (s.flipH)
        w.attribute("flipH", QStringLiteral("1"));
    if (s.flipV)
        w.attribute("flipV", QStringLiteral("1"));
    w.empty("a:off", {{"x", XmlWriter::number(f.x)}, {"y", XmlWriter::number(f.y)}});
    w.empty("a:ext", {{"cx", XmlWriter::number(f.cx)}, {"cy", XmlWriter::number(f.cy)}});
    w.end();
}

// <a:prstGeom prst="rect">
void writeRectangle(XmlWriter& w) {
    w.start("a:prstGeom", {{"prst", QStringLiteral("rect")}});
    w.empty("a:avLst");
    w.end();
}

// <a:blip>: the picture, in greys when asked
void writeBlip(XmlWriter& w, const Shape& s, const QString& relId) {
    if (!s.grayscale) {
        w.empty("a:blip", {{"r:embed", relId}});
        return;
    }
    w.start("a:blip", {{"r:embed", relId}});
    w.empty("a:grayscl");
    w.end();
}

// <p:pic>
void writePicture(XmlWriter& w, const Shape& s, const QString& relId) {
    w.start("p:pic");
    w.start("p:nvPicPr");
    w.empty("p:cNvPr",
            {{"id", XmlWriter::number(s.id)}, {"name", s.name}, {"descr", s.description}});
    w.start("p:cNvPicPr");
    w.empty("a:picLocks", {{"noChangeAspect", QStringLiteral("1")}});
    w.end();
    w.empty("p:nvPr");
    w.end();
    w.start("p:blipFill");
    writeBlip(w, s, relId);
    if (s.crop.any()) {
        // <a:srcRect>
        w.empty("a:srcRect", {{"l", XmlWriter::number(s.crop.left)},
                              {"t", XmlWriter::number(s.crop.top)},
                              {"r", XmlWriter::number(s.crop.right)},
                              {"b", XmlWriter::number(s.crop.bottom)}});
    }
    w.start("a:stretch");
    w.empty("a:fillRect");
    w.end();
    w.end();
    w.start("p:spPr");
    writeFrame(w, s);
    writeRectangle(w);
    if (s.lineVisible) {
        // <a:ln>: a solid black border
        w.start("a:ln", {{"w", XmlWriter::number(s.lineWidthEmu)}});
        writeSolidFill(w, 0x000000);
        w.end();
    }
    w.end();
    w.end();
}

// <a:rPr> / <a:endParaRPr>
void writeRunProperties(XmlWriter& w, const char* element, const Shape& s) {
    w.start(element, {{"lang", QStringLiteral("en-US")},
                      {"sz", XmlWriter::number(s.fontSizeHundredths)},
                      {"dirty", QStringLiteral("0")}});
    if (s.fontColor)
        writeSolidFill(w, *s.fontColor);
    w.empty("a:latin", {{"typeface", QStringLiteral("+mn-lt")}});
    w.end();
}

// <a:pPr>: only an alignment other than the one the shape has anyway
void writeParagraphProperties(XmlWriter& w, const Shape& s) {
    if (s.alignment == Shape::Alignment::Centre)
        w.empty("a:pPr", {{"algn", QStringLiteral("ctr")}});
    else if (s.alignment == Shape::Alignment::Right)
        w.empty("a:pPr", {{"algn", QStringLiteral("r")}});
    else if (s.alignment == Shape::Alignment::Left && s.kind == Shape::Kind::Placeholder)
        w.empty("a:pPr", {{"algn", QStringLiteral("l")}});
}

// <p:sp txBox="1">: a text box that fits its height to its text
void writeTextBox(XmlWriter& w, const Shape& s) {
    w.start("p:sp");
    w.start("p:nvSpPr");
    w.empty("p:cNvPr", {{"id", XmlWriter::number(s.id)}, {"name", s.name}});
    w.empty("p:cNvSpPr", {{"txBox", QStringLiteral("1")}});
    w.empty("p:nvPr");
    w.end();
    w.start("p:spPr");
    writeFrame(w, s);
    writeRectangle(w);
    if (s.fill)
        writeSolidFill(w, s.fill->rgb, s.fill->alpha);
    else
        w.empty("a:noFill");
    w.end();
    w.start("p:txBody");
    w.start("a:bodyPr", {{"wrap", QStringLiteral("square")}, {"rtlCol", QStringLiteral("0")}});
    if (s.anchorBottom)
        w.attribute("anchor", QStringLiteral("b"));
    w.empty("a:spAutoFit");
    w.end();
    w.empty("a:lstStyle");
    const QStringList paragraphs = s.paragraphs.isEmpty() ? QStringList{QString()} : s.paragraphs;
    for (const QString& text : paragraphs) {
        w.start("a:p");
        writeParagraphProperties(w, s);
        if (!text.isEmpty()) {
            w.start("a:r");
            writeRunProperties(w, "a:rPr", s);
            w.text("a:t", text);
            w.end();
        }
        writeRunProperties(w, "a:endParaRPr", s);
        w.end();
    }
    w.end();
    w.end();
}

// <p:sp> of a placeholder: the layout's, with the slide's text in the layout's style.
void writePlaceholder(XmlWriter& w, const Shape& s) {
    startPlaceholder(w, s);
    w.start("p:spPr");
    writeFrame(w, s);
    w.end();
    w.start("p:txBody");
    w.empty("a:bodyPr");
    w.empty("a:lstStyle");
    const auto runProperties = [&w, &s](const char* element) {
        w.start(element, {{"lang", QStringLiteral("en-US")}});
        if (s.fontSizeSet)
            w.attribute("sz", XmlWriter::number(s.fontSizeHundredths));
        w.attribute("dirty", QStringLiteral("0"));
        if (s.fontColor)
            writeSolidFill(w, *s.fontColor);
        w.end();
    };
    const QStringList paragraphs = s.paragraphs.isEmpty() ? QStringList{QString()} : s.paragraphs;
    for (const QString& text : paragraphs) {
        w.start("a:p");
        writeParagraphProperties(w, s);
        if (!text.isEmpty()) {
            w.start("a:r");
            runProperties("a:rPr");
            w.text("a:t", text);
            w.end();
        }
        runProperties("a:endParaRPr");
        w.end();
    }
    w.end();
    w.end();
}

// <p:transition>: how the show comes to the slide, and when it moves on by itself
void writeTransition(XmlWriter& w, const Transition& t) {
    w.start("p:transition", {{"spd", QStringLiteral("med")}});
    if (t.advanceMs > 0)
        w.attribute("advTm", XmlWriter::number(t.advanceMs));
    switch (t.effect) {
    case TransitionEffect::None:
        // The instant change, named: LibreOffice keeps no timing of a transition without one.
        w.empty("p:cut");
        break;
    case TransitionEffect::Fade:
        w.empty("p:fade");
        break;
    case TransitionEffect::Push:
        w.empty("p:push");
        break;
    case TransitionEffect::Wipe:
        w.empty("p:wipe");
        break;
    }
    w.end();
}

} // namespace

QByteArray slideXml(const Slide& slide, const QHash<int, QString>& mediaRelIds) {
    XmlWriter w;
    w.startDocument();
    // <p:sld>
    w.start("p:sld");
    w.namespaceDecl("a", ns::kDml);
    w.namespaceDecl("r", ns::kRel);
    w.namespaceDecl("p", ns::kPml);
    w.start("p:cSld");
    startShapeTree(w);
    for (const Shape& s : slide.shapes) {
        switch (s.kind) {
        case Shape::Kind::Picture:
            writePicture(w, s, mediaRelIds.value(s.media));
            break;
        case Shape::Kind::TextBox:
            writeTextBox(w, s);
            break;
        case Shape::Kind::Placeholder:
            writePlaceholder(w, s);
            break;
        }
    }
    endSlideBody(w);
    if (slide.transition)
        writeTransition(w, *slide.transition);
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
