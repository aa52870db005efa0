// Thread contract: a Settings is used on the thread of its QSettings, the window's: QSettings
// is reentrant, not thread-safe. It keeps nothing of its own between calls, so two windows may
// each have one over the same QSettings.
#include "app/settings.h"

#include "core/nativepath.h"
#include "slides/resolutions.h"

#include <QLoggingCategory>
#include <QSettings>
#include <algorithm>

namespace slidemill {

namespace {

// Where the resolution chosen is remembered, and the album options under their keys.
const QString kResolutionKey = QStringLiteral("pictures/pixelsPerInch");
const QString kAlbumGroup = QStringLiteral("album");

Q_LOGGING_CATEGORY(lcSettings, "slidemill.settings")

} // namespace

int Settings::pixelsPerInch() const {
    if (!settings_)
        return kDefaultPixelsPerInch;
    bool ok = false;
    const int remembered = settings_->value(kResolutionKey).toInt(&ok);
    return ok && std::ranges::count(resolutionPresets(), remembered,
                                    &ResolutionPreset::pixelsPerInch)
               ? remembered
               : kDefaultPixelsPerInch;
}

void Settings::setPixelsPerInch(int pixelsPerInch) {
    if (settings_)
        settings_->setValue(kResolutionKey, pixelsPerInch);
}

namespace {

// Each album option the settings file keeps, with its key, inside its [album] group.
template <typename Each> void eachKept(QSettings& settings, Each each) {
    settings.beginGroup(kAlbumGroup);
    for (const AlbumOption& option : albumOptions()) {
        if (option.settingsKey && !option.perAlbum)
            each(option, QLatin1String(option.settingsKey));
    }
    settings.endGroup();
}

} // namespace

Album Settings::album() const {
    Album album;
    if (!settings_)
        return album;
    QSettings& settings = *settings_;
    eachKept(settings, [&](const AlbumOption& option, const QString& key) {
        if (!settings.contains(key))
            return;
        // An unquoted value with commas comes back as a list.
        const QVariant value = settings.value(key);
        const QString text = value.typeId() == QMetaType::QStringList
                                 ? value.toStringList().join(QLatin1String(", "))
                                 : value.toString();
        const QString refused = option.set(album, text);
        if (!refused.isEmpty())
            qCWarning(lcSettings, "%s: [album] %s=%s is ignored: %s",
                      qUtf8Printable(printablePath(settings.fileName())), qUtf8Printable(key),
                      qUtf8Printable(printablePath(text)), qUtf8Printable(refused));
    });
    return album;
}

void Settings::setAlbum(const Album& album) {
    if (!settings_)
        return;
    QSettings& settings = *settings_;
    eachKept(settings, [&](const AlbumOption& option, const QString& key) {
        const QString value = option.setting(album);
        if (value.isNull())
            settings.remove(key);
        else
            settings.setValue(key, value);
    });
}

} // namespace slidemill
