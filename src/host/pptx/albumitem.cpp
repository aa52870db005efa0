#include "host/pptx/albumitem.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/pptx/xmlwriter.h"

#include <QXmlStreamReader>
#include <algorithm>

namespace slidemill::pptx {

namespace {

[[noreturn]] void refuse(const QString& cause) {
    throw RuntimeError(errPathFileAccess, QStringLiteral("Opening the album: %1").arg(cause));
}

// A path as XML carries it, or empty when it cannot.
QString textPath(const QString& path) {
    return XmlWriter::clean(path) == path ? path : QString();
}

// A recipe's XML, read with nothing from outside it: no DTD, no entity, only the elements and
// attributes of the format.
class Reader {
public:
    explicit Reader(const QByteArray& xml) : xml_(xml) {}

    // The next start element, or false at the end of the current one.
    bool nextElement() {
        for (;;) {
            switch (xml_.readNext()) {
            case QXmlStreamReader::StartElement:
                if (xml_.namespaceUri() != QLatin1String(kAlbumNamespace))
                    refuse(QStringLiteral("its recipe holds an element <%1> of another kind")
                               .arg(xml_.qualifiedName()));
                return true;
            case QXmlStreamReader::EndElement:
            case QXmlStreamReader::EndDocument:
                return false;
            case QXmlStreamReader::DTD:
                refuse(QStringLiteral("its recipe has a DTD, which it may not"));
            case QXmlStreamReader::EntityReference:
                refuse(QStringLiteral("its recipe refers to an entity, which it may not"));
            case QXmlStreamReader::Characters:
                if (!xml_.isWhitespace())
                    refuse(QStringLiteral("its recipe holds text outside its attributes"));
                break;
            case QXmlStreamReader::Invalid:
                refuse(QStringLiteral("its recipe is not well-formed XML: %1 (line %2)")
                           .arg(xml_.errorString())
                           .arg(xml_.lineNumber()));
            default:
                break;
            }
        }
    }

    bool is(const char* name) const { return xml_.name() == QLatin1String(name); }

    [[noreturn]] void unexpected() const {
        refuse(
            QStringLiteral("its recipe holds an element <%1> where it may not").arg(xml_.name()));
    }

