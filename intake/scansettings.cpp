#include "intake/scansettings.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dialect.h"
#include "store/statement.h"

namespace {

int settingValue(Connection &connection, const QString &name)
{
    const QString sql = connection.dialect().connectionSetting(name);
    if (sql.isEmpty())
        return 0;
    try {
        Statement read(connection, sql);
        Statement::Reset done(read);
        return read.step() ? int(read.integer(0)) : 0;
    } catch (const DbError &) {
        return 0;
    }
}

} // namespace

ScanSettings::ScanSettings(Connection &connection, int cacheKiB)
    : m_connection(connection),
      m_cacheSize(settingValue(connection, QStringLiteral("cache_size"))),
      m_tempStore(settingValue(connection, QStringLiteral("temp_store")))
{
    set(QStringLiteral("cache_size"), QString::number(-cacheKiB));
    set(QStringLiteral("temp_store"), QStringLiteral("MEMORY"));
}

ScanSettings::~ScanSettings()
{
    set(QStringLiteral("temp_store"), QString::number(m_tempStore));
    set(QStringLiteral("cache_size"), QString::number(m_cacheSize));
}

void ScanSettings::set(const QString &name, const QString &value)
{
    const QString sql = m_connection.dialect().connectionSetting(name);
    if (sql.isEmpty())
        return;
    try {
        m_connection.exec(sql + QStringLiteral(" = ") + value);
    } catch (const DbError &) {
        // A setting that does not take only costs speed.
    }
}
