#pragma once

#include <cstdint>
#include <optional>

namespace slidemill::pptx {

class XmlWriter;
struct Shape;

// The opening of every p:spTree: the group shape (id 1) that holds a slide's shapes.
// The caller writes the shapes, then calls endSlideBody.
void startShapeTree(XmlWriter& w);

// Opens the p:sp of a title or subtitle placeholder and writes its p:nvSpPr, the same on a
// layout and on the slide that fills it in; the caller goes on with p:spPr.
void startPlaceholder(XmlWriter& w, const Shape& s);

// A solid fill of 0xRRGGBB, with `alpha` (1000ths of a percent opaque) when given.
void writeSolidFill(XmlWriter& w, std::uint32_t rgb, std::optional<int> alpha = {});

// Closes p:spTree and p:cSld and keeps the master's colour mapping, as slides and layouts end.
void endSlideBody(XmlWriter& w);

} // namespace slidemill::pptx
