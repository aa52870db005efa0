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

// The edge of a sound's shape, which sits left of the slide where the show never shows it.
constexpr std::int64_t kSoundIconEmu = 304800;
// 80 % loudness, as presentation applications start a sound.
constexpr int kSoundVolume = 80000;
// Where presentation applications list a sound's embedded copy in its shape.
constexpr char kMediaExtension[] = "{DAA4B4D4-6D71-4841-9C94-3DE7FCFB9230}";
constexpr char kP14[] = "http://schemas.microsoft.com/office/powerpoint/2010/main";

// <p:pic> of sound `k`: the linked file the standard names, its embedded copy for the
// applications that play that, and the icon they show it by.
void writeSoundShape(XmlWriter& w, const SlideSound& sound, int id, int k,
                     const QString& iconRelId) {
    w.start("p:pic");
    w.start("p:nvPicPr");
    w.start("p:cNvPr", {{"id", XmlWriter::number(id)}, {"name", sound.name}});
    w.empty("a:hlinkClick", {{"r:id", QString()}, {"action", QStringLiteral("ppaction://media")}});
    w.end();
    w.start("p:cNvPicPr");
    w.empty("a:picLocks", {{"noChangeAspect", QStringLiteral("1")}});
    w.end();
    w.start("p:nvPr");
    w.empty("a:audioFile", {{"r:link", sound.audioRelId}});
    w.start("p:extLst");
    w.start("p:ext", {{"uri", QLatin1String(kMediaExtension)}});
    w.start("p14:media");
    w.namespaceDecl("p14", kP14);
    w.attribute("r:embed", sound.mediaRelId);
    w.end();
    w.end();
    w.end();
    w.end();
    w.end();
    w.start("p:blipFill");
    w.empty("a:blip", {{"r:embed", iconRelId}});
    w.start("a:stretch");
    w.empty("a:fillRect");
    w.end();
    w.end();
    w.start("p:spPr");
    Shape frame;
    frame.frame = {-2 * kSoundIconEmu, std::int64_t(k) * 2 * kSoundIconEmu, kSoundIconEmu,
                   kSoundIconEmu};
    writeFrame(w, frame);
    writeRectangle(w);
    w.end();
    w.end();
}

// <p:cond>
void writeCondition(XmlWriter& w, const char* event, const char* delay, bool slideTarget) {
    w.start("p:cond");
    if (event)
        w.attribute("evt", QLatin1String(event));
    w.attribute("delay", QLatin1String(delay));
    if (slideTarget) {
        w.start("p:tgtEl");
        w.empty("p:sldTgt");
        w.end();
    }
    w.end();
}

void writeShapeTarget(XmlWriter& w, int shapeId) {
    w.start("p:tgtEl");
    w.empty("p:spTgt", {{"spid", XmlWriter::number(shapeId)}});
    w.end();
}

