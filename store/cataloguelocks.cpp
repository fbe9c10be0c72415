#include "store/cataloguelocks.h"

#include "core/casefold.h"
#include "store/connection.h"

#include <QDateTime>

namespace {

QString foldedText(const QString &text)
{
    const std::u32string points = casefold::folded(text);
    return QString::fromUcs4(points.data(), qsizetype(points.size()));
}

} // namespace

namespace CatalogueLocks {

void scannedFiles(Connection &connection, bool shared)
{
    connection.lockUntilEnd(QStringLiteral("scanned files"), QString(), shared);
}

void drives(Connection &connection)
{
    connection.lockUntilEnd(QStringLiteral("drives"));
}

void name(Connection &connection, const QString &table, qint64 scope, const QString &name)
{
    connection.lockUntilEnd(QStringLiteral("name %1 %2").arg(table.toLower()).arg(scope),
        foldedText(name.trimmed()));
}

void pictureFile(Connection &connection, const QString &fileName, const QDateTime &created)
{
    connection.lockUntilEnd(QStringLiteral("file"),
        foldedText(fileName) + QLatin1Char('\t')
            + (created.isValid() ? created.toString(Qt::ISODate) : QString()));
}

void setup(Connection &connection)
{
    connection.lockUntilEnd(QStringLiteral("setup"));
}

} // namespace CatalogueLocks
