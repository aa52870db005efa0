// The album's recipe a deck keeps: written by the .pptx host as a custom XML part, read back
// from a deck that may come from anywhere.

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/albumreader.h"
#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <zip.h>

using namespace slidemill;
using namespace slidemill::test;

namespace {

constexpr char kItem[] = "customXml/item1.xml";

// Builds the photos as the batch tool and the window do, into `out`.
void build(const QString& out, const QStringList& photos, const BuildOptions& options,
           PptxHostOptions host = {}) {
    if (host.outputPath.isEmpty())
        host.outputPath = out;
    HeaderPictureLoader loader;
    PptxHost pptx(host);
    buildSlides(photos, options, loader, pptx);
}

// A file's bytes by its name as the file system has it, whatever that holds.
QByteArray nativeBytes(const QString& path) {
    QFile f;
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle))
        return "<cannot read " + path.toUtf8() + ">";
    return f.readAll();
}

QByteArray sha256Of(const QString& path) {
    return QCryptographicHash::hash(nativeBytes(path), QCryptographicHash::Sha256);
}

// The deck with one part's bytes put through `edit`.
void editPart(const QString& deck, const QString& part,
              const std::function<QByteArray(QByteArray)>& edit) {
    const QByteArray bytes = edit(partOf(deck, part));
    zip_t* z = zip_open(QFile::encodeName(deck).constData(), 0, nullptr);
    QVERIFY(z);
    zip_source_t* source = zip_source_buffer(z, bytes.constData(), zip_uint64_t(bytes.size()), 0);
    const zip_int64_t i = zip_name_locate(z, part.toUtf8().constData(), 0);
    QVERIFY(i >= 0 && zip_file_replace(z, zip_uint64_t(i), source, 0) == 0);
    QCOMPARE(zip_close(z), 0);
}

// The XML with every match of `pattern` replaced.
QByteArray replaced(const QByteArray& xml, const QString& pattern, const QString& with) {
    return QString::fromUtf8(xml).replace(QRegularExpression(pattern), with).toUtf8();
}

void editItem(const QString& deck, const std::function<QByteArray(QByteArray)>& edit) {
    editPart(deck, kItem, edit);
}

// Replaces the first match of `from` in the recipe.
std::function<void(const QString&, const QString&)> itemReplace(const QByteArray& from,
                                                                const QByteArray& to) {
    return [from, to](const QString& deck, const QString&) {
        editItem(deck, [&](QByteArray xml) {
            const qsizetype at = xml.indexOf(from);
            return at < 0 ? QByteArray("<no " + from + ">") : xml.replace(at, from.size(), to);
        });
    };
}

// What a row does to the deck (and the folder its photos are in) after it was written.
using Tamper = std::function<void(const QString& deck, const QString& dir)>;

// Where a row's deck has its pictures copied.
QString pictureFolder(const QString& dir) {
    return dir + "/pictures";
}

// Everything in the folder, hidden names too; empty when there is no folder.
QStringList listing(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The name a copy of the part's picture has.
QString copyName(const QString& deck, const QString& part, const QString& extension) {
    return QString::fromLatin1(
               QCryptographicHash::hash(partOf(deck, part), QCryptographicHash::Sha256)
                   .toHex()
                   .left(32)) +
           '.' + extension;
}

// A copy openAlbumDeck made: a regular file directly in the folder, named by its bytes, which
// are the part's.
void verifyCopy(const QString& path, const QString& folder, const QString& deck,
                const QString& part) {
    QVERIFY2(isDeckPicture(path, folder), qPrintable(path));
    const QFileInfo info(path);
    QVERIFY2(!info.isSymLink() && info.isFile(), qPrintable(path));
    const QString extension = info.suffix();
    QVERIFY2(QStringList({"png", "jpeg"}).contains(extension), qPrintable(path));
    QCOMPARE(info.fileName(), copyName(deck, part, extension));
    QVERIFY(nativeBytes(path) == partOf(deck, part));
}

// The deck's recipe made unknown to Slidemill, as another application's part.
void dropRecipe(const QString& deck) {
    editPart(deck, kItem, [](QByteArray xml) {
        return xml.replace("urn:slidemill:album:1", "urn:example:album");
    });
}

} // namespace

class TestAlbumRecipe : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    // Three photos, a slide each with a Description box, the second with a caption of its own.
    QString deck_;
    QStringList photos_;

    // A copy of the deck and its photos for a row to change.
    QString copy(QString& dir) {
        dir = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
        QDir().mkpath(dir);
        QStringList photos;
        for (const QString& p : photos_)
            photos << dir + QLatin1Char('/') + QFileInfo(p).fileName();
        for (int i = 0; i < photos.size(); ++i)
            QFile::copy(photos_[i], photos[i]);
        BuildOptions o;
        o.caption = Caption::Description;
        o.photos = {{}, {QStringLiteral("Mia")}};
        const QString deck = dir + QStringLiteral("/album.pptx");
        build(deck, photos, o);
        return deck;
    }

