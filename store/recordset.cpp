#include "store/recordset.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/sqlparams.h"
#include "store/statement.h"

#include <algorithm>

// The cursor's statements are kept prepared while their text stays the same: a move is one
// bind, one step and one reset, without a result object built per call.
struct RecordSet::Prepared {
    QStringList names; // the parameter name of each "?", in order
    Statement statement;
    Prepared(Connection &connection, const SqlParams &params)
        : names(params.occurrences()),
          statement(connection, params.numberedSql(), Statement::Lifetime::Persistent)
    {
    }
};

namespace {

QString quoted(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

RecordSet::ValueType typeOfDeclaration(const QString &declared, RecordSet::FieldKind *kind)
{
    const QString t = declared.toUpper();
    *kind = RecordSet::FieldKind::Other;
    if (t.contains(QLatin1String("BOOL")))
        return RecordSet::ValueType::Boolean;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return RecordSet::ValueType::DateTime;
    if (t.contains(QLatin1String("CHAR"))) {
        *kind = RecordSet::FieldKind::ShortText;
        return RecordSet::ValueType::Text;
    }
    if (t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CLOB"))
        || t.contains(QLatin1String("MEMO"))) {
        *kind = RecordSet::FieldKind::LongText;
        return RecordSet::ValueType::Text;
    }
    if (t.contains(QLatin1String("INT")))
        return RecordSet::ValueType::Integer;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA"))
        || t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUM"))
        || t.contains(QLatin1String("DEC")))
        return RecordSet::ValueType::Real;
    if (t.contains(QLatin1String("BLOB")))
        return RecordSet::ValueType::Blob;
    return RecordSet::ValueType::Text; // no declared type: whatever was stored
}

const QString notEditing = QStringLiteral("Dataset not in edit or insert mode");
const QString emptyDataset = QStringLiteral("Cannot perform this operation on an empty dataset");
const QString closedDataset = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString rowGone = QStringLiteral("Row cannot be located for updating. Some values may have "
                                       "been changed since it was last read.");

} // namespace

RecordSet::RecordSet(Connection &connection, const QString &tableName, QObject *parent)
    : QObject(parent), m_connection(connection), m_table(tableName)
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
        throw DbError(QStringLiteral("Cannot change the table of an open dataset"));
    m_table = table;
    m_columns.clear();
    m_columnIndex.clear();
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
        m_sortColumns = columns;
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
        throw DbError(QStringLiteral("A dataset cannot be its own master"));
    if (isOpen())
        checkBrowseMode();
    if (m_master)
        m_master->m_details.removeAll(this);
    m_master = master;
    m_masterField = master ? masterField : QString();
    m_detailField = master ? detailField : QString();
    if (m_master)
        m_master->m_details << this;
    if (isOpen()) {
        if (m_master)
            columnIndex(m_detailField);
        m_masterValue = m_master ? m_master->rawValue(m_masterField) : QVariant();
        reposition();
    }
}

void RecordSet::setFilter(const QString &where, const QVariantMap &params)
{
    m_forward.reset();
    if (isOpen())
        checkBrowseMode();
    m_filter = where.trimmed();
    m_filterParams = params;
    if (isOpen())
        reposition();
}

// ---- opening --------------------------------------------------------------------------

