#pragma once

#include <QStringList>
#include <QStringView>
#include <optional>

namespace slidemill {

// Help texts as lines that fit their column: `text` broken at its spaces into lines of at most
// `width` characters, each as full as it can be; a '\n' ends a line where the writer wanted
// one. A word wider than the column stands alone on its line.
QStringList wrapped(QStringView text, qsizetype width);

// An option's number as written: digits only, at most `digits` of them ("+5", "2.5", "1e3"
// and a run of zeros too long are not numbers); nullopt otherwise.
std::optional<int> wholeNumber(QStringView value, qsizetype digits);

} // namespace slidemill
