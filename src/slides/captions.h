#pragma once

#include "slides/namedates.h"
#include "slides/picture.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace slidemill {

// Text as a slide may show it: bytes of a file name that are not UTF-8 become U+FFFD, tabs
// spaces, line breaks paragraph breaks when asked and spaces otherwise, and every other
// control character U+FFFD.
QString slideText(const QString& text, bool keepLineBreaks);

// A picture's file name as its caption: without its folder and its extension.
QString nameCaption(const QString& path);

// When the photo was taken, as its header tells, else as its file's name does (nameDate);
// invalid when neither tells.
PhotoDate takenDate(const Picture& picture);

// takenDate, or else when its file was last changed, by the local clock; invalid when none is
// known.
PhotoDate photoDate(const Picture& picture);

// A date and time as a caption, in the locale's medium date and short time without seconds
// ("12 Jul 2025 11:51"; a day alone without a time), and a span of days as a subtitle ("12 -
// 19 July 2026"), as the locale writes dates, without the day of the week.
QString dateCaption(const PhotoDate& when, const QLocale& locale);
QString dateSpan(QDate first, QDate last, const QLocale& locale);

} // namespace slidemill
