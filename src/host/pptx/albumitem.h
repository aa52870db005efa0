#pragma once

#include "slides/albumrecipe.h"

#include <QByteArray>

namespace slidemill::pptx {

// The namespace of the recipe's XML, and of its datastore item's schema reference.
inline constexpr char kAlbumNamespace[] = "urn:slidemill:album:1";
// The most a recipe's XML may take, deflated or not: about 500 bytes for each of the most
// photos a recipe names. A build whose recipe would be larger writes none.
inline constexpr qint64 kMaxAlbumItemBytes = qint64(16) << 20;

// customXml/item1.xml of a deck that keeps its album:
//
//   <album xmlns="urn:slidemill:album:1">
//     <options><option name="layout" value="two"/>...</options>
//     <photos>
//       <photo path="/home/me/IMG_1.jpg" size="2411724" sha256="(64 hex digits)"
//              caption="Mia" text="Mia"/>
//       ...
//     </photos>
//   </album>
//
// A path XML cannot carry as text (bytes that are not UTF-8, control characters) is written
// as `native`, the base64 of its bytes, instead of `path`. caption and text are left out when
// empty. Texts go in attributes, where line breaks, tabs and CRs come back as they were.
QByteArray albumItemXml(const AlbumRecipe& recipe);

// Whether the XML of a custom part is a recipe, by its first element's namespace; reads no
// further than that element (what entities a DTD before it may make, Qt bounds).
bool isAlbumItem(const QByteArray& xml);

// The recipe in such XML, checked against the bounds of albumrecipe.h and refused, as a
// RuntimeError 75 naming no file, for anything else: a DTD or an entity, an element or an
// attribute value it does not take, a value the option table refuses.
AlbumRecipe parseAlbumItem(const QByteArray& xml);

} // namespace slidemill::pptx