    // An attribute's value, bounded; null when it is not there.
    QString attribute(const char* name, qsizetype most = kMaxRecipeText) const {
        const QStringView value = xml_.attributes().value(QLatin1String(name));
        if (value.size() > most)
            refuse(QStringLiteral("its recipe has a %1 of more than %2 characters")
                       .arg(QLatin1String(name))
                       .arg(most));
        return xml_.attributes().hasAttribute(QLatin1String(name)) ? value.toString() : QString();
    }

private:
    QXmlStreamReader xml_;
};

qint64 photoSize(const QString& text) {
    bool ok = false;
    const qint64 size = text.toLongLong(&ok);
    if (!ok || size < 1 || !text.front().isDigit())
        refuse(QStringLiteral("its recipe gives a photo the size '%1'").arg(text.left(32)));
    return size;
}

// 0 to 3 quarter turns clockwise; absent: none.
int quarterTurns(const QString& text) {
    if (text.isNull())
        return 0;
    if (text.size() != 1 || text.front() < QLatin1Char('1') || text.front() > QLatin1Char('3'))
        refuse(QStringLiteral("its recipe turns a photo '%1' quarter turns").arg(text));
    return text.front().digitValue();
}

QByteArray digest(const QString& text) {
    static const auto hex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    };
    if (text.size() != 64 || !std::all_of(text.begin(), text.end(), hex))
        refuse(QStringLiteral("its recipe gives a photo the SHA-256 '%1'").arg(text.left(80)));
    return QByteArray::fromHex(text.toLatin1());
}

QString photoPath(const Reader& r) {
    QString path = r.attribute("path", kMaxRecipePathBytes);
    const QString native = r.attribute("native", kMaxRecipePathBytes * 4 / 3 + 4);
    if (!native.isNull()) {
        const auto bytes = QByteArray::fromBase64Encoding(native.toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
        if (!bytes)
            refuse(QStringLiteral("its recipe gives a photo a path that is not base64"));
        path = pathFromNative(*bytes);
    }
    if (path.isEmpty() || !path.startsWith(QLatin1Char('/')) ||
        nativePath(path).size() > kMaxRecipePathBytes || path.contains(QChar(0)))
        refuse(QStringLiteral("its recipe gives a photo no path from the root, or one of more "
                              "than %1 bytes")
                   .arg(kMaxRecipePathBytes));
    return path;
}

} // namespace

QByteArray albumItemXml(const AlbumRecipe& recipe) {
    XmlWriter w;
    w.startDocument();
    // <album>
    w.start("album");
    w.namespaceDecl("", kAlbumNamespace);
    // <options>
    w.start("options");
    for (const auto& [name, value] : recipeOptions(recipe.album))
        w.empty("option", {{"name", name}, {"value", value}});
    w.end();
    // <photos>
    w.start("photos");
    for (const RecipePhoto& photo : recipe.photos) {
        // <photo>
        w.start("photo");
        const QString path = textPath(photo.path);
        if (path.isEmpty())
            w.attribute("native", QString::fromLatin1(nativePath(photo.path).toBase64()));
        else
            w.attribute("path", path);
        w.attribute("size", XmlWriter::number(photo.size));
        w.attribute("sha256", QString::fromLatin1(photo.sha256.toHex()));
        if (!photo.caption.isEmpty())
            w.attribute("caption", photo.caption);
        if (photo.quarterTurns != 0)
            w.attribute("turns", XmlWriter::number(photo.quarterTurns));
        if (!photo.text.isEmpty())
            w.attribute("text", photo.text);
        w.end();
    }
    w.end();
    w.end();
    return w.finish();
}

bool isAlbumItem(const QByteArray& xml) {
    QXmlStreamReader r(xml);
    while (!r.atEnd())
        if (r.readNext() == QXmlStreamReader::StartElement)
            return r.namespaceUri() == QLatin1String(kAlbumNamespace);
    return false;
}

AlbumRecipe parseAlbumItem(const QByteArray& xml) {
    Reader r(xml);
    AlbumRecipe recipe;
    if (!r.nextElement() || !r.is("album"))
        refuse(QStringLiteral("its recipe has no album"));
    bool options = false, photos = false;
    while (r.nextElement()) {
        if (r.is("options") && !options) {
            options = true;
            while (r.nextElement()) {
                if (!r.is("option"))
                    r.unexpected();
                const QString name = r.attribute("name", 64), value = r.attribute("value");
                if (name.isNull() || value.isNull())
                    refuse(QStringLiteral("its recipe has an option without a name or a value"));
                if (const QString refused = setRecipeOption(recipe.album, name, value);
                    !refused.isEmpty())
                    refuse(QStringLiteral("its recipe's options are refused: %1").arg(refused));
                if (r.nextElement())
                    r.unexpected();
            }
        } else if (r.is("photos") && !photos) {
            photos = true;
            while (r.nextElement()) {
                if (!r.is("photo"))
                    r.unexpected();
                // Counted before it is read, so that a flood stops at once.
                if (qsizetype(recipe.photos.size()) == kMaxRecipePhotos)
                    refuse(QStringLiteral("its recipe names more than %1 photos")
                               .arg(kMaxRecipePhotos));
                RecipePhoto photo;
                photo.path = photoPath(r);
                photo.size = photoSize(r.attribute("size", 19));
                photo.sha256 = digest(r.attribute("sha256", 64));
                photo.caption = r.attribute("caption");
                photo.quarterTurns = quarterTurns(r.attribute("turns", 1));
                photo.text = r.attribute("text");
                if (r.nextElement())
                    r.unexpected();
                recipe.album.build.photos.push_back({photo.caption, photo.quarterTurns});
                recipe.photos.push_back(std::move(photo));
            }
        } else {
            r.unexpected();
        }
    }
    if (r.nextElement())
        r.unexpected();
    return recipe;
}

} // namespace slidemill::pptx
