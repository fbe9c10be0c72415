#include "core/namecollation.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <array>

namespace {

enum WeightFlag : quint8 { Upper = 1, Ignorable = 2 };

// One UTF-16 code unit's weights: its base letter folded to lower case, its accent, its case.
struct Weight {
    quint16 primary = 0;
    quint8 secondary = 0;
    quint8 flags = 0;
};

// Accents in the order a dictionary ranks them; unlisted marks come after these.
quint8 accentRank(char32_t mark)
{
    static constexpr char16_t ranked[] = { 0x0301, 0x0300, 0x0306, 0x0302, 0x030C, 0x030A, 0x0308,
        0x030B, 0x0303, 0x0307, 0x0327, 0x0328, 0x0304 };
    for (quint8 i = 0; i < std::size(ranked); ++i)
        if (ranked[i] == mark)
            return quint8(i + 1);
    return quint8(std::min<char32_t>(255, 32 + (mark & 0xFF)));
}

Weight computeWeight(char16_t c)
{
    Weight w;
    w.primary = c;
    if (QChar::isSurrogate(c))
        return w;
    if (QChar::category(c) == QChar::Mark_NonSpacing) {
        w.primary = 0;
        w.secondary = accentRank(c);
        w.flags = Ignorable;
        return w;
    }
    // Down the canonical decompositions to the base letter ("ǘ" to "ü" to "u"); the mark
    // nearest the base letter ranks the accent.
    char32_t base = c;
    while (QChar::decompositionTag(base) == QChar::Canonical) {
        const QString parts = QChar::decomposition(base);
        if (parts.isEmpty() || parts.at(0).isSurrogate())
            break;
        if (parts.size() > 1)
            w.secondary = accentRank(parts.at(1).unicode());
        base = parts.at(0).unicode();
    }
    w.primary = quint16(QChar::toCaseFolded(base));
    if (QChar::isUpper(c) || QChar::isTitleCase(c))
        w.flags |= Upper;
    return w;
}

// Latin letters and the combining marks come from a table made once; the rest is computed.
constexpr char16_t kTableSize = 0x0370;

const std::array<Weight, kTableSize> &weightTable()
{
    static const std::array<Weight, kTableSize> table = [] {
        std::array<Weight, kTableSize> t;
        for (char16_t c = 0; c < kTableSize; ++c)
            t[c] = computeWeight(c);
        return t;
    }();
    return table;
}

struct Weigher {
    const Weight *table = weightTable().data();
    Weight operator()(char16_t c) const { return c < kTableSize ? table[c] : computeWeight(c); }
};

} // namespace

int NameCollation::compare(QStringView a, QStringView b)
{
    const char16_t *pa = a.utf16();
    const char16_t *pb = b.utf16();
    const qsizetype na = a.size();
    const qsizetype nb = b.size();
    // Equal code units weigh the same at every level, so a shared start decides nothing.
    qsizetype start = 0;
    const qsizetype common = std::min(na, nb);
    while (start < common && pa[start] == pb[start])
        ++start;
    if (start == na && start == nb)
        return 0;
    const Weigher weigh;

    // Letters without accents and case.
    for (qsizetype x = start, y = start;; ++x, ++y) {
        while (x < na && (weigh(pa[x]).flags & Ignorable))
            ++x;
        while (y < nb && (weigh(pb[y]).flags & Ignorable))
            ++y;
        if (x == na || y == nb) {
            if (x == na && y == nb)
                break;
            return x == na ? -1 : 1;
        }
        const quint16 wa = weigh(pa[x]).primary;
        const quint16 wb = weigh(pb[y]).primary;
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    // Accents, then case, unit by unit.
    for (int level = 0; level < 2; ++level) {
        for (qsizetype x = start; x < na && x < nb; ++x) {
            const Weight wa = weigh(pa[x]);
            const Weight wb = weigh(pb[x]);
            const int da = level == 0 ? wa.secondary : (wa.flags & Upper);
            const int db = level == 0 ? wb.secondary : (wb.flags & Upper);
            if (da != db)
                return da < db ? -1 : 1;
        }
    }
    if (start < common)
        return pa[start] < pb[start] ? -1 : 1;
    return na < nb ? -1 : 1;
}
