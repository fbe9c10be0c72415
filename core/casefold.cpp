#include "core/casefold.h"

#include <QChar>
#include <QHash>

#include <algorithm>

namespace casefold {

namespace {

// Folded code point -> the others that fold to it. Every cased letter lies below 0x20000.
const QHash<char32_t, QList<char32_t>> &unfoldings()
{
    static const QHash<char32_t, QList<char32_t>> table = [] {
        QHash<char32_t, QList<char32_t>> t;
        for (char32_t c = 0; c < 0x20000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t f = QChar::toCaseFolded(c);
            if (f != c)
                t[f].append(c);
        }
        return t;
    }();
    return table;
}

template<typename Visit> void forEachCodePoint(QStringView text, Visit visit)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode()))
            visit(QChar::surrogateToUcs4(u, text[++i].unicode()));
        else
            visit(char32_t(u));
    }
}

char32_t fold(char32_t c)
{
    return (c >= 0xD800 && c <= 0xDFFF) ? c : QChar::toCaseFolded(c);
}

} // namespace

std::u32string codePoints(QStringView text)
{
    std::u32string out;
    out.reserve(size_t(text.size()));
    forEachCodePoint(text, [&out](char32_t c) { out.push_back(c); });
    return out;
}

std::u32string folded(QStringView text)
{
    std::u32string out;
    out.reserve(size_t(text.size()));
    forEachCodePoint(text, [&out](char32_t c) { out.push_back(fold(c)); });
    return out;
}

bool equal(QStringView a, QStringView b)
{
    return folded(a) == folded(b);
}

QList<char32_t> variants(char32_t c)
{
    const char32_t f = fold(c);
    QList<char32_t> all { f };
    all += unfoldings().value(f);
    std::sort(all.begin(), all.end());
    return all;
}

} // namespace casefold
