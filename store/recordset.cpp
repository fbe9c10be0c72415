// The record set's state machine: opening, navigation, the edit buffer, posting and the
// master-detail tie. They all change the one current row and state, so they stay in one
// file (about 750 lines); the SQL of the moves (KeysetQuery), the column types (ColumnType,
// TableColumns) and the kept statements (NamedStatements) live beside it.

#include "store/recordset.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/dialect.h"
#include "store/keysetquery.h"
#include "store/statement.h"

#include <algorithm>

namespace {

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

const QString notEditing = QStringLiteral("O registro não está sendo editado nem incluído.");
const QString emptyDataset = QStringLiteral("Não há registro para esta operação.");
const QString closedDataset
    = QStringLiteral("Não é possível realizar esta operação com o banco de dados fechado.");
const QString rowGone = QStringLiteral("O registro não foi encontrado para ser atualizado: ele foi "
                                       "alterado ou excluído depois de lido.");
const QString changedByOther
    = QStringLiteral("Outro usuário alterou este registro depois que ele foi lido. Nada foi "
                     "gravado: os valores mostrados agora são os que ele gravou.");

} // namespace

RecordSet::RecordSet(Connection &connection, const QString &tableName, QObject *parent)
    : QObject(parent), m_connection(connection), m_table(tableName), m_statements(connection)
{
    setObjectName(tableName);
    // The connection finalises every statement when it closes; the set closes first.
    connect(&m_connection, &Connection::aboutToClose, this, [this] {
        close();
        m_statements.clear();
        m_forward.reset();
    });
}

RecordSet::~RecordSet()
{
    for (RecordSet *detail : std::as_const(m_details))
        detail->m_master = nullptr;
    if (m_master)
        m_master->m_details.removeAll(this);
    m_statements.clear();
    m_forward.reset();
}

void RecordSet::setTableName(const QString &table)
{
    if (isOpen())
        throw DbError(QStringLiteral("Não é possível trocar a tabela de um conjunto de registros aberto."));
    m_table = table;
    m_columns = {};
    m_statements.clear();
    m_forward.reset();
}

void RecordSet::setSort(const QString &fields)
{
    m_forward.reset();
    QStringList list;
    for (const QString &f : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!f.trimmed().isEmpty())
            list << f.trimmed();
    }
    if (isOpen()) {
        checkBrowseMode();
        QList<int> columns;
        for (const QString &f : list)
            columns << columnIndex(f);
        setSortColumns(columns);
    }
    m_sortText = fields;
    m_sortFields = list;
    if (isOpen())
        reposition();
}

void RecordSet::setMaster(RecordSet *master, const QString &masterField, const QString &detailField)
{
    m_forward.reset();
    if (master == this)
        throw DbError(QStringLiteral("Um conjunto de registros não pode ser mestre de si mesmo."));
    if (isOpen())
        checkBrowseMode();
    if (m_master)
        m_master->m_details.removeAll(this);
    m_master = master;
    m_masterField = master ? masterField : QString();
    m_query.setMaster(master ? detailField : QString());
    if (m_master)
        m_master->m_details << this;
    if (isOpen()) {
        if (m_master)
            columnIndex(m_query.masterColumn());
        m_query.setMasterValue(m_master ? m_master->rawValue(m_masterField) : QVariant());
        reposition();
    }
}

void RecordSet::setFilter(const QString &where, const QVariantMap &params)
{
    m_forward.reset();
    if (isOpen())
        checkBrowseMode();
    m_query.setFilter(where, params);
    if (isOpen())
        reposition();
}

// ---- opening --------------------------------------------------------------------------

void RecordSet::loadColumns()
{
    m_columns = TableColumns::read(m_connection, m_table);
    m_statements.clear();
    m_forward.reset();

    m_counted = false;
    m_query.setDialect(&m_connection.dialect());
    m_query.setTable(m_table, m_columns.names());
    if (m_connection.hasTable(QStringLiteral("RowCounts"))) {
        m_counted = scalar(QStringLiteral("SELECT 1 FROM RowCounts WHERE TableName = :T"),
            { { QStringLiteral("T"), m_table } })
                        .isValid();
    }
}

