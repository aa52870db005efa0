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

// What opening a deck as an album gives: the recipe's photos and options, or for a deck without
// one (made elsewhere, or saved by an application that dropped it) its pictures in slide order
// with the text of the box under each as its caption.
struct OpenedAlbum {
    // For a deck without one: the default options but for what the slides tell (photos a
    // slide, their width, the title slide's texts), and a photo for each stored picture shown.
    AlbumRecipe recipe;
    bool hadRecipe = false;
};

// The deck read as readAlbumRecipe does, and under the same bounds when it keeps no recipe.
// Every photo to be shown from the deck's stored picture (all of them, without a recipe) then
// names a copy of that picture in `pictureFolder` (made if missing), so that it can be shown
// and built like any photo; recordedPath keeps the path the recipe named. Where the deck turns
// such a picture by whole quarters, that is its quarter turns: the copy is the picture as
// stored, which its shape turned upright.
//
// A copy is named by what it holds, the first 32 hex digits of its bytes' SHA-256 and the
// extension of its format as the loader tells it by its first bytes, never by anything the
// deck names: opening the same deck again writes nothing. It is written under a temporary name
// and renamed into place, replacing (never following) a link or another file of that name; a
// picture is inflated to at most 256 MiB, all of them together to 4 GiB. A stored picture of
// no format the loader knows refuses the deck, naming the part; when the deck is refused,
// copies this call made are removed again.
//
// Throws RuntimeError 75 naming the deck, "Opening the album: <cause>", as readAlbumRecipe.
OpenedAlbum openAlbumDeck(const QString& deckPath, const QString& pictureFolder);

// Whether the path is a file directly in `pictureFolder`: a copy openAlbumDeck made, which the
// album's photo list may show as the deck's own. Both are compared as given, made clean.
bool isDeckPicture(const QString& path, const QString& pictureFolder);

} // namespace slidemill