private Q_SLOTS:
    void initTestCase();
    void partsAsWritten();
    void roundTrip_data();
    void roundTrip();
    void sources_data();
    void sources();
    void opened_data();
    void opened();
    void refused_data();
    void refused();
    void noRecipe_data();
    void noRecipe();
    void libreOfficeKeeps();
    void cleanupTestCase();
};

void TestAlbumRecipe::initTestCase() {
    QVERIFY(dir_.isValid());
    photos_ = {makePicture(dir_.path(), "a.png", "png", 160, 120),
               makePicture(dir_.path(), "b.jpg", "jpeg", 120, 160),
               makePicture(dir_.path(), "c.png", "png", 90, 90)};
}

// The part, its properties and relationships as written, the same bytes every time.
void TestAlbumRecipe::partsAsWritten() {
    BuildOptions o;
    o.layout = Layout::TwoPerSlide;
    o.photos = {{QStringLiteral("Ola\r\n\"<&>\"")}};
    const QString a = dir_.filePath("parts-a.pptx"), b = dir_.filePath("parts-b.pptx");
    build(a, photos_.mid(0, 1), o);
    build(b, photos_.mid(0, 1), o);
    QVERIFY(readBytes(a) == readBytes(b));

    const QByteArray item =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><album xmlns="urn:slidemill:album:1">)"
        R"(<options><option name="layout" value="two"/></options><photos>)" +
        QByteArray(R"(<photo path=")") + photos_[0].toUtf8() + R"(" size=")" +
        QByteArray::number(QFileInfo(photos_[0]).size()) + R"(" sha256=")" +
        sha256Of(photos_[0]).toHex() +
        R"(" caption="Ola&#13;&#10;&quot;&lt;&amp;&gt;&quot;" text="Ola&#10;&quot;&lt;&amp;&gt;&quot;"/>)"
        R"(</photos></album>)"
        "\n";
    QCOMPARE(partOf(a, kItem), item);
    QCOMPARE(attributeValues(partOf(a, "customXml/_rels/item1.xml.rels"), "Relationship", "Type"),
             QStringList{"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                         "customXmlProps"});
    const QByteArray props = partOf(a, "customXml/itemProps1.xml");
    QVERIFY2(QRegularExpression(R"(ds:itemID="\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}")")
                 .match(props)
                 .hasMatch(),
             props);
    QCOMPARE(attributeValues(props, "ds:schemaRef", "ds:uri"),
             QStringList{"urn:slidemill:album:1"});
    const QByteArray types = partOf(a, "[Content_Types].xml");
    QVERIFY(types.contains(
        R"(<Override PartName="/customXml/itemProps1.xml" ContentType=")"
        R"(application/vnd.openxmlformats-officedocument.customXmlProperties+xml"/>)"));
    const QByteArray rels = partOf(a, "ppt/_rels/presentation.xml.rels");
    QCOMPARE(attributeValues(rels, "Relationship", "Target").last(), "../customXml/item1.xml");
    QCOMPARE(attributeValues(rels, "Relationship", "Type").last(),
             "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml");
    // The datastore item against its own schema, which the package validator does not check.
    const QString xsd = QStringLiteral(SLIDEMILL_SHARED_DIR) +
                        "/ooxml-schemas/transitional/shared-customXmlDataProperties.xsd";
    if (QFileInfo::exists(xsd)) {
        const QString propsFile = writeBytes(dir_.path(), "itemProps1.xml", props);
        QProcess lint;
        lint.start("xmllint", {"--noout", "--schema", xsd, propsFile});
        QVERIFY(lint.waitForFinished());
        QVERIFY2(lint.exitCode() == 0, lint.readAllStandardError());
    }
    VERIFY_VALID_PPTX({a});
}

