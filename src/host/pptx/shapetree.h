#pragma once

namespace slidemill::pptx {

class XmlWriter;

// The opening of every p:spTree: the group shape (id 1) that holds a slide's shapes.
// The caller writes the shapes, then calls endSlideBody.
void startShapeTree(XmlWriter& w);

// Closes p:spTree and p:cSld and keeps the master's colour mapping, as slides and layouts end.
void endSlideBody(XmlWriter& w);

} // namespace slidemill::pptx
