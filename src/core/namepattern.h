#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace slidemill {

// The names of the picture files Slidemill lists and takes, as a pattern for NamePattern.
inline const QString kPicturePattern =
    QStringLiteral("*.gif;*.jpg;*.png;*.tif;*.bmp;*.wmf;*.emf;*.jpeg;*.jpe;*.tiff;*.heic;*."
                   "heif;*.avif;*.webp");

// "*.gif;*.jpg" as a matcher: case-insensitive wildcards (* and ?), any of them.
class NamePattern {
public:
    explicit NamePattern(const QString& patterns);
    bool matches(QStringView name) const;

private:
    QStringList globs_;
};

} // namespace slidemill