// Every field back as written, the photos' files unchanged: stored as they are, turned upright
// by a patch, made smaller, converted, under a name that is not UTF-8, streamed.
void TestAlbumRecipe::roundTrip_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<BuildOptions>("options");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("pixelsPerInch");
    QTest::addColumn<QString>("output"); // "ppsx", "append" (no seeking), "write-only"

    const QString d = dir_.path();
    makePicture(d, "big.jpg", "jpeg", 2400, 1800);
    makeUprightJpeg(d, "turned.jpg", 120, 90, 6);
    QImage phone(64, 48, QImage::Format_RGB32);
    phone.fill(Qt::darkCyan);
    writeBytes(d, "phone.heic", heifBytes(phone, 6));
    const QString utf8 = makePicture(d, "odd.png", "png", 100, 100);
    const QString odd = pathFromNative(QFile::encodeName(d) + "/caf\xe9\x01.png");
    ::rename(QFile::encodeName(utf8).constData(), nativePath(odd).constData());

    BuildOptions description;
    description.caption = Caption::Description;
    description.photos = {{}, {QStringLiteral("Mia"), 1}, {QStringLiteral("Ola\nline two"), 2}};
    QTest::newRow("own captions in Description boxes, own turns")
        << QStringList{"a.png", "b.jpg", "c.png"} << description
        << QStringList{"Description", "Mia", "Ola\nline two"} << kDefaultPixelsPerInch << "";

    BuildOptions show;
    show.layout = Layout::FourPerSlide;
    show.caption = Caption::Name;
    show.title = QStringLiteral("Crete");
    show.subtitle = QString();
    show.wide = true;
    show.background = 0x102030;
    show.grey = true;
    show.advanceMs = 5000;
    show.loop = true;
    show.transition = Transition::Fade;
    show.photos = {{}, {}, {}, {}, {QStringLiteral("last")}};
    QTest::newRow("a show of four a slide, every option set")
        << QStringList{"a.png", "b.jpg", "c.png", "a.png", "b.jpg"} << show
        << QStringList{"a", "b", "c", "a", "last"} << kDefaultPixelsPerInch << "ppsx";

    BuildOptions text;
    text.layout = Layout::Fill;
    text.caption = Caption::Text;
    text.captionText = QStringLiteral("Summer\t2026");
    QTest::newRow("made smaller, turned upright, converted")
        << QStringList{"big.jpg", "turned.jpg", "phone.heic"} << text
        << QStringList{"Summer 2026", "Summer 2026", "Summer 2026"} << 50 << "";
    QTest::newRow("turned upright by a patch, no box")
        << QStringList{"turned.jpg", "turned.jpg"} << BuildOptions() << QStringList{"", ""} << 0
        << "";
    QTest::newRow("a name that is not UTF-8")
        << QStringList{QFileInfo(odd).fileName()} << BuildOptions() << QStringList{""} << 0 << "";
    QTest::newRow("streamed, no seeking") << QStringList{"turned.jpg", "a.png"} << description
                                          << QStringList{"Description", "Mia"} << 0 << "append";
    QTest::newRow("no read-back") << QStringList{"turned.jpg", "b.jpg"} << description
                                  << QStringList{"Description", "Mia"} << 0 << "write-only";
}

void TestAlbumRecipe::roundTrip() {
    QFETCH(QStringList, files);
    QFETCH(BuildOptions, options);
    QFETCH(QStringList, texts);
    QFETCH(int, pixelsPerInch);
    QFETCH(QString, output);
    QStringList photos;
    for (const QString& f : files)
        photos << dir_.filePath(f);
    // Relative names are kept from the root.
    QVERIFY(QDir::setCurrent(dir_.path()));
    const QString deck = dir_.filePath(QStringLiteral("round-%1.%2")
                                           .arg(QTest::currentDataTag())
                                           .arg(output == "ppsx" ? "ppsx" : "pptx"))
                             .replace(' ', '_');
    PptxHostOptions host;
    host.pixelsPerInch = pixelsPerInch;
    host.outputPath = deck;
    if (output == "append" || output == "write-only") {
        const int flags = output == "append" ? O_APPEND : O_TRUNC;
        host.outputDescriptor =
            ::open(QFile::encodeName(deck).constData(), O_WRONLY | O_CREAT | flags, 0644);
        QVERIFY(host.outputDescriptor >= 0);
    }
    build(deck, files, options, host);
    if (host.outputDescriptor >= 0)
        ::close(host.outputDescriptor);

    const std::optional<AlbumRecipe> recipe = readAlbumRecipe(deck);
    QVERIFY(recipe);
    Album album;
    album.build = options;
    QVERIFY(recipe->album == album);
    QCOMPARE(recipe->photos.size(), std::size_t(photos.size()));
    QStringList entries;
    for (const ZipEntry& e : zipEntries(deck))
        entries << e.name;
    for (int k = 0; k < photos.size(); ++k) {
        const RecipePhoto& p = recipe->photos[std::size_t(k)];
        const QString own = k < qsizetype(options.photos.size()) ? options.photos[k].caption : "";
        QCOMPARE(p.path, photos[k]);
        QCOMPARE(p.caption, own);
        QCOMPARE(recipe->album.build.photos[std::size_t(k)].caption, own);
        const int turns =
            k < qsizetype(options.photos.size()) ? options.photos[std::size_t(k)].quarterTurns : 0;
        QCOMPARE(p.quarterTurns, turns);
        QCOMPARE(p.text, texts[k]);
        QCOMPARE(p.deckText, texts[k]);
        QCOMPARE(p.size, nativeBytes(photos[k]).size());
        QCOMPARE(p.sha256.toHex(), sha256Of(photos[k]).toHex());
        QCOMPARE(p.source, RecipePhoto::Source::File);
        QVERIFY2(entries.contains(p.mediaPart), qPrintable(p.mediaPart));
    }
    VERIFY_VALID_PPTX({deck});
}

