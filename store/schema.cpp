#include "schema.h"

#include "dberror.h"

// Interim bodies while the schema is written.
QStringList Schema::tableNames()
{
    return {QStringLiteral("Formats"),     QStringLiteral("ColorDepth"),
            QStringLiteral("Resolutions"), QStringLiteral("Collections"),
            QStringLiteral("Categories"),  QStringLiteral("Storages"),
            QStringLiteral("Pictures"),    QStringLiteral("FTPAccounts"),
            QStringLiteral("SMTPAccount"), QStringLiteral("CatalogInfo")};
}
QList<Schema::FormatRow> Schema::referenceFormats() { return {}; }
QList<Schema::ColorDepthRow> Schema::referenceColorDepths() { return {}; }
QList<int> Schema::referenceResolutions() { return {}; }
void Schema::createCatalogue(const QString &, const QString &)
{
    throw DbError(QStringLiteral("catalogue creation is not available in this build yet"));
}
void Schema::createTables(Connection &) {}
void Schema::insertReferenceRows(Connection &, const QString &) {}
