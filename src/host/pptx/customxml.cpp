#include "host/pptx/customxml.h"

#include "host/pptx/xmlwriter.h"

#include <QUuid>

namespace slidemill::pptx {

namespace {
constexpr char kDatastore[] = "http://schemas.openxmlformats.org/officeDocument/2006/customXml";
} // namespace

QByteArray itemPropsXml(const QString& itemId, const QString& schema) {
    XmlWriter w;
    w.startDocument();
    // <ds:datastoreItem>
    w.start("ds:datastoreItem");
    w.attribute("ds:itemID", itemId);
    w.namespaceDecl("ds", kDatastore);
    // <ds:schemaRefs>
    w.start("ds:schemaRefs");
    w.empty("ds:schemaRef", {{"ds:uri", schema}});
    w.end();
    w.end();
    return w.finish();
}

QString itemIdOf(const QByteArray& itemXml) {
    // Names under a namespace of our own, itself named from the URL namespace.
    static const QUuid ours =
        QUuid::createUuidV5(QUuid(QStringLiteral("{6ba7b811-9dad-11d1-80b4-00c04fd430c8}")),
                            QByteArrayLiteral("https://slidemill.example.org/customXml"));
    return QUuid::createUuidV5(ours, itemXml).toString(QUuid::WithBraces).toUpper();
}

} // namespace slidemill::pptx
