#include "browser/treerows.h"

#include "core/namecollation.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <numeric>

TreeRows::TreeRows(int levels) : m_levels(std::clamp(levels, 1, kMaxLevels))
{
    m_rows.reserve(1 << 16);
    m_names.reserve(1 << 16);
}

void TreeRows::reset(int levels)
{
    m_levels = std::clamp(levels, 1, kMaxLevels);
    m_rows.clear();
    m_outers.clear();
    m_names.clear();
    m_text.reset();
    m_pendingOpen = false;
}

void TreeRows::commitOuter()
{
    if (!m_pendingOpen)
        return;
    m_pendingOpen = false;
    if (!m_outers.isEmpty()) {
        const Outer &last = m_outers.constLast();
        bool same = true;
        for (int l = 0; l + 1 < m_levels; ++l)
            same = same && last.cells[l].key == m_pending.cells[l].key
                && last.cells[l].name == m_pending.cells[l].name;
        if (same) {
            m_rows.last().outer = qint32(m_outers.size() - 1);
            return;
        }
    }
    m_outers.append(m_pending);
    m_rows.last().outer = qint32(m_outers.size() - 1);
}

void TreeRows::addRow()
{
    commitOuter();
    m_rows.append(Row { 0, kNullKey, 0 });
    if (m_levels > 1) {
        m_pending = Outer {};
        m_pendingOpen = true;
    }
}

qint64 &TreeRows::pendingKey(int level)
{
    return level == m_levels - 1 ? m_rows.last().leafKey : m_pending.cells[level].key;
}

qint32 &TreeRows::pendingName(int level)
{
    return level == m_levels - 1 ? m_rows.last().leafName : m_pending.cells[level].name;
}

bool TreeRows::setKey(int level, qint64 key)
{
    pendingKey(level) = key;
    if (level < m_levels - 1 && !m_outers.isEmpty()) {
        const Cell &previous = m_outers.constLast().cells[level];
        if (previous.name != kNullKey && previous.key == key) {
            pendingName(level) = previous.name;
            return false;
        }
    }
    pendingName(level) = kNullName;
    return true;
}

void TreeRows::setName(int level, const char *utf8, int bytes)
{
    // UTF-16 never needs more units than UTF-8 has bytes: decode straight into the text.
    QChar *out = m_text.reserve(bytes);
    qsizetype length = 0;
    int i = 0;
    while (i < bytes && static_cast<unsigned char>(utf8[i]) < 0x80) {
        out[i] = QLatin1Char(utf8[i]);
        ++i;
    }
    if (i == bytes) {
        length = bytes;
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        length = i
            + (decoder.appendToBuffer(out + i, QByteArrayView(utf8 + i, bytes - i)) - (out + i));
    }
    pendingName(level) = qint32(m_names.size());
    m_names.append(m_text.commit(length));
}

TextArena::Span TreeRows::nameSpan(int row, int level) const
{
    const qint32 id = cell(row, level).name;
    return id < 0 ? TextArena::Span {} : m_names[id];
}

QStringView TreeRows::nameText(qint32 id) const
{
    return id < 0 ? QStringView() : m_text.view(m_names[id]);
}

int TreeRows::compareNames(qint32 a, qint32 b) const
{
    if (a == b)
        return 0;
    if (a < 0 || b < 0)
        return a < 0 ? (b < 0 ? 0 : -1) : 1;
    return NameCollation::compare(nameText(a), nameText(b));
}

bool TreeRows::sameNames(const Outer &a, const Outer &b) const
{
    for (int l = 0; l + 1 < m_levels; ++l) {
        const qint32 x = a.cells[l].name;
        const qint32 y = b.cells[l].name;
        if (x != y && ((x < 0) != (y < 0) || nameText(x) != nameText(y)))
            return false;
    }
    return true;
}

int TreeRows::compareNames(const Outer &a, const Outer &b) const
{
    for (int l = 0; l + 1 < m_levels; ++l)
        if (const int c = compareNames(a.cells[l].name, b.cells[l].name))
            return c;
    return 0;
}

// The rows of one set of outer names by their last name, stable. They come mostly in
// order already (SQLite sorted them by NOCASE), so runs are found first and merged.
void TreeRows::sortLeaves(QVector<int> &rows) const
{
    // Leaves of one name follow their keys: engines hand ties over in orders of their own.
    auto less = [&](int a, int b) {
        const int c = compareNames(m_rows[a].leafName, m_rows[b].leafName);
        return c < 0 || (c == 0 && m_rows[a].leafKey < m_rows[b].leafKey);
    };
    QVector<qsizetype> runs { 0 };
    for (qsizetype i = 1; i < rows.size(); ++i)
        if (less(rows[i], rows[i - 1]))
            runs.append(i);
    if (runs.size() == 1)
        return;
    runs.append(rows.size());
    while (runs.size() > 2) {
        QVector<qsizetype> merged;
        for (qsizetype r = 0; r + 2 < runs.size(); r += 2) {
            std::inplace_merge(rows.begin() + runs[r], rows.begin() + runs[r + 1],
                rows.begin() + runs[r + 2], less);
            merged.append(runs[r]);
        }
        if (runs.size() % 2 == 0)
            merged.append(runs[runs.size() - 2]);
        merged.append(rows.size());
        runs = merged;
    }
}

QVector<int> TreeRows::order(int *groups) const
{
    const_cast<TreeRows *>(this)->commitOuter();
    const int n = count();
    QVector<int> out;
    out.reserve(n);
    if (m_levels == 1) {
        out.resize(n);
        std::iota(out.begin(), out.end(), 0);
        sortLeaves(out);
        return out;
    }
    // Runs of rows with the same outer names, in the order read.
    QVector<int> segmentStart;
    for (int r = 0; r < n; ++r)
        if (r == 0
            || (m_rows[r].outer != m_rows[r - 1].outer
                && !sameNames(m_outers[m_rows[r].outer], m_outers[m_rows[r - 1].outer])))
            segmentStart.append(r);
    segmentStart.append(n);
    const auto outerOf = [&](int segment) -> const Outer & {
        return m_outers[m_rows[segmentStart[segment]].outer];
    };
    QVector<int> segments(segmentStart.size() - 1);
    std::iota(segments.begin(), segments.end(), 0);
    std::stable_sort(segments.begin(), segments.end(),
        [&](int a, int b) { return compareNames(outerOf(a), outerOf(b)) < 0; });

    QVector<int> group;
    for (qsizetype s = 0; s < segments.size();) {
        // Runs of the same names that other names had kept apart go together.
        group.clear();
        qsizetype e = s;
        do {
            const int seg = segments[e];
            for (int r = segmentStart[seg]; r < segmentStart[seg + 1]; ++r)
                group.append(r);
            ++e;
        } while (e < segments.size() && sameNames(outerOf(segments[s]), outerOf(segments[e])));
        if (e - s > 1)
            std::stable_sort(group.begin(), group.end());
        sortLeaves(group);
        out.append(group);
        s = e;
        if (groups)
            ++*groups;
    }
    return out;
}
