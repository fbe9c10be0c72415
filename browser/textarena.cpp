#include "browser/textarena.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

qsizetype TextArena::room(qsizetype block) const
{
    // A text can only begin where its start can be told: no further text goes into a block
    // once a long one has filled it past the offset's range.
    const QString &b = m_blocks[block];
    return b.size() > qsizetype(kOffsetMask) ? 0 : b.capacity() - b.size();
}

QChar *TextArena::reserve(qsizetype units)
{
    if (units < 0 || units > qsizetype(UINT32_MAX))
        throw std::length_error("nome longo demais");
    if (m_current < m_blocks.size() && room(m_current) < units) {
        ++m_current;
        if (m_current < m_blocks.size() && room(m_current) < units) {
            // A text longer than a block gets a block of its own size, and starts it.
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
    if (m_current > kMaxBlock)
        throw std::length_error("nomes demais para a memória da árvore");
    QString &block = m_blocks[m_current];
    return block.data() + block.size();
}

TextArena::Span TextArena::commit(qsizetype units)
{
    // Within what reserve() gave, so the block stays where it is and keeps what was
    // written past its end.
    QString &block = m_blocks[m_current];
    const qsizetype start = block.size();
    Q_ASSERT(units <= block.capacity() - start);
    block.resize(start + units);
    return { quint32((quint32(m_current) << kOffsetBits) | quint32(start)), quint32(units) };
}

TextArena::Span TextArena::append(QStringView text)
{
    std::copy_n(text.data(), text.size(), reserve(text.size()));
    return commit(text.size());
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
