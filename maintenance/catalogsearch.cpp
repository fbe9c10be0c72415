#include "maintenance/catalogsearch.h"

#include "intake/picturefactstable.h"
#include "store/connection.h"
#include "store/statement.h"

#include <QDate>
#include <QRegularExpression>

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

QStringList CatalogSearch::statementLines(const Narrowing &narrowing)
{
    QStringList lines = statementLines();
    if (narrowing.isEmpty())
        return lines;
    QStringList conditions;
    if (!narrowing.takenFrom.isEmpty())
        conditions << QStringLiteral("PictureFacts.Taken >= :DE");
    if (!narrowing.takenTo.isEmpty())
        conditions << QStringLiteral("PictureFacts.Taken < :ATE");
    if (narrowing.narrowsTaken() && narrowing.takenFrom.isEmpty())
        conditions << QStringLiteral("PictureFacts.Taken IS NOT NULL");
    if (!narrowing.camera.isEmpty())
        conditions << QStringLiteral(
            "(PictureFacts.Make LIKE :CAMERA OR PictureFacts.Model LIKE :CAMERA OR "
            "(PictureFacts.Make || ' ' || PictureFacts.Model) LIKE :CAMERA)");
    // Before the order: the search's own lines stay as they are.
    lines.insert(lines.size() - 1,
        QStringLiteral("AND Pictures.RecId IN (SELECT PictureFacts.Picture FROM PictureFacts "
                       "WHERE %1) ")
            .arg(conditions.join(QStringLiteral(" AND "))));
    return lines;
}

void CatalogSearch::bindNarrowing(Statement &statement, const Narrowing &narrowing)
{
    if (!narrowing.takenFrom.isEmpty())
        statement.bind(QStringLiteral("DE"), PictureFactsTable::periodStart(narrowing.takenFrom));
    if (!narrowing.takenTo.isEmpty())
        statement.bind(QStringLiteral("ATE"), PictureFactsTable::periodEnd(narrowing.takenTo));
    if (!narrowing.camera.isEmpty())
        statement.bind(QStringLiteral("CAMERA"),
            QLatin1Char('%') + narrowing.camera + QLatin1Char('%'));
}

bool CatalogSearch::isPeriod(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{4})(?:-(\\d{2})(?:-(\\d{2}))?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const int year = m.captured(1).toInt();
    const int month = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    const int day = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
    return year >= 1 && QDate(year, month, day).isValid();
}

bool CatalogSearch::parseTaken(const QString &text, Narrowing &narrowing, QString *error)
{
    const qsizetype dots = text.indexOf(QStringLiteral(".."));
    const QString from = dots < 0 ? text : text.left(dots);
    const QString to = dots < 0 ? text : text.mid(dots + 2);
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isPeriod(from) || !isPeriod(to))
        return refuse(QStringLiteral("período inválido: \"%1\" (use AAAA, AAAA-MM ou "
                                     "AAAA-MM-DD, ou DE..ATÉ)")
                          .arg(text));
    // The first day of `from` after the last day of `to`: nothing could be in between.
    if (PictureFactsTable::periodStart(from) > PictureFactsTable::periodEnd(to))
        return refuse(QStringLiteral("período inválido: \"%1\" termina antes de começar")
                          .arg(text));
    narrowing.takenFrom = from;
    narrowing.takenTo = to;
    return true;
}

QStringList CatalogSearch::cameras(Connection &connection)
{
    QStringList names;
    if (!PictureFactsTable::exists(connection))
        return names;
    Statement s(connection,
        QStringLiteral("SELECT Make, Model, COUNT(*) AS N FROM PictureFacts"
                       " WHERE Make IS NOT NULL OR Model IS NOT NULL"
                       " GROUP BY Make, Model ORDER BY N DESC, Make, Model"));
    Statement::Reset done(s);
    while (s.step()) {
        const QString make = s.text(0).trimmed();
        const QString model = s.text(1).trimmed();
        QString name;
        if (model.isEmpty())
            name = make;
        else if (make.isEmpty() || model.startsWith(make.section(QLatin1Char(' '), 0, 0),
                                       Qt::CaseInsensitive))
            name = model;
        else
            name = make + QLatin1Char(' ') + model;
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
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
    forEachHit(connection, typed, Narrowing(), hit);
}

void CatalogSearch::forEachHit(Connection &connection, const QString &typed,
    const Narrowing &narrowing, const std::function<bool(const Hit &)> &hit)
{
    // Without facts recorded, no photo is known to have been taken anywhen or with anything.
    if (!narrowing.isEmpty() && !PictureFactsTable::exists(connection))
        return;
    Statement statement(connection, statementLines(narrowing).join(QLatin1Char('\n')));
    Statement::Reset done(statement);
    bindText(statement, typed);
    bindNarrowing(statement, narrowing);
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
