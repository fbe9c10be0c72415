#include "intake/scansettings.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/statement.h"

namespace {

int pragmaValue(Connection &connection, const char *sql)
{
    try {
        Statement pragma(connection, QByteArray(sql));
        Statement::Reset done(pragma);
        return pragma.step() ? int(pragma.integer(0)) : 0;
    } catch (const DbError &) {
        return 0;
    }
}

} // namespace

ScanSettings::ScanSettings(Connection &connection, int cacheKiB)
    : m_connection(connection),
      m_cacheSize(pragmaValue(connection, "PRAGMA cache_size")),
      m_tempStore(pragmaValue(connection, "PRAGMA temp_store"))
{
    set(QStringLiteral("PRAGMA cache_size = %1").arg(-cacheKiB));
    set(QStringLiteral("PRAGMA temp_store = MEMORY"));
}

ScanSettings::~ScanSettings()
{
    set(QStringLiteral("PRAGMA temp_store = %1").arg(m_tempStore));
    set(QStringLiteral("PRAGMA cache_size = %1").arg(m_cacheSize));
}

void ScanSettings::set(const QString &sql)
{
    try {
        m_connection.exec(sql);
    } catch (const DbError &) {
        // A setting that does not take only costs speed.
    }
}
