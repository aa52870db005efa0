#include "slides/picturemetrics.h"

#include "core/runtimeerror.h"

#include <QFileInfo>
#include <QImageReader>
#include <cmath>

namespace slidemill {

// Provisional: rasters only, through QImageReader.
Picture readPicture(const QString& path) {
    if (!QFileInfo::exists(path))
        throw RuntimeError::withFile(errFileNotFound, path);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    const QByteArray fmt = reader.format();
    if (!size.isValid() || size.isEmpty())
        throw RuntimeError::withFile(errInvalidPicture, path);
    Picture p;
    p.path = path;
    if (fmt == "png")
        p.format = PictureFormat::Png;
    else if (fmt == "jpeg" || fmt == "jpg")
        p.format = PictureFormat::Jpeg;
    else if (fmt == "gif")
        p.format = PictureFormat::Gif;
    else if (fmt == "bmp")
        p.format = PictureFormat::Bmp;
    else if (fmt == "tiff" || fmt == "tif")
        p.format = PictureFormat::Tiff;
    else
        throw RuntimeError::withFile(errInvalidPicture, path);
    p.widthHimetric = static_cast<std::int32_t>(std::round(size.width() * 2540.0 / 96.0));
    p.heightHimetric = static_cast<std::int32_t>(std::round(size.height() * 2540.0 / 96.0));
    return p;
}

QString contentType(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("image/png");
    case PictureFormat::Jpeg:
        return QStringLiteral("image/jpeg");
    case PictureFormat::Gif:
        return QStringLiteral("image/gif");
    case PictureFormat::Bmp:
        return QStringLiteral("image/bmp");
    case PictureFormat::Tiff:
        return QStringLiteral("image/tiff");
    case PictureFormat::Wmf:
        return QStringLiteral("image/x-wmf");
    case PictureFormat::Emf:
        return QStringLiteral("image/x-emf");
    }
    return {};
}

QString extension(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("png");
    case PictureFormat::Jpeg:
        return QStringLiteral("jpeg");
    case PictureFormat::Gif:
        return QStringLiteral("gif");
    case PictureFormat::Bmp:
        return QStringLiteral("bmp");
    case PictureFormat::Tiff:
        return QStringLiteral("tiff");
    case PictureFormat::Wmf:
        return QStringLiteral("wmf");
    case PictureFormat::Emf:
        return QStringLiteral("emf");
    }
    return {};
}

} // namespace slidemill
