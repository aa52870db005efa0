#pragma once

#include "slides/albumoptions.h"

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace slidemill {

// One photo of an album as its deck remembers it.
struct RecipePhoto {
    // The file it was made from, absolute, as the build named it. Opened as an album
    // (openAlbumDeck), a photo shown from the deck's stored picture names a copy of it instead.
    QString path;
    // The path the recipe named, read back from a deck; empty for a deck without a recipe.
    QString recordedPath;
    // Its own caption and quarter turns (PhotoSettings); empty, 0: the album's rule, as stored.
    QString caption;
    int quarterTurns = 0;
    // What the box under it said when the deck was written; empty: it had none.
    QString text;
    // The file's size and the SHA-256 of its bytes when it was stored: a file at `path` is
    // that photo only while it still has both.
    qint64 size = -1;
    QByteArray sha256;

    // Read back from a deck only.
    enum class Source {
        // The file at `path` is still the one the deck was made from.
        File,
        // "use the deck's own stored picture": the file is gone, changed or not a regular file.
        Deck,
    };
    Source source = Source::File;
    // The deck's part holding the picture shown for it ("ppt/media/image3.jpeg").
    QString mediaPart;
    // What its box says in the deck now, which may have been edited since; empty: no box.
    QString deckText;

    bool operator==(const RecipePhoto&) const = default;
};

// What a deck keeps of the album it was made from, to make it again: the photos in order and
// the options it was built with (each photo's own caption also in album.build.photos).
struct AlbumRecipe {
    Album album;
    std::vector<RecipePhoto> photos;
};

// What a recipe may hold, so that a deck that arrives from elsewhere costs little to look at.
// A build that exceeds them writes no recipe.
inline constexpr qsizetype kMaxRecipePhotos = 32767;
inline constexpr qsizetype kMaxRecipeText = 65536;     // characters of a caption, text, value
inline constexpr qsizetype kMaxRecipePathBytes = 4096; // of a path, as the file system has it

// Whether the recipe is within those bounds, every path from the root.
bool withinRecipeBounds(const AlbumRecipe& recipe);

// The album's options as a recipe keeps them: by option name, in the table's order, as a
// settings file writes their values, those at their defaults left out. Neither the order the
// photos were sorted in (they are kept sorted) nor the window's folder belongs to a deck.
std::vector<std::pair<QString, QString>> recipeOptions(const Album& album);
// Sets one from a recipe; why it is refused (naming it), or empty. A name the table does not
// know or does not keep in recipes is passed over: a later version may keep more.
QString setRecipeOption(Album& album, const QString& name, const QString& value);

} // namespace slidemill