void RecordSet::loadColumns()
{
    QList<Column> columns;
    QHash<QString, int> index;
    {
        const Statement s(m_connection, QStringLiteral("SELECT * FROM ") + quoted(m_table));
        for (int i = 0, count = s.columnCount(); i < count; ++i) {
            Column c;
            c.name = s.columnName(i);
            c.type = typeOfDeclaration(s.columnDeclaredType(i), &c.kind);
            index.insert(c.name.toLower(), columns.size());
            columns << c;
        }
    }
    m_columns = columns;
    m_columnIndex = index;
    m_statements.clear();
    m_forward.reset();

    m_counted = false;
    m_selectPrefix = QStringLiteral("SELECT rowid");
    for (int i = 0; i < m_columns.size(); ++i)
        m_selectPrefix += QStringLiteral(", ") + quotedColumn(i);
    m_selectPrefix += QStringLiteral(" FROM ") + quoted(m_table);
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
    m_sortColumns = sortColumns;
    if (m_master)
        columnIndex(m_detailField);
    m_masterValue = m_master ? m_master->rawValue(m_masterField) : QVariant();
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

void RecordSet::checkOpen() const
{
    if (m_state == State::Inactive)
        throw DbError(closedDataset);
}

// ---- SQL building ---------------------------------------------------------------------

int RecordSet::columnIndex(const QString &field) const
{
    const auto it = m_columnIndex.constFind(field.toLower());
    if (it == m_columnIndex.constEnd())
        throw DbError(QStringLiteral("%1: Field '%2' not found").arg(m_table, field));
    return it.value();
}

QString RecordSet::quotedColumn(int column) const
{
    return quoted(m_columns.at(column).name);
}

QString RecordSet::orderBy(Direction dir, int fromKey) const
{
    const QLatin1String suffix(dir == Direction::Forward ? "" : " DESC");
    QStringList parts;
    for (int k = fromKey; k < m_sortColumns.size(); ++k)
        parts << quotedColumn(m_sortColumns.at(k)) + suffix;
    parts << QStringLiteral("rowid") + suffix;
    return QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

QString RecordSet::baseWhere(QVariantMap &binds) const
{
    QStringList parts;
    if (!m_filter.isEmpty()) {
        parts << QLatin1Char('(') + m_filter + QLatin1Char(')');
        for (auto it = m_filterParams.constBegin(); it != m_filterParams.constEnd(); ++it)
            binds.insert(it.key(), it.value());
    }
    if (m_master) {
        parts << quoted(m_detailField) + QStringLiteral(" = :qm_master");
        binds.insert(QStringLiteral("qm_master"), m_masterValue);
    }
    return parts.join(QStringLiteral(" AND "));
}

RecordSet::Prepared &RecordSet::prepared(const QString &sql) const
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
        return **it;
    auto s = std::make_shared<Prepared>(m_connection, SqlParams(sql));
    m_statements.insert(sql, s);
    return *s;
}

QString RecordSet::selectPrefix() const
{
    return m_selectPrefix;
}

void RecordSet::bindAll(Prepared &s, const QVariantMap &binds) const
{
    for (int k = 0; k < s.names.size(); ++k) {
        const QString &name = s.names.at(k);
        auto it = binds.constFind(name);
        if (it == binds.constEnd()) {
            for (auto j = binds.constBegin(); j != binds.constEnd(); ++j) {
                if (j.key().compare(name, Qt::CaseInsensitive) == 0) {
                    it = j;
                    break;
                }
            }
        }
        if (it == binds.constEnd())
            throw DbError(QStringLiteral("No value given for parameter :%1").arg(name));
        s.statement.bind(k + 1, it.value());
    }
}

// Runs one positioning SELECT (rowid first, then every column); a row found becomes the
// current one, otherwise nothing changes.
bool RecordSet::run(const QString &sql, const QVariantMap &binds)
{
    Prepared &s = prepared(sql);
    Statement::Reset done(s.statement);
    bindAll(s, binds);
    return stepRow(s);
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
    Prepared &s = prepared(sql);
    Statement::Reset done(s.statement);
    bindAll(s, binds);
    return s.statement.step() ? s.statement.value(0) : QVariant();
}

int RecordSet::write(const QString &sql, const QVariantMap &binds)
{
    Prepared &s = prepared(sql);
    Statement::Reset done(s.statement);
    bindAll(s, binds);
    return s.statement.exec();
}

bool RecordSet::fetchWhere(
    const QString &where, QVariantMap binds, Direction dir, bool useBase, int orderFrom)
{
    const QString sql = selectSql(where, binds, dir, useBase, orderFrom);
    return run(sql, binds);
}

QString RecordSet::selectSql(
    const QString &where, QVariantMap &binds, Direction dir, bool useBase, int orderFrom) const
{
    QStringList conditions;
    if (useBase) {
        const QString base = baseWhere(binds);
        if (!base.isEmpty())
            conditions << base;
    }
    if (!where.isEmpty())
        conditions << where;
    QString sql = selectPrefix();
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += orderBy(dir, orderFrom) + QStringLiteral(" LIMIT 1");
    return sql;
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
    return fetchWhere(QStringLiteral("rowid = :qm_id"), { { QStringLiteral("qm_id"), rowId } },
        Direction::Forward, useBase);
}

// The row just after (or before) the current key in sort order. Forward from a key without
// nulls is one row-value range ("(Name, rowid) > (?, ?)"), one index seek. Otherwise the
// nearest candidates are tried in turn, each an equality prefix plus one range on the next
// sort column (nulls sort first), so each try is an index seek too.
bool RecordSet::fetchAdjacent(Direction dir)
{
    if (!m_hasRow)
        return false;
    const bool forward = dir == Direction::Forward;
    const int n = m_sortColumns.size();
    bool anyNull = false;
    for (int k = 0; k < n; ++k)
        anyNull = anyNull || isNullValue(m_values.at(m_sortColumns.at(k)));

    if (forward && !anyNull && m_forward) {
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
                v = m_masterValue;
            else
                v = m_filterParams.value(name);
            s.statement.bind(k + 1, v);
        }
        return stepRow(s);
    }
    if (forward && !anyNull) {
        QVariantMap binds;
        QStringList columns, params;
        for (int k = 0; k < n; ++k) {
            columns << quotedColumn(m_sortColumns.at(k));
            params << QStringLiteral(":qm_k%1").arg(k);
            binds.insert(QStringLiteral("qm_k%1").arg(k), m_values.at(m_sortColumns.at(k)));
        }
        columns << QStringLiteral("rowid");
        params << QStringLiteral(":qm_rowid");
        binds.insert(QStringLiteral("qm_rowid"), m_rowId);
        const QString condition = n == 0 ? QStringLiteral("rowid > :qm_rowid")
                                         : QLatin1Char('(') + columns.join(QStringLiteral(", "))
                + QStringLiteral(") > (") + params.join(QStringLiteral(", ")) + QLatin1Char(')');
        const QString sql = selectSql(condition, binds, dir, true, 0);
        const bool found = run(sql, binds);
        // Kept when every filter parameter is named exactly as the text names it.
        bool exact = true;
        for (const QString &name : m_statements.value(sql)->names)
            exact
                = exact && (name.startsWith(QLatin1String("qm_")) || m_filterParams.contains(name));
        if (exact)
            m_forward = m_statements.value(sql);
        return found;
    }

    for (int level = n; level >= 0; --level) {
        QVariantMap binds;
        QStringList prefix;
        for (int k = 0; k < level; ++k) {
            const QVariant &v = m_values.at(m_sortColumns.at(k));
            const QString column = quotedColumn(m_sortColumns.at(k));
            if (isNullValue(v)) {
                prefix << column + QStringLiteral(" IS NULL");
            } else {
                binds.insert(QStringLiteral("qm_k%1").arg(k), v);
                prefix << column + QStringLiteral(" = :qm_k%1").arg(k);
            }
        }
        auto attempt = [&](const QString &range) {
            return fetchWhere((prefix + QStringList { range }).join(QStringLiteral(" AND ")), binds,
                dir, true, level);
        };
        if (level == n) {
            binds.insert(QStringLiteral("qm_rowid"), m_rowId);
            if (attempt(forward ? QStringLiteral("rowid > :qm_rowid")
                                : QStringLiteral("rowid < :qm_rowid")))
                return true;
            continue;
        }
        const QVariant &v = m_values.at(m_sortColumns.at(level));
        const QString column = quotedColumn(m_sortColumns.at(level));
        binds.insert(QStringLiteral("qm_r"), v);
        if (forward) {
            if (attempt(isNullValue(v) ? column + QStringLiteral(" IS NOT NULL")
                                       : column + QStringLiteral(" > :qm_r")))
                return true;
        } else if (!isNullValue(v)) {
            if (attempt(column + QStringLiteral(" < :qm_r")))
                return true;
            if (attempt(column + QStringLiteral(" IS NULL")))
                return true;
        }
    }
    return false;
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
    const QString base = baseWhere(binds);
    if (base.isEmpty() && m_counted) {
        binds.insert(QStringLiteral("qm_table"), m_table);
        return scalar(
            QStringLiteral("SELECT Rows FROM RowCounts WHERE TableName = :qm_table"), binds)
            .toInt();
    }
    QString sql = QStringLiteral("SELECT count(*) FROM ") + quoted(m_table);
    if (!base.isEmpty())
        sql += QStringLiteral(" WHERE ") + base;
    return scalar(sql, binds).toInt();
}

