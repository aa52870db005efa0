#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace slidemill::pptx {

namespace reltype {
inline constexpr char kOfficeDocument[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr char kCoreProperties[] =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
inline constexpr char kExtendedProperties[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr char kSlideMaster[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideMaster";
inline constexpr char kSlideLayout[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout";
inline constexpr char kSlide[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
inline constexpr char kTheme[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
inline constexpr char kPresProps[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/presProps";
inline constexpr char kViewProps[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/viewProps";
inline constexpr char kTableStyles[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/tableStyles";
inline constexpr char kImage[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr char kAudio[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/audio";
// The embedded copy of a sound, as presentation applications since 2010 play it.
inline constexpr char kMedia[] = "http://schemas.microsoft.com/office/2007/relationships/media";
inline constexpr char kCustomXml[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml";
inline constexpr char kCustomXmlProps[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXmlProps";
} // namespace reltype

// A part's relationships (_rels/*.rels). It numbers them itself, rId1 upwards in the order
// they are added, so the numbering is the same for the same deck.
class Relationships {
public:
    // Returns the new relationship's id.
    QString add(const char* type, const QString& target);
    bool empty() const { return entries_.empty(); }
    QByteArray xml() const;

private:
    struct Entry {
        QString id;
        const char* type;
        QString target;
    };
    std::vector<Entry> entries_;
};

} // namespace slidemill::pptx
