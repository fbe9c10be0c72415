#pragma once

#include "store/columntype.h"
#include "store/keysetquery.h"
#include "store/namedstatements.h"
#include "store/tablecolumns.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>

class Connection;

// A live, updatable view of one table: a cursor standing on one current row, not a copy.
// Navigation, RecordCount and Locate are SQL against the file (keyset on the sort columns
// plus the row id), so the cost does not grow with the table. Edits are buffered on the
// current row until post() or cancel().
//
// Every failing operation throws DbError with the engine's text; the record set then stays
// as it was before the call (an edit stays buffered after a failed post()).
// Moving (first/next/prior/last/locate/refresh/requery, or the master moving) while the
// row is being edited posts it when it was modified and cancels it otherwise.
// At the end of the data the current row stays the last one: next() there sets eof().
class RecordSet : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    Q_ENUM(State)
    // What ClearNullsBeforePost and the bound controls need to know of a column.
    using FieldKind = ColumnType::Kind;
    // The Qt type value() gives for a column (null is an invalid QVariant).
    using ValueType = ColumnType::Value;

    using Hook = std::function<void(RecordSet &)>;

    RecordSet(Connection &connection, const QString &tableName, QObject *parent = nullptr);
    ~RecordSet() override;

    Connection &connection() const { return m_connection; }
    QString tableName() const { return m_table; }
    // Only while closed.
    void setTableName(const QString &table);

    // Column names joined by ";" ("Collection;Name"); empty: the catalogue's own order.
    // On an open set the rows are re-read and the current row kept when still shown.
    void setSort(const QString &fields);
    QString sort() const { return m_sortText; }

    // Shows only the rows whose detailField equals masterField of master's current row,
    // following the master as it moves; a new row takes the master's value. Null master:
    // no master. The master must outlive the tie (or clear it).
    void setMaster(RecordSet *master, const QString &masterField, const QString &detailField);
    void clearMaster() { setMaster(nullptr, QString(), QString()); }
    RecordSet *master() const { return m_master; }

    // Restricts the rows by a SQL WHERE fragment with its own named parameters
    // (":COLECAO"), e.g. ("Collection = :COLECAO", {{"COLECAO", 5}}). Applied at once on an
    // open set, keeping the current row when it is still shown. Empty text: no filter.
    void setFilter(const QString &where, const QVariantMap &params = {});
    void clearFilter() { setFilter(QString()); }
    QString filter() const { return m_query.filter(); }

    // Opens and stands on the first row; runs afterOpen (its error closes the set again).
    void open();
    // Cancels a pending edit and closes; harmless when closed.
    void close();
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    // An edit or an insert is buffered on the current row, waiting for post or cancel.
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }

    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    // Rows shown (with the master and filter); the row being inserted does not count.
    int recordCount() const;
    bool isEmpty() const;

    // Moves to the first row (in sort order) whose columns equal the values; fields are
    // joined by ";" ("FileName;Created"). Text compares ignoring letter case when asked.
    // Returns false and stays put when no row matches.
    bool locate(const QString &fields, const QVariantList &values, bool caseInsensitive = false);
    bool locate(const QString &field, const QVariant &value, bool caseInsensitive = false)
    {
        return locate(field, QVariantList { value }, caseInsensitive);
    }
    // The current row's row id (RecId for the tables that have one); 0 when there is none.
    qint64 rowId() const { return m_rowId; }
    // Moves to the row with this row id when it is shown; false otherwise.
    bool gotoRowId(qint64 rowId);

    // Current row's value (the edit buffer while editing); invalid QVariant for null or
    // when there is no current row. Booleans come as bool, dates as QDateTime.
    QVariant value(const QString &field) const;
    // Writes into the edit buffer; only in Edit or Insert state. Emits dataChanged.
    void setValue(const QString &field, const QVariant &value);
    void setNull(const QString &field) { setValue(field, QVariant()); }
    QString asString(const QString &field) const;
    qint64 asInt(const QString &field) const;
    double asFloat(const QString &field) const;
    bool asBool(const QString &field) const;
    QDateTime asDateTime(const QString &field) const;
    bool isNull(const QString &field) const;

    // Columns in the table's order (known once open).
    QStringList fieldNames() const;
    bool hasField(const QString &field) const;
    FieldKind fieldKind(const QString &field) const;
    ValueType valueType(const QString &field) const;

    // Starts a new row (afterInsert runs first; the master's value is set before it).
    void insert();
    // Puts the current row in Edit state; throws on an empty set.
    void edit();
    // Saves the buffer (beforePost first, then the write, then afterPost); the saved row
    // becomes current with the values the catalogue gave it (a new RecId, for example).
    void post();
    // Drops the buffer and returns to the row shown before.
    void cancel();
    // Deletes the current row (cancels an insert); stands on the next row, or the prior.
    // Throws when the row is no longer in the file.
    void deleteRecord();
    // True when setValue changed the buffer since insert()/edit().
    bool modified() const { return m_modified; }

    // Re-reads the current row from the file (moves on when it has gone).
    void refresh();
    // Re-runs the query with the current sort, master and filter, and stands on the first row.
    void requery();

    // Hooks run inside the operations; an exception thrown by a hook cancels the operation
    // and propagates to its caller.
    Hook afterOpen;
    Hook afterInsert;
    Hook beforePost;
    Hook afterPost;

