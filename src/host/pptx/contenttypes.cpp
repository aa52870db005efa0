#include "host/pptx/contenttypes.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

ContentTypes::ContentTypes() {
    addDefault(QStringLiteral("rels"),
               QStringLiteral("application/vnd.openxmlformats-package.relationships+xml"));
    addDefault(QStringLiteral("xml"), QStringLiteral("application/xml"));
}

void ContentTypes::addDefault(const QString& extension, const QString& contentType) {
    for (const auto& [ext, type] : defaults_) {
        if (ext.compare(extension, Qt::CaseInsensitive) == 0)
            return;
    }
    defaults_.emplace_back(extension, contentType);
}

void ContentTypes::addOverride(const QString& partName, const QString& contentType) {
    overrides_.emplace_back(partName, contentType);
}

QByteArray ContentTypes::xml() const {
    XmlWriter w;
    w.startDocument();
    // <Types>
    w.start("Types");
    w.namespaceDecl("", "http://schemas.openxmlformats.org/package/2006/content-types");
    for (const auto& [ext, type] : defaults_) {
        // <Default>
        w.empty("Default", {{"Extension", ext}, {"ContentType", type}});
    }
    for (const auto& [part, type] : overrides_) {
        // <Override>
        w.empty("Override", {{"PartName", part}, {"ContentType", type}});
    }
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
