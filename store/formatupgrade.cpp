#include "store/formatupgrade.h"

#include "store/cataloguelocks.h"
#include "store/connection.h"
#include "store/schema.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace {

// An extension the catalogue already knows, as a format's own or as a variation of another:
// a second row for it would catalogue its files twice over.
bool known(Connection &connection, const QString &extension)
{
    Statement look(connection,
        QStringLiteral("SELECT 1 FROM Formats WHERE Extension = :E OR Variation = :E LIMIT 1"));
    Statement::Reset done(look);
    look.bind(QStringLiteral("E"), extension);
    return look.step();
}

const QString tiffNotDrawn = QStringLiteral(
    "SELECT 1 FROM Formats WHERE (Extension IN ('tif', 'tiff') OR Variation IN ('tif', 'tiff'))"
    " AND COALESCE(Support, FALSE) = FALSE LIMIT 1");

} // namespace

bool FormatUpgrade::needed(Connection &connection)
{
    for (const Schema::FormatRow &row : Schema::modernFormats())
        if (!known(connection, row.extension))
            return true;
    Statement tiff(connection, tiffNotDrawn);
    Statement::Reset done(tiff);
    return tiff.step();
}

bool FormatUpgrade::apply(Connection &connection)
{
    if (!needed(connection))
        return false;
    // What is missing is looked at again by one client at a time.
    CatalogueLocks::setup(connection);
    bool wrote = false;
    {
        Statement insert(connection,
            QStringLiteral("INSERT INTO Formats (Extension, Variation, Name, Used, Support) "
                           "VALUES (?, ?, ?, ?, ?)"));
        for (const Schema::FormatRow &row : Schema::modernFormats()) {
            if (known(connection, row.extension))
                continue;
            const bool variationFree
                = !row.variation.isEmpty() && !known(connection, row.variation);
            insert.bind(1, row.extension);
            insert.bind(2, variationFree ? QVariant(row.variation) : QVariant());
            insert.bind(3, row.name);
            insert.bind(4, row.used);
            insert.bind(5, row.support);
            insert.exec();
            wrote = true;
        }
    }
    bool tiff = false;
    {
        Statement look(connection, tiffNotDrawn);
        Statement::Reset done(look);
        tiff = look.step();
    }
    if (tiff) {
        connection.exec(QStringLiteral(
            "UPDATE Formats SET Support = 1 WHERE (Extension IN ('tif', 'tiff') OR Variation IN "
            "('tif', 'tiff')) AND COALESCE(Support, FALSE) = FALSE"));
        wrote = true;
    }
    return wrote;
}

bool FormatUpgrade::ensure(Connection &connection)
{
    if (connection.isReadOnly() || !needed(connection))
        return false;
    Transaction transaction(connection);
    const bool wrote = apply(connection);
    transaction.commit();
    return wrote;
}