signals:
    // The current row moved or was re-read (also on open, close, post and cancel).
    void currentChanged();
    void stateChanged(RecordSet::State state);
    // A buffered edit changed one field.
    void dataChanged(const QString &field);

private:
    using Prepared = NamedStatements::Prepared;
    using Direction = KeysetQuery::Direction;
    struct Position {
        bool hasRow = false;
        qint64 rowId = 0;
        QList<QVariant> values;
        bool eof = true;
        bool bof = true;
    };

    void checkOpen() const;
    void loadColumns();
    void setSortColumns(const QList<int> &columns);
    int columnIndex(const QString &field) const; // throws for an unknown field
    QString quotedColumn(int column) const;
    bool run(const QString &sql, const QVariantMap &binds);
    bool stepRow(Prepared &s);
    QVariant scalar(const QString &sql, const QVariantMap &binds) const;
    int write(const QString &sql, const QVariantMap &binds);
    bool fetchWhere(const QString &where, QVariantMap binds, Direction dir, bool useBase = true,
        int orderFrom = 0);
    bool fetchFirst(Direction dir);
    bool fetchAdjacent(Direction dir);
    bool fetchForward();
    QVariantList sortKey() const;
    bool fetchByRowId(qint64 rowId, bool useBase);
    void standNear();
    QVariant rawValue(const QString &field) const;
    void checkBrowseMode();
    void setState(State state);
    void moved();
    void reposition();
    void masterMoved();
    void notifyDetails();
    Position position() const;
    void restore(const Position &saved);

    Connection &m_connection;
    QString m_table;
    QString m_sortText;
    QStringList m_sortFields;
    QList<int> m_sortColumns;
    RecordSet *m_master = nullptr;
    QString m_masterField;
    QList<RecordSet *> m_details;
    // The SQL of the moves; it keeps the filter, the master's detail column and the
    // master's key the rows were read for.
    KeysetQuery m_query;

    TableColumns m_columns;
    bool m_counted = false; // RowCounts keeps this table's count
    State m_state = State::Inactive;
    bool m_eof = true;
    bool m_bof = true;
    bool m_hasRow = false;
    qint64 m_rowId = 0;
    QList<QVariant> m_values; // current row as stored (and the edit buffer)
    Position m_saved; // the row shown before edit()/insert()
    QSet<int> m_assigned; // columns written since insert()/edit()
    bool m_modified = false;
    bool m_inHook = false;
    mutable NamedStatements m_statements;
    std::shared_ptr<Prepared> m_forward; // the next-row statement of the current sort and filter
};