void RecordSet::open()
{
    if (isOpen())
        return;
    loadColumns();
    QList<int> sortColumns;
    for (const QString &f : std::as_const(m_sortFields))
        sortColumns << columnIndex(f);
    setSortColumns(sortColumns);
    if (m_master)
        columnIndex(m_query.masterColumn());
    m_query.setMasterValue(m_master ? m_master->rawValue(m_masterField) : QVariant());
    m_state = State::Browse;
    try {
        fetchFirst(Direction::Forward);
    } catch (...) {
        m_state = State::Inactive;
        throw;
    }
    emit stateChanged(m_state);
    moved();
    if (afterOpen) {
        try {
            afterOpen(*this);
        } catch (...) {
            close();
            throw;
        }
    }
}

void RecordSet::close()
{
    if (m_state == State::Inactive)
        return;
    m_state = State::Inactive;
    m_hasRow = false;
    m_rowId = 0;
    m_values.clear();
    m_assigned.clear();
    m_modified = false;
    m_eof = m_bof = true;
    emit stateChanged(m_state);
    emit currentChanged();
    notifyDetails();
}

void RecordSet::setSortColumns(const QList<int> &columns)
{
    m_sortColumns = columns;
    QStringList names;
    for (int c : columns)
        names << m_columns.name(c);
    m_query.setSortColumns(names);
}

void RecordSet::checkOpen() const
{
    if (m_state == State::Inactive)
        throw DbError(closedDataset);
}

// ---- SQL building ---------------------------------------------------------------------

int RecordSet::columnIndex(const QString &field) const
{
    const int column = m_columns.find(field);
    if (column < 0)
        throw DbError(QStringLiteral("%1: Field '%2' not found").arg(m_table, field));
    return column;
}

QString RecordSet::quotedColumn(int column) const
{
    return m_query.quoted(m_columns.name(column));
}

// Runs one positioning SELECT (rowid first, then every column); a row found becomes the
// current one, otherwise nothing changes.
bool RecordSet::run(const QString &sql, const QVariantMap &binds)
{
    const std::shared_ptr<Prepared> s = m_statements.get(sql);
    Statement::Reset done(s->statement);
    NamedStatements::bindAll(*s, binds);
    return stepRow(*s);
}

bool RecordSet::stepRow(Prepared &s)
{
    if (!s.statement.step())
        return false;
    QList<QVariant> values;
    values.reserve(m_columns.size());
    for (int i = 0; i < m_columns.size(); ++i)
        values << s.statement.value(i + 1);
    m_rowId = s.statement.integer(0);
    m_values = std::move(values);
    m_hasRow = true;
    return true;
}

QVariant RecordSet::scalar(const QString &sql, const QVariantMap &binds) const
{
    return m_statements.scalar(sql, binds);
}

int RecordSet::write(const QString &sql, const QVariantMap &binds)
{
    return m_statements.write(sql, binds);
}

bool RecordSet::fetchWhere(
    const QString &where, QVariantMap binds, Direction dir, bool useBase, int orderFrom)
{
    const QString sql = m_query.selectSql(where, binds, dir, useBase, orderFrom);
    return run(sql, binds);
}

bool RecordSet::fetchFirst(Direction dir)
{
    if (fetchWhere(QString(), {}, dir)) {
        m_bof = dir == Direction::Forward;
        m_eof = dir == Direction::Backward;
        return true;
    }
    m_hasRow = false;
    m_rowId = 0;
    m_values = QList<QVariant>(m_columns.size());
    m_eof = m_bof = true;
    return false;
}

bool RecordSet::fetchByRowId(qint64 rowId, bool useBase)
{
    return fetchWhere(m_query.rowId() + QStringLiteral(" = :qm_id"),
        { { QStringLiteral("qm_id"), rowId } },
        Direction::Forward, useBase);
}

QVariantList RecordSet::sortKey() const
{
    QVariantList keys;
    keys.reserve(m_sortColumns.size());
    for (int column : m_sortColumns)
        keys << m_values.at(column);
    return keys;
}

// The row just after (or before) the current key in sort order (see KeysetQuery).
bool RecordSet::fetchAdjacent(Direction dir)
{
    if (!m_hasRow)
        return false;
    const QVariantList keys = sortKey();
    const bool anyNull = std::any_of(keys.begin(), keys.end(), isNullValue);
    if (dir == Direction::Forward && !anyNull)
        return fetchForward();
    for (int level = int(keys.size()); level >= 0; --level) {
        for (const KeysetQuery::Try &attempt : m_query.adjacentTries(dir, keys, m_rowId, level)) {
            if (run(attempt.sql, attempt.binds))
                return true;
        }
    }
    return false;
}

