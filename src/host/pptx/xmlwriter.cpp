#include "host/pptx/xmlwriter.h"

namespace slidemill::pptx {

XmlWriter::XmlWriter() : xml_(&bytes_) {}

void XmlWriter::startDocument() {
    xml_.writeStartDocument(QStringLiteral("1.0"), true);
}

QByteArray XmlWriter::finish() {
    xml_.writeEndDocument();
    return bytes_;
}

void XmlWriter::start(const char* name, Attributes attrs) {
    xml_.writeStartElement(QLatin1String(name));
    attributes(attrs);
}

void XmlWriter::end() {
    xml_.writeEndElement();
}

void XmlWriter::empty(const char* name, Attributes attrs) {
    xml_.writeEmptyElement(QLatin1String(name));
    attributes(attrs);
}

void XmlWriter::text(const char* name, const QString& value, Attributes attrs) {
    xml_.writeStartElement(QLatin1String(name));
    attributes(attrs);
    xml_.writeCharacters(clean(value));
    xml_.writeEndElement();
}

void XmlWriter::namespaceDecl(const char* prefix, const char* uri) {
    // Written as plain attributes so every part declares exactly the prefixes it names,
    // in a fixed order.
    const QString name =
        *prefix ? QStringLiteral("xmlns:") + QLatin1String(prefix) : QStringLiteral("xmlns");
    xml_.writeAttribute(name, QLatin1String(uri));
}

void XmlWriter::attribute(const char* name, const QString& value) {
    xml_.writeAttribute(QLatin1String(name), clean(value));
}

void XmlWriter::attributes(Attributes attrs) {
    for (const auto& [name, value] : attrs)
        xml_.writeAttribute(QLatin1String(name), clean(value));
}

QString XmlWriter::clean(const QString& text) {
    auto allowed = [](char32_t c) {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
               (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    };
    bool clean = true;
    for (qsizetype i = 0; i < text.size() && clean; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate() || !allowed(c.unicode()))
            clean = false;
    }
    if (clean)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (!c.isSurrogate() && allowed(c.unicode())) {
            out += c;
        }
    }
    return out;
}

} // namespace slidemill::pptx