// A photo is taken from its path only while a regular file there has its size and hash.
void TestAlbumRecipe::sources_data() {
    QTest::addColumn<Tamper>("tamper");
    QTest::addColumn<QString>("sources"); // F: the file, D: the deck's picture, per photo

    const auto second = [](const QString& dir) { return dir + "/b.jpg"; };
    QTest::newRow("unchanged") << Tamper([](const QString&, const QString&) {}) << "FFF";
    QTest::newRow("only touched") << Tamper([=](const QString&, const QString& dir) {
        ::utime(QFile::encodeName(second(dir)).constData(), nullptr);
    }) << "FFF";
    QTest::newRow("a byte changed") << Tamper([=](const QString&, const QString& dir) {
        QByteArray b = readBytes(second(dir));
        b[b.size() - 3] = char(b[b.size() - 3] ^ 1);
        writeBytes(dir, "b.jpg", b);
    }) << "FDF";
    QTest::newRow("a byte more") << Tamper([=](const QString&, const QString& dir) {
        writeBytes(dir, "b.jpg", readBytes(second(dir)) + '\0');
    }) << "FDF";
    QTest::newRow("removed") << Tamper([=](const QString&, const QString& dir) {
        QFile::remove(second(dir));
    }) << "FDF";
    QTest::newRow("a FIFO in its place") << Tamper([=](const QString&, const QString& dir) {
        QFile::remove(second(dir));
        ::mkfifo(QFile::encodeName(second(dir)).constData(), 0600);
    }) << "FDF";
    QTest::newRow("a folder in its place") << Tamper([=](const QString&, const QString& dir) {
        QFile::remove(second(dir));
        QDir().mkpath(second(dir));
    }) << "FDF";
    QTest::newRow("a link to /dev/zero in its place")
        << Tamper([=](const QString&, const QString& dir) {
               QFile::remove(second(dir));
               QFile::link("/dev/zero", second(dir));
           })
        << "FDF";
    // Followed, as the build followed it.
    QTest::newRow("a link to the same bytes in its place")
        << Tamper([=](const QString&, const QString& dir) {
               QFile::rename(second(dir), dir + "/moved.jpg");
               QFile::link(dir + "/moved.jpg", second(dir));
           })
        << "FFF";
    QTest::newRow("the recipe names /dev/zero") << Tamper([=](const QString& deck, const QString&) {
        editItem(deck, [](QByteArray xml) {
            return replaced(xml, R"(path="[^"]*b\.jpg")", R"(path="/dev/zero")");
        });
    }) << "FDF";
    QTest::newRow("the recipe names a FIFO")
        << Tamper([=](const QString& deck, const QString& dir) {
               ::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600);
               editItem(deck, [&](QByteArray xml) {
                   return replaced(xml, R"(path="[^"]*b\.jpg")",
                                   QStringLiteral(R"(path="%1/fifo")").arg(dir));
               });
           })
        << "FDF";
}

void TestAlbumRecipe::sources() {
    QFETCH(Tamper, tamper);
    QFETCH(QString, sources);
    QString dir;
    const QString deck = copy(dir);
    tamper(deck, dir);
    const std::optional<AlbumRecipe> recipe = readAlbumRecipe(deck);
    QVERIFY(recipe);
    QString got;
    for (const RecipePhoto& p : recipe->photos) {
        got += p.source == RecipePhoto::Source::File ? 'F' : 'D';
        QVERIFY(p.mediaPart.startsWith("ppt/media/image"));
    }
    QCOMPARE(got, sources);
    QCOMPARE(recipe->photos[1].mediaPart, "ppt/media/image2.jpeg");
}

// Opened as an album, a photo shown from the deck names a copy of its stored picture, made
// once, in place of whatever held its name.
void TestAlbumRecipe::opened_data() {
    QTest::addColumn<Tamper>("tamper");
    QTest::addColumn<QString>("sources"); // F: the file, D: the deck's picture, per photo
    QTest::addColumn<QList<int>>("turns");

    const auto removed = [](const QString& name) {
        return Tamper([=](const QString&, const QString& dir) { QFile::remove(dir + '/' + name); });
    };
    QTest::newRow("every file there") << Tamper() << "FFF" << QList<int>{0, 0, 0};
    QTest::newRow("a file removed") << removed("b.jpg") << "FDF" << QList<int>{0, 0, 0};
    QTest::newRow("every file removed") << Tamper([](const QString&, const QString& dir) {
        for (const char* name : {"a.png", "b.jpg", "c.png"})
            QFile::remove(dir + '/' + QLatin1String(name));
    }) << "DDD" << QList<int>{0, 0, 0};
    // The copy is the picture as the deck stores it, upright by its shape's turn of 90 degrees,
    // to which the photo's own quarter turn adds.
    QTest::newRow("a turned photo removed") << Tamper([](const QString& deck, const QString& dir) {
        BuildOptions o;
        o.photos = {{}, {QString(), 1}};
        build(deck, {dir + "/a.png", makeUprightJpeg(dir, "turned.jpg", 120, 90, 6)}, o);
        QFile::remove(dir + "/turned.jpg");
    }) << "FD" << QList<int>{0, 2};
    const auto planted =
        [](const std::function<void(const QString& at, const QString& dir)>& plant) {
            return Tamper([=](const QString& deck, const QString& dir) {
                QFile::remove(dir + "/b.jpg");
                QDir().mkpath(pictureFolder(dir));
                plant(pictureFolder(dir) + '/' + copyName(deck, "ppt/media/image2.jpeg", "jpeg"),
                      dir);
            });
        };
    QTest::newRow("a link where the copy goes")
        << planted([](const QString& at, const QString& dir) {
               writeBytes(dir, "victim", "the link's target");
               QVERIFY(QFile::link(dir + "/victim", at));
           })
        << "FDF" << QList<int>{0, 0, 0};
    QTest::newRow("other bytes where the copy goes")
        << planted([](const QString& at, const QString&) {
               writeBytes(QFileInfo(at).path(), QFileInfo(at).fileName(), "other bytes");
           })
        << "FDF" << QList<int>{0, 0, 0};
}

