#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace slidemill::pptx {

namespace ctype {
inline constexpr char kPresentation[] =
    "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
// The same part in a file that opens as a running show.
inline constexpr char kSlideShow[] =
    "application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml";
inline constexpr char kSlideMaster[] =
    "application/vnd.openxmlformats-officedocument.presentationml.slideMaster+xml";
inline constexpr char kSlideLayout[] =
    "application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml";
inline constexpr char kSlide[] =
    "application/vnd.openxmlformats-officedocument.presentationml.slide+xml";
inline constexpr char kTheme[] = "application/vnd.openxmlformats-officedocument.theme+xml";
inline constexpr char kPresProps[] =
    "application/vnd.openxmlformats-officedocument.presentationml.presProps+xml";
inline constexpr char kViewProps[] =
    "application/vnd.openxmlformats-officedocument.presentationml.viewProps+xml";
inline constexpr char kTableStyles[] =
    "application/vnd.openxmlformats-officedocument.presentationml.tableStyles+xml";
inline constexpr char kCoreProperties[] =
    "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr char kExtendedProperties[] =
    "application/vnd.openxmlformats-officedocument.extended-properties+xml";
// A custom XML part itself is "application/xml", the Default for its extension.
inline constexpr char kCustomXmlProperties[] =
    "application/vnd.openxmlformats-officedocument.customXmlProperties+xml";
} // namespace ctype

// [Content_Types].xml. Built with the Defaults for relationships and XML; callers add the
// picture extensions a deck uses and an Override for every other part.
class ContentTypes {
public:
    ContentTypes();

    // Adding an extension twice keeps the first.
    void addDefault(const QString& extension, const QString& contentType);
    void addOverride(const QString& partName, const QString& contentType);
    QByteArray xml() const;

private:
    std::vector<std::pair<QString, QString>> defaults_;
    std::vector<std::pair<QString, QString>> overrides_;
};

} // namespace slidemill::pptx
