#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <string>

// Letter case folded over the whole of Unicode, one code point for one (simple case
// folding), as the search's like() and the Portuguese name order fold it: "FÉRIAS" and
// "férias" are one name, "ferias" another.
namespace casefold {

// The code points of text; an unpaired surrogate stays as it is.
std::u32string codePoints(QStringView text);
// The code points of text, folded.
std::u32string folded(QStringView text);
bool equal(QStringView a, QStringView b);
// Every code point that folds as c does, c included, in ascending order.
QList<char32_t> variants(char32_t c);

} // namespace casefold