void TestAlbumRecipe::opened() {
    QFETCH(Tamper, tamper);
    QFETCH(QString, sources);
    QFETCH(QList<int>, turns);
    QString dir;
    const QString deck = copy(dir);
    const QString folder = pictureFolder(dir);
    if (tamper)
        tamper(deck, dir);
    const std::optional<AlbumRecipe> read = readAlbumRecipe(deck);
    QVERIFY(read);

    const OpenedAlbum opened = openAlbumDeck(deck, folder);
    QVERIFY(opened.hadRecipe);
    QCOMPARE(opened.recipe.photos.size(), std::size_t(sources.size()));
    AlbumRecipe expected = *read;
    for (qsizetype k = 0; k < sources.size(); ++k) {
        const RecipePhoto& p = opened.recipe.photos[std::size_t(k)];
        RecipePhoto& e = expected.photos[std::size_t(k)];
        QCOMPARE(p.recordedPath, e.path);
        QCOMPARE(p.source == RecipePhoto::Source::File ? 'F' : 'D', sources[k].toLatin1());
        if (sources[k] == 'F') {
            QCOMPARE(p.path, p.recordedPath);
            QVERIFY(!isDeckPicture(p.path, folder));
        } else {
            verifyCopy(p.path, folder, deck, p.mediaPart);
            if (QTest::currentTestFailed())
                return;
            e.path = p.path;
        }
        e.quarterTurns = turns[k];
        expected.album.build.photos[std::size_t(k)].quarterTurns = e.quarterTurns;
    }
    QCOMPARE(opened.recipe.photos.front().recordedPath, dir + "/a.png");
    QVERIFY(opened.recipe.album == expected.album && opened.recipe.photos == expected.photos);
    if (QFile::exists(dir + "/victim"))
        QCOMPARE(readBytes(dir + "/victim"), QByteArray("the link's target"));
    if (!sources.contains('D'))
        QVERIFY(!QFileInfo::exists(folder));

    // Again: the same copies, not written again.
    const QStringList files = listing(folder);
    QCOMPARE(files.size(), sources.count('D'));
    std::vector<ino_t> inodes;
    for (const QString& f : files) {
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(folder + '/' + f).constData(), &st), 0);
        inodes.push_back(st.st_ino);
    }
    const OpenedAlbum again = openAlbumDeck(deck, folder);
    QVERIFY(again.recipe.album == opened.recipe.album &&
            again.recipe.photos == opened.recipe.photos);
    QCOMPARE(listing(folder), files);
    for (std::size_t i = 0; i < inodes.size(); ++i) {
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(folder + '/' + files[qsizetype(i)]).constData(), &st),
                 0);
        QCOMPARE(st.st_ino, inodes[i]);
    }
}