// <p:timing>: the main sequence starts with the slide and plays each sound after the one
// before it ends; each sound's node plays it across the show's slides, hidden, and stops it
// with the show.
void writeMusicTiming(XmlWriter& w, const SlideMusic& music, int firstShapeId) {
    int node = 0;
    const auto timeNode = [&](std::initializer_list<std::pair<const char*, QString>> attributes) {
        w.start("p:cTn", {{"id", XmlWriter::number(++node)}});
        for (const auto& [name, value] : attributes)
            w.attribute(name, value);
    };
    const QString hold = QStringLiteral("hold");
    w.start("p:timing");
    w.start("p:tnLst");
    w.start("p:par");
    timeNode({{"dur", QStringLiteral("indefinite")},
              {"restart", QStringLiteral("never")},
              {"nodeType", QStringLiteral("tmRoot")}});
    w.start("p:childTnLst");
    w.start("p:seq", {{"concurrent", QStringLiteral("1")}, {"nextAc", QStringLiteral("seek")}});
    timeNode({{"dur", QStringLiteral("indefinite")}, {"nodeType", QStringLiteral("mainSeq")}});
    const int mainSequence = node;
    w.start("p:childTnLst");
    // The one group of effects, begun by the slide itself rather than a click.
    w.start("p:par");
    timeNode({{"fill", hold}});
    w.start("p:stCondLst");
    writeCondition(w, nullptr, "indefinite", false);
    w.start("p:cond", {{"evt", QStringLiteral("onBegin")}, {"delay", QStringLiteral("0")}});
    w.empty("p:tn", {{"val", XmlWriter::number(mainSequence)}});
    w.end();
    w.end();
    w.start("p:childTnLst");
    std::int64_t start = 0;
    for (std::size_t k = 0; k < music.sounds.size(); ++k) {
        const SlideSound& sound = music.sounds[k];
        w.start("p:par");
        timeNode({{"fill", hold}});
        w.start("p:stCondLst");
        writeCondition(w, nullptr, QByteArray::number(start).constData(), false);
        w.end();
        w.start("p:childTnLst");
        w.start("p:par");
        timeNode({{"presetID", QStringLiteral("1")},
                  {"presetClass", QStringLiteral("mediacall")},
                  {"presetSubtype", QStringLiteral("0")},
                  {"fill", hold},
                  {"nodeType", QStringLiteral("afterEffect")}});
        w.start("p:stCondLst");
        writeCondition(w, nullptr, "0", false);
        w.end();
        w.start("p:childTnLst");
        w.start("p:cmd",
                {{"type", QStringLiteral("call")}, {"cmd", QStringLiteral("playFrom(0.0)")}});
        w.start("p:cBhvr");
        timeNode({{"dur", XmlWriter::number(sound.durationMs)}, {"fill", hold}});
        w.end();
        writeShapeTarget(w, firstShapeId + int(k));
        w.end(); // p:cBhvr
        w.end(); // p:cmd
        w.end(); // p:childTnLst
        w.end(); // p:cTn
        w.end(); // p:par
        w.end(); // p:childTnLst
        w.end(); // p:cTn
        w.end(); // p:par
        start += sound.durationMs;
    }
    w.end(); // p:childTnLst
    w.end(); // p:cTn
    w.end(); // p:par
    w.end(); // p:childTnLst
    w.end(); // p:cTn mainSeq
    w.start("p:prevCondLst");
    writeCondition(w, "onPrev", "0", true);
    w.end();
    w.start("p:nextCondLst");
    writeCondition(w, "onNext", "0", true);
    w.end();
    w.end(); // p:seq
    // A lone file repeats until the show ends; several play once each time the show starts.
    const bool repeat = music.loop && music.sounds.size() == 1;
    for (std::size_t k = 0; k < music.sounds.size(); ++k) {
        w.start("p:audio");
        w.start("p:cMediaNode", {{"vol", XmlWriter::number(kSoundVolume)},
                                 {"numSld", XmlWriter::number(music.slides)},
                                 {"showWhenStopped", QStringLiteral("0")}});
        if (repeat)
            timeNode({{"repeatCount", QStringLiteral("indefinite")},
                      {"fill", hold},
                      {"display", QStringLiteral("0")}});
        else
            timeNode({{"fill", hold}, {"display", QStringLiteral("0")}});
        w.start("p:stCondLst");
        writeCondition(w, nullptr, "indefinite", false);
        w.end();
        w.start("p:endCondLst");
        writeCondition(w, "onStopAudio", "0", true);
        w.end();
        w.end(); // p:cTn
        writeShapeTarget(w, firstShapeId + int(k));
        w.end(); // p:cMediaNode
        w.end(); // p:audio
    }
    w.end(); // p:childTnLst
    w.end(); // p:cTn tmRoot
    w.end(); // p:par
    w.end(); // p:tnLst
    w.end(); // p:timing
}

} // namespace

QByteArray slideXml(const Slide& slide, const QHash<int, QString>& mediaRelIds,
                    const SlideMusic* music) {
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
    if (music)
        for (std::size_t k = 0; k < music->sounds.size(); ++k)
            writeSoundShape(w, music->sounds[k], slide.nextShapeId + int(k), int(k),
                            music->iconRelId);
    endSlideBody(w);
    if (slide.transition)
        writeTransition(w, *slide.transition);
    if (music && !music->sounds.empty())
        writeMusicTiming(w, *music, slide.nextShapeId);
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