bool RecordSet::isEmpty() const
{
    checkOpen();
    QVariantMap binds;
    const QString base = baseWhere(binds);
    QString sql = QStringLiteral("SELECT 1 FROM ") + quoted(m_table);
    if (!base.isEmpty())
        sql += QStringLiteral(" WHERE ") + base;
    return !scalar(sql + QStringLiteral(" LIMIT 1"), binds).isValid();
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
    QVariantMap binds;
    QStringList conditions;
    for (int i = 0; i < names.size(); ++i) {
        const int c = columnIndex(names.at(i));
        const QString column = quotedColumn(c);
        const QVariant v = toStorage(c, values.at(i));
        if (isNullValue(v)) {
            conditions << column + QStringLiteral(" IS NULL");
            continue;
        }
        const QString p = QStringLiteral(":qm_l%1").arg(i);
        binds.insert(p.mid(1), v);
        if (v.metaType().id() != QMetaType::QString) {
            conditions << column + QStringLiteral(" = ") + p;
        } else if (caseInsensitive) {
            conditions << column + QStringLiteral(" = ") + p + QStringLiteral(" COLLATE NOCASE");
        } else {
            // The first test can use a NOCASE index; the second makes it exact.
            conditions << column + QStringLiteral(" = ") + p + QStringLiteral(" AND ") + column
                    + QStringLiteral(" = ") + p + QStringLiteral(" COLLATE BINARY");
        }
    }
    checkBrowseMode();
    if (!fetchWhere(conditions.join(QStringLiteral(" AND ")), binds, Direction::Forward))
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
    return fromStorage(c, m_values.value(c));
}

