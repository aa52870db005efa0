#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace slidemill::pptx {

// Namespaces the parts share.
namespace ns {
inline constexpr char kPml[] = "http://schemas.openxmlformats.org/presentationml/2006/main";
inline constexpr char kDml[] = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr char kRel[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr char kPackageRel[] =
    "http://schemas.openxmlformats.org/package/2006/relationships";
} // namespace ns

using Attributes = std::initializer_list<std::pair<const char*, QString>>;

// A part's XML, written into memory. The one place where text is made safe for XML:
// QXmlStreamWriter escapes markup, and clean() drops the characters XML 1.0 cannot carry
// at all (control characters, lone surrogates), which would otherwise make a part
// unreadable.
class XmlWriter {
public:
    XmlWriter();

    // <?xml version="1.0" encoding="UTF-8" standalone="yes"?>
    void startDocument();
    QByteArray finish();

    void start(const char* name, Attributes attributes = {});
    void end();
    // An element with attributes and no content.
    void empty(const char* name, Attributes attributes = {});
    // An element holding only text.
    void text(const char* name, const QString& value, Attributes attributes = {});
    void namespaceDecl(const char* prefix, const char* uri);
    // One more attribute on the element just started.
    void attribute(const char* name, const QString& value);

    static QString clean(const QString& text);
    static QString number(std::int64_t value) { return QString::number(value); }

private:
    void attributes(Attributes attributes);

    QByteArray bytes_;
    QXmlStreamWriter xml_;
};

} // namespace slidemill::pptx
