#pragma once

#include "slides/albumrecipe.h"

#include <QString>
#include <optional>

namespace slidemill {

// The album a deck Slidemill made remembers (a .pptx or a .ppsx): its photos in order, each
// with its own caption, and its options; nullopt when the deck keeps no recipe ("no recipe":
// made elsewhere, or saved by an application that dropped it).
//
// A deck arrives from anywhere, so nothing in it is trusted. It is read in place, never
// unpacked; its parts are read as far as bounds allow (the recipe 16 MiB, any other XML part
// 16 MiB, 256 MiB of XML in all, 32,768 slides) and parsed without DTDs or entities; the recipe
// is held to the bounds of albumrecipe.h. A recorded photo is taken from its path only when a
// regular file is there with the recorded size and SHA-256, opened without waiting on what is
// there and read no further than that size; otherwise it is marked Source::Deck, to be shown
// from the deck's own stored picture.
//
// The recipe must agree with the slides: as many pictures on them, in the deck's order, as it
// names photos, grouped on the slides as its layout places them. A deck whose pictures were
// added, removed or moved since is refused rather than having its captions and options put on
// the wrong photos; texts edited since are no disagreement (deckText tells them).
//
// Throws RuntimeError 75 naming the deck, "Opening the album: <cause>", when the deck cannot be
// read, is not a presentation package, or holds a recipe that is refused.
std::optional<AlbumRecipe> readAlbumRecipe(const QString& deckPath);

// What opening a deck as an album gives.
struct OpenedAlbum {
    AlbumRecipe recipe;
    bool hadRecipe = false;
};
OpenedAlbum openAlbumDeck(const QString& deckPath, const QString& pictureFolder);

} // namespace slidemill
