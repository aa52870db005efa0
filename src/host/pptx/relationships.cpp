#include "host/pptx/relationships.h"

#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

QString Relationships::add(const char* type, const QString& target) {
    QString id = QStringLiteral("rId%1").arg(entries_.size() + 1);
    entries_.push_back({id, type, target});
    return id;
}

QByteArray Relationships::xml() const {
    XmlWriter w;
    w.startDocument();
    // <Relationships>
    w.start("Relationships");
    w.namespaceDecl("", ns::kPackageRel);
    for (const Entry& e : entries_) {
        // <Relationship>
        w.empty("Relationship",
                {{"Id", e.id}, {"Type", QLatin1String(e.type)}, {"Target", e.target}});
    }
    w.end();
    return w.finish();
}

} // namespace slidemill::pptx
