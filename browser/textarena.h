#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// Many short texts (the names of a tree) one after the other in large blocks that never
// move: growing never copies what was written, and each text is a (start, length) pair.
// start holds the block in its upper bits and the place in the block in the lower ones; a
// text of any length fits (a long one gets a block of its own).
class TextArena {
public:
    struct Span {
        quint32 start = 0;
        quint32 length = 0;
    };

    // Room for `units` UTF-16 units at the end of the current block (a text never straddles
    // two blocks); write at most that into it, then commit() what was written. Throws
    // std::length_error past what a span can address (over 2 GiB of texts).
    QChar *reserve(qsizetype units);
    Span commit(qsizetype units);
    Span append(QStringView text);
    QStringView view(Span span) const
    {
        if (span.length == 0)
            return {};
        return QStringView(m_blocks[span.start >> kOffsetBits])
            .mid(span.start & kOffsetMask, span.length);
    }
    void clear()
    {
        m_blocks.clear();
        m_current = 0;
    }
    // Empty again, keeping the blocks' memory for the next texts.
    void reset();
    // UTF-16 units held, room included.
    qsizetype capacity() const;

private:
    static constexpr int kOffsetBits = 22; // texts start within 4 Mi units, 1024 blocks
    static constexpr quint32 kOffsetMask = (1u << kOffsetBits) - 1;
    static constexpr qsizetype kMaxBlock = (qsizetype(1) << (32 - kOffsetBits)) - 1;
    static constexpr qsizetype kBlockUnits = qsizetype(1) << 20;

    // Units a text may take at the end of a block.
    qsizetype room(qsizetype block) const;

    QList<QString> m_blocks; // each: its size is what is in use, its capacity the block
    qsizetype m_current = 0; // the block being filled; those after it are empty
};
