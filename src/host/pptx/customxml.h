#pragma once

#include <QByteArray>
#include <QString>

namespace slidemill::pptx {

// customXml/itemPropsN.xml: the datastore item of a custom XML part, by its id and the
// namespace its XML is in.
QByteArray itemPropsXml(const QString& itemId, const QString& schema);

// The id of a custom XML part: a name-based UUID of its bytes, "{8-4-4-4-12}" in capitals as
// the format wants it, so the same deck gets the same bytes every time.
QString itemIdOf(const QByteArray& itemXml);

} // namespace slidemill::pptx
