#include "maintenance/catalogsearch.h"

#include "store/statement.h"

QStringList CatalogSearch::statementLines()
{
    return {
        QStringLiteral("SELECT Pictures.RecId, "),
        QStringLiteral("Collections.Name AS Collection, "),
        QStringLiteral("Categories.Name AS Category, "),
        QStringLiteral("Pictures.Name AS Picture "),
        QStringLiteral("FROM Pictures, Categories, Collections "),
        QStringLiteral("WHERE "),
        QStringLiteral("Pictures.Collection = Collections.RecId AND "),
        QStringLiteral("Pictures.Category = Categories.RecId AND ("),
        QStringLiteral("Pictures.Name LIKE :Q1 OR "),
        QStringLiteral("Pictures.FileName LIKE :Q2 OR "),
        QStringLiteral("Pictures.FullPath LIKE :Q3 OR "),
        QStringLiteral("Pictures.FileType LIKE :Q4 OR "),
        QStringLiteral("Pictures.Notes LIKE :Q5 OR "),
        QStringLiteral("Pictures.KeyWords LIKE :Q6"),
        QStringLiteral(")"),
        QStringLiteral("ORDER BY 4, 2, 3, 1"),
    };
}

void CatalogSearch::bindText(Statement &statement, const QString &typed)
{
    const QString value = QLatin1Char('%') + typed + QLatin1Char('%');
    for (int q = 1; q <= 6; ++q)
        statement.bind(QStringLiteral("Q%1").arg(q), value);
}

QString CatalogSearch::noHitMessage(const QString &typed)
{
    return QStringLiteral("Nenhuma imagem encontrada na base de dados contendo a referência ")
        + QLatin1Char('"') + typed + QLatin1Char('"') + QLatin1Char('.');
}

void CatalogSearch::forEachHit(
    Connection &connection, const QString &typed, const std::function<bool(const Hit &)> &hit)
{
    Statement statement(connection, statementLines().join(QLatin1Char('\n')));
    Statement::Reset done(statement);
    bindText(statement, typed);
    Hit row;
    while (statement.step()) {
        row.recId = statement.integer(0);
        row.collection = statement.text(1);
        row.category = statement.text(2);
        row.picture = statement.text(3);
        if (!hit(row))
            return;
    }
}
