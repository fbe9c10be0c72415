#include "store/unicodelike.h"

#include <QChar>
#include <QString>

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

// "_" in a folded pattern; no text character folds to it (it lies past Unicode).
constexpr char32_t kAnyOne = 0x110000;
// A byte outside valid UTF-8 stands for itself in the lone-surrogate range, which valid
// UTF-8 never decodes to.
constexpr char32_t kRawByte = 0xDC00;

const std::array<unsigned char, 256> &asciiFold()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t {};
        for (int c = 0; c < 256; ++c)
            t[c] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : char(c);
        return t;
    }();
    return table;
}

bool isMark(char32_t c)
{
    if (c < 0x300)
        return false;
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

// The letter a character is written on, case folded: "Ã" and "ã" are "a", "Ç" is "c". A
// character whose canonical decomposition is another character followed by combining marks
// only has that character's letter; any other is its own (Hangul syllables decompose into
// letters, not marks, and stay whole).
char32_t computeBase(char32_t c)
{
    char32_t base = QChar::toCaseFolded(c);
    for (int depth = 0; depth < 4; ++depth) {
        if (QChar::decompositionTag(base) != QChar::Canonical)
            break;
        const QString parts = QChar::decomposition(base);
        const std::u32string points = parts.toStdU32String();
        if (points.empty())
            break;
        bool marksOnly = true;
        for (size_t i = 1; i < points.size(); ++i)
            marksOnly = marksOnly && isMark(points[i]);
        if (!marksOnly)
            break;
        base = QChar::toCaseFolded(points[0]);
    }
    return base;
}

// computeBase for the Basic Multilingual Plane, where every accented letter lies.
const std::vector<char16_t> &baseTable()
{
    static const std::vector<char16_t> table = [] {
        std::vector<char16_t> t(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            t[c] = c >= 0xD800 && c <= 0xDFFF ? char16_t(c) : char16_t(computeBase(c));
        return t;
    }();
    return table;
}

char32_t baseOf(char32_t folded)
{
    return folded < 0x10000 ? baseTable()[folded] : folded;
}

bool isAscii(QByteArrayView text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// UTF-8 to code points folded for caseless matching, appended to `out`. *marks tells whether
// a combining mark was met, *raw whether a byte outside valid UTF-8 was.
void decodeFolded(
    QByteArrayView text, std::u32string &out, bool *marks = nullptr, bool *raw = nullptr)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        const unsigned char b = *p;
        char32_t c = b;
        int extra = 0;
        char32_t least = 0;
        if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            c = b & 0x07;
            least = 0x10000;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            c = b & 0x0F;
            least = 0x800;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            c = b & 0x1F;
            least = 0x80;
        } else if (b >= 0x80) {
            out.push_back(kRawByte + b);
            if (raw)
                *raw = true;
            ++p;
            continue;
        }
        bool valid = end - p > extra;
        for (int i = 1; valid && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                valid = false;
            else
                c = (c << 6) | (p[i] & 0x3F);
        }
        if (extra > 0 && (!valid || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) {
            out.push_back(kRawByte + b);
            if (raw)
                *raw = true;
            ++p;
            continue;
        }
        if (marks && !*marks && isMark(c))
            *marks = true;
        out.push_back(c < 0x80 ? asciiFold()[c] : QChar::toCaseFolded(c));
        p += extra + 1;
    }
}

// A pattern split at its "%" signs into runs that must appear in order; the first run is
// tied to the start of the text unless the pattern starts with "%", the last to its end
// unless it ends with "%". Leftmost placement of each run is then always right.
//
// Letters are matched as people type them: one typed without an accent ("a", "c") matches
// that letter with or without any ("a", "á", "ã", "Ç"...), one typed with an accent matches
// only that accent. Accents written as separate combining marks count as the composed
// letters they make.
struct Pattern {
    bool ascii = true; // every character is ASCII: texts in ASCII match byte by byte
    bool anyPercent = false;
    bool leadingPercent = false;
    bool trailingPercent = false;
    bool anyAccented = false;
    std::u32string units; // folded characters, kAnyOne for "_"; "%" left out
    std::vector<char> accented; // per unit: matched exactly, not by its letter
    std::vector<std::pair<size_t, size_t>> runs; // start and length in `units`

    explicit Pattern(QByteArrayView pattern)
    {
        ascii = isAscii(pattern);
        std::u32string folded;
        bool marks = false;
        bool raw = false;
        decodeFolded(pattern, folded, &marks, &raw);
        if (marks && !raw) {
            folded.clear();
            decodeFolded(
                QString::fromUtf8(pattern).normalized(QString::NormalizationForm_C).toUtf8(),
                folded);
        }
        size_t runStart = 0;
        for (size_t i = 0; i < folded.size(); ++i) {
            if (folded[i] == U'%') {
                if (units.size() > runStart)
                    runs.emplace_back(runStart, units.size() - runStart);
                runStart = units.size();
                if (i == 0)
                    leadingPercent = true;
                if (i + 1 == folded.size())
                    trailingPercent = true;
                anyPercent = true;
            } else {
                const char32_t u = folded[i] == U'_' ? kAnyOne : folded[i];
                const bool exact = u != kAnyOne && u >= 0x80 && (baseOf(u) != u || isMark(u));
                units.push_back(u);
                accented.push_back(exact ? 1 : 0);
                anyAccented = anyAccented || exact;
            }
        }
        if (units.size() > runStart)
            runs.emplace_back(runStart, units.size() - runStart);
    }
};

// Matches a text, given as units of type T that `fold` turns into folded characters,
// against a pattern; with Mixed, the pattern's accented units are compared with the text's
// characters and the others with the letters they are written on.
template<typename T, typename Fold, bool Mixed = false> class Matcher {
public:
    Matcher(const Pattern &pattern, const T *text, size_t size, Fold fold)
        : m_p(pattern), m_text(text), m_size(size), m_fold(fold)
    {
    }

    bool run() const
    {
        const auto &runs = m_p.runs;
        if (!m_p.anyPercent)
            return m_p.units.size() == m_size && (runs.empty() || at(0, runs.front()));
        size_t pos = 0;
        size_t end = m_size;
        size_t first = 0;
        size_t last = runs.size();
        if (!m_p.leadingPercent && !runs.empty()) {
            if (runs.front().second > m_size || !at(0, runs.front()))
                return false;
            pos = runs.front().second;
            first = 1;
        }
        if (!m_p.trailingPercent && last > first) {
            const auto &tail = runs.back();
            if (tail.second > m_size - pos || !at(m_size - tail.second, tail))
                return false;
            end = m_size - tail.second;
            --last;
        }
        for (size_t r = first; r < last; ++r) {
            const size_t length = runs[r].second;
            bool found = false;
            for (; pos + length <= end; ++pos) {
                if (at(pos, runs[r])) {
                    found = true;
                    break;
                }
            }
            if (!found)
                return false;
            pos += length;
        }
        return true;
    }

private:
    bool at(size_t pos, const std::pair<size_t, size_t> &run) const
    {
        const char32_t *u = m_p.units.data() + run.first;
        if constexpr (Mixed) {
            const char *exact = m_p.accented.data() + run.first;
            for (size_t i = 0; i < run.second; ++i) {
                if (u[i] == kAnyOne)
                    continue;
                const char32_t t = m_fold(m_text[pos + i]);
                if (u[i] != (exact[i] ? t : baseOf(t)))
                    return false;
            }
            return true;
        }
        for (size_t i = 0; i < run.second; ++i)
            if (u[i] != kAnyOne && u[i] != m_fold(m_text[pos + i]))
                return false;
        return true;
    }

    const Pattern &m_p;
    const T *m_text;
    size_t m_size;
    Fold m_fold;
};

bool matchCompiled(const Pattern &pattern, QByteArrayView text)
{
    // The fast road: ASCII on both sides compares bytes through a table.
    if (pattern.ascii && isAscii(text)) {
        const auto &table = asciiFold();
        auto fold = [&table](unsigned char c) { return char32_t(table[c]); };
        return Matcher(pattern, reinterpret_cast<const unsigned char *>(text.data()),
            size_t(text.size()), fold)
            .run();
    }
    thread_local std::u32string folded;
    folded.clear();
    bool marks = false;
    bool raw = false;
    decodeFolded(text, folded, &marks, &raw);
    auto same = [](char32_t c) { return c; };
    if (!pattern.anyAccented) {
        // Every typed letter stands for itself with any accent: the text is compared by its
        // letters, its combining marks left out.
        size_t kept = 0;
        for (char32_t c : folded)
            if (!marks || !isMark(c))
                folded[kept++] = baseOf(c);
        folded.resize(kept);
        return Matcher(pattern, folded.data(), folded.size(), same).run();
    }
    if (marks && !raw) {
        // Accents written as combining marks are compared as the letters they compose.
        folded.clear();
        decodeFolded(
            QString::fromUtf8(text).normalized(QString::NormalizationForm_C).toUtf8(), folded);
    }
    return Matcher<char32_t, decltype(same), true>(pattern, folded.data(), folded.size(), same)
        .run();
}

void deletePattern(void *pattern)
{
    delete static_cast<Pattern *>(pattern);
}

// like(PATTERN, TEXT), as the engine calls it for "TEXT LIKE PATTERN". The compiled
// pattern is kept with the statement while the pattern argument stays the same.
void likeFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *patternText = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int patternBytes = sqlite3_value_bytes(argv[0]);
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int textBytes = sqlite3_value_bytes(argv[1]);
    if (!patternText || !text)
        return; // null
    // No limit on the pattern's length, unlike the engine's LIKE: placing each run at its
    // leftmost fit never backtracks, so a long typed text costs its length, not more.
    auto *pattern = static_cast<Pattern *>(sqlite3_get_auxdata(context, 0));
    const bool cached = pattern != nullptr;
    if (!cached)
        pattern = new Pattern(QByteArrayView(patternText, patternBytes));
    sqlite3_result_int(context, matchCompiled(*pattern, QByteArrayView(text, textBytes)) ? 1 : 0);
    // The engine may free it at once, so it is handed over only once no longer used here.
    if (!cached)
        sqlite3_set_auxdata(context, 0, pattern, deletePattern);
}

} // namespace

void UnicodeLike::install(sqlite3 *db)
{
    sqlite3_create_function_v2(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        nullptr, likeFunction, nullptr, nullptr, nullptr);
}

bool UnicodeLike::matches(QByteArrayView pattern, QByteArrayView text)
{
    return matchCompiled(Pattern(pattern), text);
}
