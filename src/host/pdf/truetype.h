#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <set>
#include <utility>

namespace slidemill::pdf {

// A TrueType font's tables, read as the PDF needs them: without a font database, which a
// process with no GUI has not.
class Sfnt {
public:
    // False when `data` is no TrueType font.
    bool load(const QByteArray& data);

    // The glyph of character `c`; 0, the font's missing glyph, when it has none.
    quint32 glyph(char32_t c) const;

    // In ems.
    double advance(quint32 glyph) const;

    // The bytes of table `tag`; empty when the font has none.
    QByteArray tableBytes(const QByteArray& tag) const;

    int unitsPerEm = 1000;
    // Lines are as far apart as ascent and descent (Windows' metrics), as LibreOffice spaces
    // them.
    double ascent = 0.8, descent = 0.2, capHeight = 0.65;
    // Every glyph's bounds, in ems: left, bottom, right, top.
    double box[4] = {0, -0.25, 1, 1};

private:
    quint32 u16(qsizetype at) const;
    quint32 u32(qsizetype at) const;
    // Where table `tag` starts, when it holds at least `size` bytes; -1 otherwise.
    qsizetype table(const char* tag, qsizetype size) const;
    bool findCmap();

    QByteArray data_;
    std::map<QByteArray, std::pair<qsizetype, qsizetype>> tables_;
    qsizetype hmtx_ = -1, cmap4_ = -1, cmap12_ = -1;
    int metrics_ = 0;
};

// The font with only the outlines of `used` (and what they are made of) left: the glyph ids
// stay, the others are empty, and the layout tables go, as no reader of the PDF lays text out.
// Empty when the font's outlines cannot be read.
QByteArray subset(const Sfnt& font, std::set<quint32> used);

// The font file fontconfig gives for the deck's `family`, its stand-in where it is not there:
// what LibreOffice and the painter draw it in.
QString fontFileFor(const char* family);

} // namespace slidemill::pdf