QVariant RecordSet::fromStorage(int column, const QVariant &stored) const
{
    if (isNullValue(stored))
        return QVariant();
    switch (m_columns.at(column).type) {
    case ValueType::Boolean:
        if (stored.metaType().id() == QMetaType::QString) {
            const QString t = stored.toString().trimmed();
            if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return true;
            if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return false;
            return t.toDouble() != 0;
        }
        return stored.toDouble() != 0;
    case ValueType::DateTime: {
        const QDateTime d = dbvalues::fromDbDate(stored);
        return d.isValid() ? QVariant(d) : stored;
    }
    case ValueType::Integer:
        if (stored.metaType().id() == QMetaType::QString) {
            bool ok = false;
            const qlonglong n = stored.toString().toLongLong(&ok);
            return ok ? QVariant(n) : stored;
        }
        return stored;
    case ValueType::Text:
        return stored.metaType().id() == QMetaType::QString ? stored : QVariant(stored.toString());
    case ValueType::Real:
    case ValueType::Blob: return stored;
    }
    return stored;
}

QVariant RecordSet::toStorage(int column, const QVariant &value) const
{
    if (isNullValue(value))
        return QVariant();
    const bool isText = value.metaType().id() == QMetaType::QString;
    const QString text = isText ? value.toString().trimmed() : QString();
    switch (m_columns.at(column).type) {
    case ValueType::Boolean:
        if (isText) {
            if (text.isEmpty())
                return QVariant();
            if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return qlonglong(1);
            if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return qlonglong(0);
        }
        return qlonglong(value.toDouble() != 0 || value.toBool() ? 1 : 0);
    case ValueType::DateTime: {
        if (isText && text.isEmpty())
            return QVariant();
        const QDateTime d = dbvalues::fromDbDate(value);
        if (!d.isValid())
            throw DbError(
                QStringLiteral("'%1' is not a valid date and time").arg(value.toString()));
        return dbvalues::toDbDate(d);
    }
    case ValueType::Integer: {
        if (value.metaType().id() == QMetaType::Bool)
            return qlonglong(value.toBool() ? 1 : 0);
        if (value.metaType().id() == QMetaType::Double) {
            const double d = value.toDouble();
            return d == qlonglong(d) ? QVariant(qlonglong(d)) : value;
        }
        if (!isText)
            return value.toLongLong();
        if (text.isEmpty())
            return QVariant();
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (!ok)
            throw DbError(
                QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
        return n;
    }
    case ValueType::Real: {
        if (!isText)
            return value.metaType().id() == QMetaType::Bool ? QVariant(value.toBool() ? 1 : 0)
                                                            : value;
        if (text.isEmpty())
            return QVariant();
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (!ok)
            throw DbError(
                QStringLiteral("'%1' is not a valid floating point value").arg(value.toString()));
        return d;
    }
    case ValueType::Text: {
        if (value.metaType().id() == QMetaType::QDateTime
            || value.metaType().id() == QMetaType::Bool)
            return dbvalues::toDbValue(value).toString();
        const QString s = value.toString();
        return s.isNull() ? QVariant() : QVariant(s);
    }
    case ValueType::Blob: return value;
    }
    return value;
}

void RecordSet::setValue(const QString &field, const QVariant &value)
{
    checkOpen();
    if (m_state != State::Edit && m_state != State::Insert)
        throw DbError(notEditing);
    const int c = columnIndex(field);
    m_values[c] = toStorage(c, value);
    m_assigned.insert(c);
    if (!m_inHook)
        m_modified = true;
    emit dataChanged(m_columns.at(c).name);
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
    QStringList names;
    for (const Column &c : m_columns)
        names << c.name;
    return names;
}

bool RecordSet::hasField(const QString &field) const
{
    return m_columnIndex.contains(field.toLower());
}

RecordSet::FieldKind RecordSet::fieldKind(const QString &field) const
{
    return m_columns.at(columnIndex(field)).kind;
}

RecordSet::ValueType RecordSet::valueType(const QString &field) const
{
    return m_columns.at(columnIndex(field)).type;
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
    if (m_state != State::Edit && m_state != State::Insert)
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
        const int c = columnIndex(m_detailField);
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
    if (m_state == State::Edit || m_state == State::Insert)
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
    if (m_state != State::Edit && m_state != State::Insert)
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
        const QString sql = columns.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table))
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoted(m_table), names.join(QStringLiteral(", ")),
                      params.join(QStringLiteral(", ")));
        write(sql, binds);
        rowId = m_connection.lastInsertRowId();
    } else if (!columns.isEmpty()) {
        QStringList sets;
        for (int c : columns) {
            sets << quotedColumn(c) + QStringLiteral(" = :qm_v%1").arg(c);
            binds.insert(QStringLiteral("qm_v%1").arg(c), m_values.at(c));
        }
        binds.insert(QStringLiteral("qm_rowid"), m_rowId);
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = :qm_rowid")
                                .arg(quoted(m_table), sets.join(QStringLiteral(", ")));
        if (write(sql, binds) == 0)
            throw DbError(rowGone);
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
    if (m_state != State::Edit && m_state != State::Insert)
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
    write(QStringLiteral("DELETE FROM %1 WHERE rowid = :qm_rowid").arg(quoted(m_table)),
        { { QStringLiteral("qm_rowid"), m_rowId } });
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
    m_masterValue = m_master ? m_master->rawValue(m_masterField) : QVariant();
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
    const bool same = (isNullValue(v) && isNullValue(m_masterValue))
        || (!isNullValue(v) && !isNullValue(m_masterValue) && v == m_masterValue);
    if (same)
        return;
    checkBrowseMode();
    m_masterValue = v;
    fetchFirst(Direction::Forward);
    moved();
}

void RecordSet::notifyDetails()
{
    const QList<RecordSet *> details = m_details;
    for (RecordSet *detail : details)
        detail->masterMoved();
}
