#pragma once

namespace slidemill::pptx {

class XmlWriter;

// The opening of every p:spTree: the group shape (id 1) that holds a slide's shapes.
// The caller writes the shapes and closes p:spTree.
void startShapeTree(XmlWriter& w);

} // namespace slidemill::pptx
