#include "recordset.h"

#include "connection.h"
#include "dberror.h"

#include <QSqlQuery>

// Interim bodies while the cursor is written: every operation refuses clearly.
namespace {
[[noreturn]] void notYet()
{
    throw DbError(QStringLiteral("record sets are not available in this build yet"));
}
} // namespace

RecordSet::RecordSet(Connection &connection, const QString &tableName, QObject *parent)
    : QObject(parent), m_connection(connection), m_table(tableName)
{
    setObjectName(tableName);
}
RecordSet::~RecordSet() = default;
void RecordSet::setTableName(const QString &table) { m_table = table; }
void RecordSet::setSort(const QString &fields) { m_sortText = fields; }
void RecordSet::setMaster(RecordSet *master, const QString &masterField, const QString &detailField)
{
    m_master = master;
    m_masterField = masterField;
    m_detailField = detailField;
}
void RecordSet::setFilter(const QString &where, const QVariantMap &params)
{
    m_filter = where;
    m_filterParams = params;
}
void RecordSet::open() { notYet(); }
void RecordSet::close() {}
void RecordSet::first() { notYet(); }
void RecordSet::next() { notYet(); }
void RecordSet::prior() { notYet(); }
void RecordSet::last() { notYet(); }
int RecordSet::recordCount() const { notYet(); }
bool RecordSet::isEmpty() const { notYet(); }
bool RecordSet::locate(const QString &, const QVariantList &, bool) { notYet(); }
bool RecordSet::gotoRowId(qint64) { notYet(); }
QVariant RecordSet::value(const QString &) const { notYet(); }
void RecordSet::setValue(const QString &, const QVariant &) { notYet(); }
QString RecordSet::asString(const QString &) const { notYet(); }
qint64 RecordSet::asInt(const QString &) const { notYet(); }
double RecordSet::asFloat(const QString &) const { notYet(); }
bool RecordSet::asBool(const QString &) const { notYet(); }
QDateTime RecordSet::asDateTime(const QString &) const { notYet(); }
bool RecordSet::isNull(const QString &) const { notYet(); }
QStringList RecordSet::fieldNames() const { return {}; }
bool RecordSet::hasField(const QString &) const { return false; }
RecordSet::FieldKind RecordSet::fieldKind(const QString &) const { notYet(); }
RecordSet::ValueType RecordSet::valueType(const QString &) const { notYet(); }
void RecordSet::insert() { notYet(); }
void RecordSet::edit() { notYet(); }
void RecordSet::post() { notYet(); }
void RecordSet::cancel() {}
void RecordSet::deleteRecord() { notYet(); }
void RecordSet::refresh() { notYet(); }
void RecordSet::requery() { notYet(); }
