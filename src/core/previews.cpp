#include "core/previews.h"

#include "core/nativepath.h"

namespace slidemill {

QStringList previewLines(const QString& path, const Preview* preview, const QString& place) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    // "//name" at the root is in "/".
    const QString folder = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    const QString name = path.mid(slash + 1);
    QStringList lines{printablePath(name), QStringLiteral("Folder: ") + printablePath(folder)};
    if (preview && !preview->problem.isEmpty())
        lines << QStringLiteral("Cannot be shown: ") + preview->problem;
    else if (preview)
        lines << QStringLiteral("%1 x %2 pixels, %3")
                     .arg(preview->pixels.width())
                     .arg(preview->pixels.height())
                     .arg(preview->format);
    if (!place.isEmpty())
        lines << place;
    return lines;
}

QString previewToolTip(const QStringList& lines, const Preview* preview) {
    QString html = QStringLiteral("<html><body style=\"white-space:nowrap\">");
    if (preview && !preview->thumbnail.isEmpty()) {
        const bool png = preview->thumbnail.startsWith("\x89PNG");
        html += QStringLiteral("<p><img src=\"data:image/%1;base64,%2\" width=\"%3\" "
                               "height=\"%4\"></p>")
                    .arg(png ? QLatin1String("png") : QLatin1String("jpeg"),
                         QString::fromLatin1(preview->thumbnail.toBase64()))
                    .arg(preview->thumbnailSize.width())
                    .arg(preview->thumbnailSize.height());
    }
    html += QStringLiteral("<p><b>") + lines.value(0).toHtmlEscaped() + QStringLiteral("</b>");
    for (qsizetype i = 1; i < lines.size(); ++i)
        html += QStringLiteral("<br>") + lines[i].toHtmlEscaped();
    return html + QStringLiteral("</p></body></html>");
}

} // namespace slidemill
