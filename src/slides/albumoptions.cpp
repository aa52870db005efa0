#include "slides/albumoptions.h"

namespace slidemill {

bool Album::operator==(const Album& other) const {
    return albumSetting(*this, u"layout") == albumSetting(other, u"layout") && sort == other.sort;
}

std::span<const AlbumOption> albumOptions() {
    return {};
}

const AlbumOption* findAlbumOption(QStringView) {
    return nullptr;
}

QString setAlbumOption(Album&, QStringView, const QString&) {
    return {};
}

QString albumSetting(const Album&, QStringView) {
    return {};
}

QString albumConflict(const QStringList&) {
    return {};
}

QString albumSummary(const Album&) {
    return {};
}

QStringList sortedPhotos(const QStringList& paths, SortOrder, PictureLoader&) {
    return paths;
}

} // namespace slidemill
