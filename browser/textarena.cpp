#include "browser/textarena.h"

#include <algorithm>

QChar *TextArena::reserve(qsizetype units)
{
    // A text longer than a block gets a block of its own size (up to the offset's range).
    units = std::min<qsizetype>(units, kOffsetMask);
    auto room = [&](qsizetype b) { return m_blocks[b].capacity() - m_blocks[b].size(); };
    if (m_current < m_blocks.size() && room(m_current) < units) {
        ++m_current;
        if (m_current < m_blocks.size() && room(m_current) < units) {
            QString block;
            block.reserve(std::max(kBlockUnits, units));
            m_blocks.insert(m_current, block);
        }
    }
    if (m_current >= m_blocks.size()) {
        QString block;
        block.reserve(std::max(kBlockUnits, units));
        m_blocks.append(block);
        m_current = m_blocks.size() - 1;
    }
    QString &block = m_blocks[m_current];
    return block.data() + block.size();
}

TextArena::Span TextArena::commit(qsizetype units)
{
    // Within the block's capacity, so the block stays where it is and keeps what was
    // written past its end.
    QString &block = m_blocks[m_current];
    const qsizetype start = block.size();
    block.resize(start + units);
    return { quint32((quint32(m_current) << kOffsetBits) | quint32(start)), quint32(units) };
}

TextArena::Span TextArena::append(QStringView text)
{
    const qsizetype units = std::min<qsizetype>(text.size(), kOffsetMask);
    std::copy_n(text.data(), units, reserve(units));
    return commit(units);
}

void TextArena::reset()
{
    for (QString &block : m_blocks)
        block.resize(0);
    m_current = 0;
}

qsizetype TextArena::capacity() const
{
    qsizetype units = 0;
    for (const QString &block : m_blocks)
        units += block.capacity();
    return units;
}