bool RecordSet::fetchForward()
{
    if (m_forward) {
        // The hot path of a walk: the statement is kept, values bound by position.
        Prepared &s = *m_forward;
        Statement::Reset done(s.statement);
        for (int k = 0; k < s.names.size(); ++k) {
            const QString &name = s.names.at(k);
            QVariant v;
            if (name == QLatin1String("qm_rowid"))
                v = m_rowId;
            else if (name.startsWith(QLatin1String("qm_k")))
                v = m_values.at(m_sortColumns.at(name.mid(4).toInt()));
            else if (name == QLatin1String("qm_master"))
                v = m_query.masterValue();
            else
                v = m_query.filterParams().value(name);
            s.statement.bind(k + 1, v);
        }
        return stepRow(s);
    }
    const KeysetQuery::Try seek = m_query.forwardSeek(sortKey(), m_rowId);
    const bool found = run(seek.sql, seek.binds);
    // Kept when every filter parameter is named exactly as the text names it.
    bool exact = true;
    for (const QString &name : m_statements.get(seek.sql)->names)
        exact = exact
            && (name.startsWith(QLatin1String("qm_")) || m_query.filterParams().contains(name));
    if (exact)
        m_forward = m_statements.get(seek.sql);
    return found;
}

void RecordSet::standNear()
{
    if (fetchAdjacent(Direction::Forward) || fetchAdjacent(Direction::Backward)) {
        m_eof = m_bof = false;
        return;
    }
    m_hasRow = false;
    m_rowId = 0;
    m_values = QList<QVariant>(m_columns.size());
    m_eof = m_bof = true;
}

// ---- navigation -----------------------------------------------------------------------

void RecordSet::moved()
{
    emit currentChanged();
    notifyDetails();
}

void RecordSet::first()
{
    checkOpen();
    checkBrowseMode();
    fetchFirst(Direction::Forward);
    moved();
}

void RecordSet::last()
{
    checkOpen();
    checkBrowseMode();
    fetchFirst(Direction::Backward);
    moved();
}

void RecordSet::next()
{
    checkOpen();
    checkBrowseMode();
    if (m_hasRow && fetchAdjacent(Direction::Forward)) {
        m_bof = m_eof = false;
        moved();
    } else {
        m_eof = true;
    }
}

void RecordSet::prior()
{
    checkOpen();
    checkBrowseMode();
    if (m_hasRow && fetchAdjacent(Direction::Backward)) {
        m_bof = m_eof = false;
        moved();
    } else {
        m_bof = true;
    }
}

int RecordSet::recordCount() const
{
    checkOpen();
    QVariantMap binds;
    if (m_counted && m_query.baseWhere(binds).isEmpty()) {
        binds.insert(QStringLiteral("qm_table"), m_table);
        return scalar(m_connection.dialect().countedRowsSql(), binds).toInt();
    }
    return scalar(m_query.countSql(binds), binds).toInt();
}

bool RecordSet::isEmpty() const
{
    checkOpen();
    QVariantMap binds;
    return !scalar(m_query.anyRowSql(binds), binds).isValid();
}

bool RecordSet::locate(const QString &fields, const QVariantList &values, bool caseInsensitive)
{
    checkOpen();
    QStringList names;
    for (const QString &f : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!f.trimmed().isEmpty())
            names << f.trimmed();
    }
    if (names.isEmpty() || names.size() != values.size())
        throw DbError(QStringLiteral("%1: locate needs one value for each of the fields '%2'")
                          .arg(m_table, fields));
    QStringList columns;
    QVariantList stored;
    for (int i = 0; i < names.size(); ++i) {
        const int c = columnIndex(names.at(i));
        columns << m_columns.name(c);
        stored << m_columns.type(c).toStorage(values.at(i));
    }
    QVariantMap binds;
    const QString where = m_query.locateCondition(columns, stored, caseInsensitive, binds);
    checkBrowseMode();
    if (!fetchWhere(where, binds, Direction::Forward))
        return false;
    m_eof = m_bof = false;
    moved();
    return true;
}

bool RecordSet::gotoRowId(qint64 rowId)
{
    checkOpen();
    checkBrowseMode();
    if (!fetchByRowId(rowId, true))
        return false;
    m_eof = m_bof = false;
    moved();
    return true;
}

// ---- fields ---------------------------------------------------------------------------