// A recipe that is not what Slidemill writes, or that the slides no longer agree with, is
// refused whole, the deck named; nothing outside the deck is read for it. Opened as an album,
// so is a deck whose stored picture to be copied is none or too large, leaving no copy behind.
void TestAlbumRecipe::refused_data() {
    QTest::addColumn<Tamper>("tamper");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("reading"); // refused by readAlbumRecipe too

    const QByteArray decl = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
    const auto withDoctype = [=](const QByteArray& doctype, const QByteArray& use) {
        return Tamper([=](const QString& deck, const QString&) {
            editItem(deck, [&](QByteArray xml) {
                return xml.replace(decl, decl + doctype).replace("caption=\"Mia\"", use);
            });
        });
    };
    QTest::newRow("a DTD's entity")
        << withDoctype(R"(<!DOCTYPE album [<!ENTITY e "x">]>)", "caption=\"&e;\"")
        << "its recipe has a DTD" << true;
    QTest::newRow("an outside entity")
        << withDoctype(R"(<!DOCTYPE album [<!ENTITY e SYSTEM "file:///etc/passwd">]>)",
                       "caption=\"&e;\"")
        << "its recipe has a DTD" << true;
    QByteArray laughs = R"(<!DOCTYPE album [<!ENTITY l0 "ha">)";
    for (int i = 1; i < 10; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;\">")
                      .arg(i)
                      .arg(i - 1)
                      .toLatin1();
    QTest::newRow("a billion laughs")
        << withDoctype(laughs + "]>", "caption=\"&l9;\"") << "its recipe has a DTD" << true;
    QTest::newRow("an entity never declared")
        << itemReplace("caption=\"Mia\"", "caption=\"&e;\"") << "not well-formed XML" << true;
    QTest::newRow("larger than 16 MiB")
        << itemReplace("</album>", "<!--" + QByteArray(17 << 20, ' ') + "--></album>")
        << "customXml/item1.xml is larger than 16 MiB" << true;
    QByteArray flood;
    for (int i = 0; i < 100000; ++i)
        flood += R"(<photo path="/a" size="1" sha256=")" + QByteArray(64, 'a') + "\"/>";
    QTest::newRow("100,000 photos")
        << itemReplace("<photos>", "<photos>" + flood) << "names more than 32767 photos" << true;
    QTest::newRow("a caption too long")
        << itemReplace("caption=\"Mia\"", "caption=\"" + QByteArray(65537, 'm') + '"')
        << "has a caption of more than 65536 characters" << true;
    QTest::newRow("a turn past three quarters")
        << itemReplace("caption=\"Mia\"", "caption=\"Mia\" turns=\"4\"")
        << "turns a photo '4' quarter turns" << true;
    QTest::newRow("a size that is no number")
        << itemReplace(" size=\"", " size=\"-") << "gives a photo the size" << true;
    QTest::newRow("a hash that is not hex") << Tamper([](const QString& deck, const QString&) {
        editItem(deck,
                 [](QByteArray xml) { return replaced(xml, "sha256=\"[0-9a-f]", "sha256=\"g"); });
    }) << "gives a photo the SHA-256" << true;
    QTest::newRow("a path not from the root")
        << itemReplace(" path=\"/", " path=\"") << "gives a photo no path from the root" << true;
    QTest::newRow("an element of its own")
        << itemReplace("<photos>", "<photos><extra/>") << "holds an element <extra> where" << true;
    QTest::newRow("an option's value refused")
        << itemReplace("<options>", R"(<options><option name="advance" value="99999"/>)")
        << "its recipe's options are refused: --advance takes" << true;
    QTest::newRow("a photo more than the slides show")
        << itemReplace("<photos>", "<photos><photo path=\"/a.png\" size=\"1\" sha256=\"" +
                                       QByteArray(64, 'a') + "\"/>")
        << "its recipe names 4 photos, but its slides show 3 pictures" << true;
    QTest::newRow("a slide taken out") << Tamper([](const QString& deck, const QString&) {
        editPart(deck, "ppt/presentation.xml", [](QByteArray xml) {
            return xml.replace(R"(<p:sldId id="257" r:id="rId3"/>)", "");
        });
    }) << "its recipe names 3 photos, but its slides show 2 pictures"
                                       << true;
    QTest::newRow("the photos placed otherwise")
        << itemReplace("<options>", R"(<options><option name="layout" value="two"/>)")
        << "its slides no longer place the photos as its recipe does (photo 2 of 3)" << true;
    QTest::newRow("a DTD in a slide") << Tamper([=](const QString& deck, const QString&) {
        editPart(deck, "ppt/slides/slide2.xml",
                 [&](QByteArray xml) { return xml.replace(decl, decl + "<!DOCTYPE p:sld>"); });
    }) << "the deck's part ppt/slides/slide2.xml has a DTD"
                                      << true;
    QTest::newRow("not a zip") << Tamper([](const QString& deck, const QString&) {
        QFile f(deck);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK not really");
    }) << "the deck is not a presentation package"
                               << true;
    QTest::newRow("a FIFO for a deck") << Tamper([](const QString& deck, const QString&) {
        QFile::remove(deck);
        ::mkfifo(QFile::encodeName(deck).constData(), 0600);
    }) << "the deck is not a regular file"
                                       << true;
    QTest::newRow("no deck") << Tamper([](const QString& deck, const QString&) {
        QFile::remove(deck);
    }) << "cannot read the deck: No such file"
                             << true;

    const auto storedAs = [](const QByteArray& bytes, bool recipe) {
        return Tamper([=](const QString& deck, const QString& dir) {
            QFile::remove(dir + "/b.jpg");
            editPart(deck, "ppt/media/image2.jpeg", [&](QByteArray) { return bytes; });
            if (!recipe)
                dropRecipe(deck);
        });
    };
    QTest::newRow("a stored picture that is none")
        << storedAs("<svg xmlns=\"http://www.w3.org/2000/svg\"/>", true)
        << "the deck's part ppt/media/image2.jpeg holds no picture of a format Slidemill reads"
        << false;
    QTest::newRow("a stored picture of 257 MiB, no recipe")
        << storedAs(jpegBytes(8, 8) + QByteArray(257 << 20, '\0'), false)
        << "the deck's part ppt/media/image2.jpeg is larger than 256 MiB" << false;
}

