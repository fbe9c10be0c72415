#include "maintenance/catalogstatistics.h"

#include "core/namecollation.h"
#include "store/query.h"
#include "store/resultmodel.h"

#include <algorithm>

namespace {

QStringList formatCountLines(const QString &column)
{
    return {
        QStringLiteral("SELECT Formats.Name AS Formato, Imagens.Quantidade FROM Formats, "),
        QStringLiteral("(SELECT Pictures.FileType, COUNT(Pictures.RecId) AS Quantidade FROM "
                       "Pictures WHERE Pictures.%1 = :FILTRO GROUP BY Pictures.FileType) AS "
                       "Imagens")
            .arg(column),
        QStringLiteral("WHERE Formats.Extension = Imagens.FileType"),
    };
}

} // namespace

QStringList CatalogStatistics::statementLines(NodeKind page)
{
    switch (page) {
    case NodeKind::Collection:
        return {
            QStringLiteral("SELECT Categories.Name AS Categoria, "),
            QStringLiteral("(SELECT COUNT(Pictures.RecId) FROM Pictures"),
            QStringLiteral(" WHERE Pictures.Category = Categories.RecId) AS Imagens "),
            QStringLiteral("FROM Categories "),
            QStringLiteral("WHERE Categories.Collection = :FILTRO "),
            QStringLiteral("ORDER BY 1"),
        };
    case NodeKind::Category: return formatCountLines(QStringLiteral("Category"));
    case NodeKind::Storage: return formatCountLines(QStringLiteral("Location"));
    default: return {};
    }
}

QString CatalogStatistics::tableOf(NodeKind page)
{
    switch (page) {
    case NodeKind::Collection: return QStringLiteral("Collections");
    case NodeKind::Category: return QStringLiteral("Categories");
    case NodeKind::Storage: return QStringLiteral("Storages");
    default: return QString();
    }
}

ResultModel *CatalogStatistics::run(Query &query, NodeKind page, qint64 key, QObject *parent)
{
    query.close();
    query.setSql(statementLines(page));
    query.setParam(QStringLiteral("FILTRO"), key);
    query.open();
    const QStringList columns = query.fieldNames();
    QList<QList<QVariant>> rows;
    try {
        for (; !query.eof(); query.next()) {
            QList<QVariant> row;
            for (const QString &column : columns)
                row << query.value(column);
            rows << row;
        }
    } catch (...) {
        query.close();
        throw;
    }
    query.close();
    // The engine orders names by ASCII letters only; the person reads them in Portuguese.
    if (page == NodeKind::Collection) {
        std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
            return NameCollation::lessThan(a.at(0).toString(), b.at(0).toString());
        });
    }
    return new ResultModel(columns, std::move(rows), parent);
}