QVariant RecordSet::rawValue(const QString &field) const
{
    if (m_state == State::Inactive)
        return QVariant();
    const int c = columnIndex(field);
    if (m_state == State::Browse && !m_hasRow)
        return QVariant();
    return m_values.value(c);
}

QVariant RecordSet::value(const QString &field) const
{
    if (m_state == State::Inactive)
        return QVariant();
    const int c = columnIndex(field);
    if (m_state == State::Browse && !m_hasRow)
        return QVariant();
    return m_columns.type(c).fromStorage(m_values.value(c));
}

void RecordSet::setValue(const QString &field, const QVariant &value)
{
    checkOpen();
    if (!isEditing())
        throw DbError(notEditing);
    const int c = columnIndex(field);
    m_values[c] = m_columns.type(c).toStorage(value);
    m_assigned.insert(c);
    if (!m_inHook)
        m_modified = true;
    emit dataChanged(m_columns.name(c));
}

QString RecordSet::asString(const QString &field) const
{
    const QVariant v = value(field);
    switch (v.metaType().id()) {
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime: return dbvalues::toDbDate(v.toDateTime());
    default: return v.toString();
    }
}

qint64 RecordSet::asInt(const QString &field) const
{
    return value(field).toLongLong();
}

double RecordSet::asFloat(const QString &field) const
{
    return value(field).toDouble();
}

bool RecordSet::asBool(const QString &field) const
{
    return value(field).toBool();
}

QDateTime RecordSet::asDateTime(const QString &field) const
{
    return dbvalues::fromDbDate(value(field));
}

bool RecordSet::isNull(const QString &field) const
{
    return isNullValue(value(field));
}

QStringList RecordSet::fieldNames() const
{
    return m_columns.names();
}

bool RecordSet::hasField(const QString &field) const
{
    return m_columns.find(field) >= 0;
}

RecordSet::FieldKind RecordSet::fieldKind(const QString &field) const
{
    return m_columns.type(columnIndex(field)).kind;
}

RecordSet::ValueType RecordSet::valueType(const QString &field) const
{
    return m_columns.type(columnIndex(field)).value;
}

// ---- editing --------------------------------------------------------------------------

RecordSet::Position RecordSet::position() const
{
    return Position { m_hasRow, m_rowId, m_values, m_eof, m_bof };
}

void RecordSet::restore(const Position &saved)
{
    m_hasRow = saved.hasRow;
    m_rowId = saved.rowId;
    m_values = saved.values;
    m_eof = saved.eof;
    m_bof = saved.bof;
}

