#pragma once

#include "browser/textarena.h"

#include <QString>
#include <QStringView>
#include <QVector>

#include <algorithm>
#include <utility>

// The rows of one tree statement, read whole and kept compact so that they can be walked
// in Portuguese name order: each row holds, level by level (collection, category, picture;
// or storage, picture), a key and a name, either of them possibly null. The statement's
// own ORDER BY sorts by SQLite's NOCASE, which folds ASCII only; order() sorts the rows by
// the same keys in the program, rows of equal names keeping the order they were read in.
//
// Reading a row: addRow(), then per level setKey() (or nothing for a null key) and, when
// it asks for it, setName(); the outer levels change rarely and are stored once per change.
class TreeRows {
public:
    static constexpr int kMaxLevels = 3;

    explicit TreeRows(int levels = kMaxLevels);
    // Empty, for rows of `levels` levels, keeping the memory of the rows read before.
    void reset(int levels);

    void addRow();
    // The key of a level of the row being read. A key equal to the previous row's key at
    // that level stands for the same record, whose name is taken over: false then; true
    // when the name is still to be given with setName() (a null name needs nothing).
    bool setKey(int level, qint64 key);
    // The name as the statement gives it, UTF-8 (invalid bytes become replacement marks).
    void setName(int level, const char *utf8, int bytes);

    int count() const { return int(m_rows.size()); }
    bool isNull(int row, int level) const { return cell(row, level).name == kNullKey; }
    qint64 key(int row, int level) const { return cell(row, level).key; }
    bool nameIsNull(int row, int level) const { return cell(row, level).name < 0; }
    QStringView name(int row, int level) const { return nameText(cell(row, level).name); }
    // Where a name lies among the names; empty for a null name.
    TextArena::Span nameSpan(int row, int level) const;
    // Every name read; taking them leaves the rows without names.
    TextArena takeNames() { return std::move(m_text); }

    // Row indexes in name order, level by level; `groups` counts the sets of rows that share
    // their outer names (the outer nodes a walk makes are about groups * outer levels).
    QVector<int> order(int *groups = nullptr) const;

private:
    static constexpr qint32 kNullKey = -2;
    static constexpr qint32 kNullName = -1;

    struct Cell {
        qint64 key = 0;
        qint32 name = kNullKey; // name id, kNullName, or kNullKey for a null key
    };
    struct Outer {
        Cell cells[kMaxLevels - 1];
    };
    struct Row {
        qint64 leafKey;
        qint32 leafName;
        qint32 outer;
    };

    Cell cell(int row, int level) const
    {
        const Row &r = m_rows[row];
        if (level >= m_levels - 1)
            return { r.leafKey, r.leafName };
        return m_outers[r.outer].cells[std::min(level, kMaxLevels - 2)];
    }
    qint64 &pendingKey(int level);
    qint32 &pendingName(int level);
    void commitOuter();
    QStringView nameText(qint32 id) const;
    // Null first, then Portuguese order.
    int compareNames(qint32 a, qint32 b) const;
    bool sameNames(const Outer &a, const Outer &b) const;
    int compareNames(const Outer &a, const Outer &b) const;
    void sortLeaves(QVector<int> &rows) const;

    int m_levels;
    QVector<Row> m_rows;
    QVector<Outer> m_outers;
    Outer m_pending; // outer levels of the row being read
    bool m_pendingOpen = false;
    QVector<TextArena::Span> m_names;
    TextArena m_text;
};
