#include "slides/albumrecipe.h"

#include "core/nativepath.h"

#include <cstring>

namespace slidemill {

namespace {

// The rows the settings file keeps, but the folder, and the Description switch, which only
// the window's build buttons set. The layout's own switches say no more than "layout".
bool kept(const AlbumOption& row) {
    if (std::strcmp(row.name, "description") == 0)
        return true;
    return row.settingsKey && std::strcmp(row.name, "folder") != 0;
}

} // namespace

std::vector<std::pair<QString, QString>> recipeOptions(const Album& album) {
    // Only what differs from the defaults: a Description build's caption row says "none",
    // which read after the switch would undo it.
    const Album defaults;
    std::vector<std::pair<QString, QString>> out;
    for (const AlbumOption& row : albumOptions())
        if (kept(row) && !(row.get(album) == row.get(defaults)))
            out.emplace_back(QLatin1String(row.name), row.setting(album));
    return out;
}

bool withinRecipeBounds(const AlbumRecipe& recipe) {
    if (qsizetype(recipe.photos.size()) > kMaxRecipePhotos)
        return false;
    for (const RecipePhoto& photo : recipe.photos)
        if (!photo.path.startsWith(QLatin1Char('/')) ||
            nativePath(photo.path).size() > kMaxRecipePathBytes ||
            photo.caption.size() > kMaxRecipeText || photo.text.size() > kMaxRecipeText)
            return false;
    for (const auto& [name, value] : recipeOptions(recipe.album))
        if (value.size() > kMaxRecipeText)
            return false;
    return true;
}

QString setRecipeOption(Album& album, const QString& name, const QString& value) {
    for (const AlbumOption& row : albumOptions())
        if (kept(row) && name == QLatin1String(row.name))
            return row.set(album, value);
    return {};
}

} // namespace slidemill