void RecordSet::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void RecordSet::checkBrowseMode()
{
    if (!isEditing())
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void RecordSet::insert()
{
    checkOpen();
    checkBrowseMode();
    m_saved = position();
    m_values = QList<QVariant>(m_columns.size());
    m_assigned.clear();
    m_modified = false;
    if (m_master) {
        const int c = columnIndex(m_query.masterColumn());
        m_values[c] = m_master->rawValue(m_masterField);
        m_assigned.insert(c);
    }
    m_eof = m_bof = false;
    setState(State::Insert);
    emit currentChanged();
    if (afterInsert) {
        m_inHook = true;
        try {
            afterInsert(*this);
        } catch (...) {
            m_inHook = false;
            restore(m_saved);
            m_assigned.clear();
            setState(State::Browse);
            emit currentChanged();
            throw;
        }
        m_inHook = false;
    }
}

void RecordSet::edit()
{
    checkOpen();
    if (isEditing())
        return;
    if (!m_hasRow)
        throw DbError(emptyDataset);
    m_saved = position();
    m_assigned.clear();
    m_modified = false;
    setState(State::Edit);
}

void RecordSet::post()
{
    checkOpen();
    if (!isEditing())
        return;
    if (beforePost)
        beforePost(*this);

    QList<int> columns(m_assigned.begin(), m_assigned.end());
    std::sort(columns.begin(), columns.end());
    QVariantMap binds;
    qint64 rowId = m_rowId;
    if (m_state == State::Insert) {
        QStringList names, params;
        for (int c : columns) {
            names << quotedColumn(c);
            params << QStringLiteral(":qm_v%1").arg(c);
            binds.insert(QStringLiteral("qm_v%1").arg(c), m_values.at(c));
        }
        const QString sql = (columns.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_query.quoted(m_table))
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(m_query.quoted(m_table), names.join(QStringLiteral(", ")),
                          params.join(QStringLiteral(", "))))
            + m_connection.dialect().returningKey(
                m_connection.dialect().rowIdColumn(m_columns.names()));
        // The engine gives the new key back as a row, or tells it afterwards.
        const QVariant key = scalar(sql, binds);
        rowId = key.isValid() ? key.toLongLong() : m_connection.lastInsertRowId();
    } else if (!columns.isEmpty()) {
        QStringList sets;
        for (int c : columns) {
            sets << quotedColumn(c) + QStringLiteral(" = :qm_v%1").arg(c);
            binds.insert(QStringLiteral("qm_v%1").arg(c), m_values.at(c));
        }
        binds.insert(QStringLiteral("qm_rowid"), m_rowId);
        // Each changed column must still hold what was read: a field another user saved
        // meanwhile is never overwritten unseen (his other fields are left as he saved them).
        QStringList unchanged;
        for (int c : columns) {
            unchanged << QStringLiteral(" AND (%1 = :qm_o%2 OR (%1 IS NULL AND :qm_o%2 IS NULL))")
                             .arg(quotedColumn(c))
                             .arg(c);
            binds.insert(QStringLiteral("qm_o%1").arg(c), m_saved.values.value(c));
        }
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = :qm_rowid%4")
                                .arg(m_query.quoted(m_table), sets.join(QStringLiteral(", ")),
                                    m_query.rowId(), unchanged.join(QString()));
        if (write(sql, binds) == 0) {
            if (!fetchByRowId(m_rowId, false))
                throw DbError(rowGone);
            // Still there, saved by someone else: his values are shown, the edit ends.
            m_eof = m_bof = false;
            m_assigned.clear();
            m_modified = false;
            m_state = State::Browse;
            emit stateChanged(m_state);
            moved();
            throw DbError(changedByOther);
        }
    }

    m_assigned.clear();
    m_modified = false;
    m_state = State::Browse;
    // The saved row stays current even when the filter would not show it.
    if (!fetchByRowId(rowId, false))
        standNear();
    else
        m_eof = m_bof = false;
    emit stateChanged(m_state);
    moved();
    if (afterPost)
        afterPost(*this);
}

void RecordSet::cancel()
{
    if (!isEditing())
        return;
    restore(m_saved);
    m_assigned.clear();
    m_modified = false;
    setState(State::Browse);
    moved();
}

void RecordSet::deleteRecord()
{
    checkOpen();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::Edit)
        cancel();
    if (!m_hasRow)
        throw DbError(emptyDataset);
    // A row deleted meanwhile (by a cascade or another program) is not deleted again as if
    // it had been there: the caller must not go on as though it went now.
    if (write(QStringLiteral("DELETE FROM %1 WHERE %2 = :qm_rowid")
                  .arg(m_query.quoted(m_table), m_query.rowId()),
            { { QStringLiteral("qm_rowid"), m_rowId } })
        == 0)
        throw DbError(rowGone);
    standNear();
    moved();
}

void RecordSet::refresh()
{
    checkOpen();
    checkBrowseMode();
    if (!m_hasRow)
        fetchFirst(Direction::Forward);
    else if (fetchByRowId(m_rowId, true))
        m_eof = m_bof = false;
    else
        standNear();
    moved();
}

void RecordSet::requery()
{
    checkOpen();
    checkBrowseMode();
    m_query.setMasterValue(m_master ? m_master->rawValue(m_masterField) : QVariant());
    fetchFirst(Direction::Forward);
    moved();
}

void RecordSet::reposition()
{
    if (!(m_hasRow && fetchByRowId(m_rowId, true)))
        fetchFirst(Direction::Forward);
    else
        m_eof = m_bof = false;
    moved();
}

void RecordSet::masterMoved()
{
    if (!isOpen())
        return;
    const QVariant v = m_master ? m_master->rawValue(m_masterField) : QVariant();
    const QVariant &was = m_query.masterValue();
    const bool same = (isNullValue(v) && isNullValue(was))
        || (!isNullValue(v) && !isNullValue(was) && v == was);
    if (same)
        return;
    checkBrowseMode();
    m_query.setMasterValue(v);
    fetchFirst(Direction::Forward);
    moved();
}

void RecordSet::notifyDetails()
{
    const QList<RecordSet *> details = m_details;
    for (RecordSet *detail : details)
        detail->masterMoved();
}