void TestAlbumRecipe::refused() {
    QFETCH(Tamper, tamper);
    QFETCH(QString, message);
    QFETCH(bool, reading);
    QString dir;
    const QString deck = copy(dir);
    tamper(deck, dir);
    for (const bool opening : {false, true}) {
        try {
            if (opening)
                openAlbumDeck(deck, pictureFolder(dir));
            else
                readAlbumRecipe(deck);
            QVERIFY2(!opening && !reading, opening ? "opened" : "read");
        } catch (const RuntimeError& e) {
            QVERIFY(opening || reading);
            QCOMPARE(e.number(), int(errPathFileAccess));
            QCOMPARE(e.file(), deck);
            QVERIFY2(e.text().startsWith("Opening the album: "), qPrintable(e.text()));
            QVERIFY2(e.text().contains(message), qPrintable(e.text().left(300)));
        }
    }
    QCOMPARE(listing(pictureFolder(dir)), QStringList());
}

// A deck that keeps no recipe of ours opens as having none, which is no error. Opened as an
// album, it gives a photo for each picture its slides show, in order, copied from the deck,
// with the box under it for its caption, and the options its slides tell.
void TestAlbumRecipe::noRecipe_data() {
    QTest::addColumn<Tamper>("tamper");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("turns");
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<QStringList>("titles"); // the title and subtitle; none: no title slide
    QTest::addColumn<bool>("wide");

    const QStringList described = {"Description", "Mia", "Description"};
    const QStringList mia = {"", "Mia", ""};
    QTest::newRow("made without one")
        << Tamper() << false << QStringList(3, "Description") << QStringList(3, "") << "000"
        << Layout::OnePerSlide << QStringList() << false;
    QTest::newRow("someone else's custom part")
        << Tamper([](const QString& deck, const QString&) { dropRecipe(deck); }) << true
        << described << mia << "000" << Layout::OnePerSlide << QStringList() << false;
    // Without it, the part is looked for by its name (libreOfficeKeeps).
    QTest::newRow("its relationship dropped, the part renamed")
        << Tamper([](const QString& deck, const QString&) {
               editPart(deck, "ppt/_rels/presentation.xml.rels", [](QByteArray xml) {
                   return replaced(xml, "<Relationship [^>]*customXml\"[^>]*/>", "");
               });
               zip_t* z = zip_open(QFile::encodeName(deck).constData(), 0, nullptr);
               QVERIFY(z);
               QCOMPARE(zip_file_rename(z, zip_uint64_t(zip_name_locate(z, kItem, 0)),
                                        "customXml/album.xml", 0),
                        0);
               QCOMPARE(zip_close(z), 0);
           })
        << true << described << mia << "000" << Layout::OnePerSlide << QStringList() << false;
    const auto rebuilt = [](const BuildOptions& o) {
        return Tamper([=](const QString& deck, const QString& dir) {
            build(deck, {dir + "/a.png", dir + "/b.jpg", dir + "/c.png"}, o);
            dropRecipe(deck);
        });
    };
    BuildOptions two;
    two.layout = Layout::TwoPerSlide;
    two.caption = Caption::Name;
    two.title = QStringLiteral("Crete");
    two.subtitle = QStringLiteral("Summer\nby the sea");
    two.wide = true;
    two.photos = {{}, {QStringLiteral("Description")}};
    QTest::newRow("two a slide, a title slide, wide")
        << rebuilt(two) << true << QStringList{"a", "Description", "c"} << QStringList{"a", "", "c"}
        << "000" << Layout::TwoPerSlide << QStringList{"Crete", "Summer\nby the sea"} << true;
    BuildOptions four;
    four.layout = Layout::FourPerSlide;
    four.title = QStringLiteral("Crete");
    four.subtitle = QString();
    four.photos = {{}, {QString(), 3}};
    QTest::newRow("four a slide, one turned, a title alone")
        << rebuilt(four) << true << QStringList(3, "") << QStringList(3, "") << "030"
        << Layout::FourPerSlide << QStringList{"Crete", ""} << false;
}

void TestAlbumRecipe::noRecipe() {
    QFETCH(Tamper, tamper);
    QFETCH(bool, written);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, captions);
    QFETCH(QString, turns);
    QFETCH(Layout, layout);
    QFETCH(QStringList, titles);
    QFETCH(bool, wide);
    QString dir;
    QString deck = copy(dir);
    if (written) {
        tamper(deck, dir);
    } else {
        deck = dir + "/raw.pptx";
        writeDeck(deck, photos_, true);
    }
    QVERIFY(!readAlbumRecipe(deck));

    const QString folder = pictureFolder(dir);
    const OpenedAlbum opened = openAlbumDeck(deck, folder);
    QVERIFY(!opened.hadRecipe);
    Album album;
    album.build.layout = layout;
    album.build.wide = wide;
    if (!titles.isEmpty()) {
        album.build.title = titles[0];
        album.build.subtitle = titles[1];
    }
    QCOMPARE(opened.recipe.photos.size(), std::size_t(texts.size()));
    for (qsizetype k = 0; k < texts.size(); ++k) {
        const RecipePhoto& p = opened.recipe.photos[std::size_t(k)];
        QCOMPARE(p.text, texts[k]);
        QCOMPARE(p.deckText, texts[k]);
        QCOMPARE(p.caption, captions[k]);
        QCOMPARE(p.quarterTurns, turns[k].digitValue());
        QCOMPARE(p.source, RecipePhoto::Source::Deck);
        QVERIFY(p.recordedPath.isEmpty());
        verifyCopy(p.path, folder, deck, p.mediaPart);
        // In the slides' order: the photos' own bytes, stored as they are.
        QVERIFY(nativeBytes(p.path) == readBytes(photos_[k]));
        album.build.photos.push_back({captions[k], turns[k].digitValue()});
    }
    const BuildOptions& got = opened.recipe.album.build;
    QCOMPARE(got.layout, layout);
    QCOMPARE(got.wide, wide);
    QCOMPARE(got.title, album.build.title);
    QCOMPARE(got.subtitle.value_or("<unset>"), album.build.subtitle.value_or("<unset>"));
    QVERIFY(opened.recipe.album == album);
}

