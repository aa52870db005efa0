// The PDF's TrueType fonts: the deck font fontconfig finds, read without a font database, and
// cut down to the outlines a text uses.

#include "host/pdf/truetype.h"
#include "slides/presentationhost.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>
#include <set>

using namespace slidemill;
using namespace slidemill::pdf;

namespace {

QByteArray deckFont() {
    QFile f(fontFileFor(kBodyFont));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Where glyph `g`'s outline lies in the glyf table, by the font's loca.
std::pair<qsizetype, qsizetype> outline(const Sfnt& font, quint32 g) {
    const QByteArray head = font.tableBytes("head"), loca = font.tableBytes("loca");
    if (qFromBigEndian<qint16>(head.constData() + 50) == 1)
        return {qFromBigEndian<quint32>(loca.constData() + 4 * g),
                qFromBigEndian<quint32>(loca.constData() + 4 * g + 4)};
    return {2 * qFromBigEndian<quint16>(loca.constData() + 2 * g),
            2 * qFromBigEndian<quint16>(loca.constData() + 2 * g + 2)};
}

// The glyphs a composite glyph is made of; none for a simple one.
std::vector<quint32> parts(const Sfnt& font, quint32 g) {
    const QByteArray glyf = font.tableBytes("glyf");
    const auto [start, end] = outline(font, g);
    std::vector<quint32> found;
    if (end - start < 10 || qFromBigEndian<qint16>(glyf.constData() + start) >= 0)
        return found;
    qsizetype at = start + 10;
    for (quint16 flags = 0x20; flags & 0x20;) {
        flags = qFromBigEndian<quint16>(glyf.constData() + at);
        found.push_back(qFromBigEndian<quint16>(glyf.constData() + at + 2));
        at += 4 + ((flags & 1) ? 4 : 2) +
              ((flags & 8)      ? 2
               : (flags & 0x40) ? 4
               : (flags & 0x80) ? 8
                                : 0);
    }
    return found;
}

quint32 wholeSum(const QByteArray& font) {
    quint32 sum = 0;
    for (qsizetype i = 0; i + 4 <= font.size(); i += 4)
        sum += qFromBigEndian<quint32>(font.constData() + i);
    return sum;
}

} // namespace

class TestPdfTrueType : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void subsetKeepsWhatTheTextUses_data();
    void subsetKeepsWhatTheTextUses();
    void notAFont_data();
    void notAFont();
};

void TestPdfTrueType::subsetKeepsWhatTheTextUses_data() {
    QTest::addColumn<QString>("text");
    // One of its glyphs is made of others in the deck's font, so that the parts are checked.
    QTest::addColumn<bool>("composite");

    QTest::newRow("plain") << QStringLiteral("Harbour at dawn") << false;
    QTest::newRow("accents, made of parts") << QStringLiteral("Größe café Ångström") << true;
    QTest::newRow("punctuation and figures")
        << QStringLiteral("12–31 August, 2026 — “quoted”") << false;
    QTest::newRow("nothing but the missing glyph") << QString() << false;
}

void TestPdfTrueType::subsetKeepsWhatTheTextUses() {
    QFETCH(QString, text);
    QFETCH(bool, composite);
    const QByteArray data = deckFont();
    if (data.isEmpty())
        QSKIP("fontconfig finds no font for the deck's body font here");
    Sfnt font;
    QVERIFY(font.load(data));
    std::set<quint32> used;
    for (const char32_t c : text.toUcs4())
        used.insert(font.glyph(c));

    const QByteArray cut = subset(font, used);
    Sfnt small;
    QVERIFY(small.load(cut));
    QVERIFY2(cut.size() < data.size() / 4, qPrintable(QString::number(cut.size())));
    // The whole font sums to the checksum's magic number, as head's adjustment makes it.
    QCOMPARE(wholeSum(cut), 0xB1B0AFBAu);
    QCOMPARE(small.unitsPerEm, font.unitsPerEm);
    QCOMPARE(small.ascent, font.ascent);
    QCOMPARE(small.descent, font.descent);

    bool madeOfParts = false;
    std::vector<quint32> pending(used.begin(), used.end());
    pending.push_back(0);
    while (!pending.empty()) {
        const quint32 g = pending.back();
        pending.pop_back();
        const auto [start, end] = outline(font, g);
        const auto [smallStart, smallEnd] = outline(small, g);
        QCOMPARE(smallEnd - smallStart >= end - start, true);
        QCOMPARE(small.tableBytes("glyf").mid(smallStart, end - start),
                 font.tableBytes("glyf").mid(start, end - start));
        QCOMPARE(small.advance(g), font.advance(g));
        for (const quint32 part : parts(font, g)) {
            madeOfParts = true;
            pending.push_back(part);
        }
    }
    if (composite)
        QVERIFY(madeOfParts);
    for (const char32_t c : text.toUcs4())
        QCOMPARE(small.glyph(c), font.glyph(c));
    // A glyph the text does not use has no outline left.
    const quint32 unused = font.glyph(U'Z');
    if (!used.contains(unused)) {
        const auto [start, end] = outline(small, unused);
        QCOMPARE(end - start, 0);
    }
}

void TestPdfTrueType::notAFont_data() {
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("a JPEG") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10);
    QTest::newRow("tables past its end")
        << QByteArray("\0\x01\0\0\0\x01\0\0\0\0\0\0head\0\0\0\0\0\0\0\x10\0\0\xFF\xFF", 28);
    QTest::newRow("a collection") << QByteArray("ttcf\0\x01\0\0", 8);
}

void TestPdfTrueType::notAFont() {
    QFETCH(QByteArray, data);
    Sfnt font;
    QVERIFY(!font.load(data));
}

QTEST_GUILESS_MAIN(TestPdfTrueType)
#include "test_pdftruetype.moc"