// What LibreOffice keeps of the recipe when it saves the deck again as its own .pptx, and
// what opens as an album from its slides, with the recipe and without.
void TestAlbumRecipe::libreOfficeKeeps() {
    const QString deck = dir_.filePath("keep.pptx"), out = dir_.filePath("saved-by-lo");
    const QString dir = dir_.filePath("lo-photos");
    QDir().mkpath(dir);
    QStringList photos;
    for (const QString& p : photos_) {
        photos << dir + '/' + QFileInfo(p).fileName();
        QVERIFY(QFile::copy(p, photos.last()));
    }
    BuildOptions o;
    o.caption = Caption::Description;
    build(deck, photos, o);
    QDir().mkpath(out);
    const CheckResult converted = convertTo({deck}, out, "pptx");
    if (converted.skipped)
        QSKIP(qPrintable(converted.output));
    QVERIFY2(converted.ok, qPrintable(converted.output));
    const QString saved = convertedPathFor(deck, out, "pptx");
    // LibreOffice 7.4 keeps the part but not its relationship from the presentation; the
    // recipe is found by its name, and agrees with the slides LibreOffice wrote.
    QVERIFY(readPart(saved, kItem).has_value());
    QVERIFY(!partOf(saved, "ppt/_rels/presentation.xml.rels").contains("customXml"));
    const std::optional<AlbumRecipe> recipe = readAlbumRecipe(saved);
    QVERIFY(recipe);
    QCOMPARE(recipe->photos.size(), std::size_t(photos.size()));
    for (std::size_t k = 0; k < recipe->photos.size(); ++k) {
        const RecipePhoto& p = recipe->photos[k];
        QCOMPARE(p.path, photos[qsizetype(k)]);
        QCOMPARE(p.source, RecipePhoto::Source::File);
        QCOMPARE(p.deckText, "Description");
        QVERIFY(readPart(saved, p.mediaPart).has_value());
    }

    // A photo gone is copied from LibreOffice's stored picture.
    QVERIFY(QFile::remove(photos[1]));
    const QString folder = dir_.filePath("lo-pictures");
    const OpenedAlbum opened = openAlbumDeck(saved, folder);
    QVERIFY(opened.hadRecipe);
    QCOMPARE(opened.recipe.photos.size(), std::size_t(photos.size()));
    for (std::size_t k = 0; k < opened.recipe.photos.size(); ++k) {
        const RecipePhoto& p = opened.recipe.photos[k];
        QCOMPARE(p.recordedPath, photos[qsizetype(k)]);
        QCOMPARE(p.source == RecipePhoto::Source::Deck, k == 1);
        if (k == 1)
            verifyCopy(p.path, folder, saved, p.mediaPart);
        else
            QCOMPARE(p.path, p.recordedPath);
    }

    // Without the recipe, its pictures in order, each box still the placeholder's text.
    zip_t* z = zip_open(QFile::encodeName(saved).constData(), 0, nullptr);
    QVERIFY(z);
    QCOMPARE(zip_delete(z, zip_uint64_t(zip_name_locate(z, kItem, 0))), 0);
    QCOMPARE(zip_close(z), 0);
    const OpenedAlbum bare = openAlbumDeck(saved, folder);
    QVERIFY(!bare.hadRecipe);
    QCOMPARE(bare.recipe.photos.size(), std::size_t(photos.size()));
    for (std::size_t k = 0; k < bare.recipe.photos.size(); ++k) {
        const RecipePhoto& p = bare.recipe.photos[k];
        QCOMPARE(p.mediaPart, opened.recipe.photos[k].mediaPart);
        QCOMPARE(p.deckText, "Description");
        QCOMPARE(p.caption, "");
        verifyCopy(p.path, folder, saved, p.mediaPart);
    }
    QCOMPARE(bare.recipe.photos[1].path, opened.recipe.photos[1].path);
    QCOMPARE(bare.recipe.album.build.layout, Layout::OnePerSlide);
}

void TestAlbumRecipe::cleanupTestCase() {
    // Qt cannot name it to remove it.
    ::unlink(QByteArray(QFile::encodeName(dir_.path()) + "/caf\xe9\x01.png").constData());
}

QTEST_GUILESS_MAIN(TestAlbumRecipe)
#include "test_albumrecipe.moc"
