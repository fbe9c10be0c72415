#include "maintenance/cataloguecopy.h"

#include "intake/picturefactstable.h"
#include "intake/picturefingerprints.h"
#include "intake/storagevolumes.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/dialect.h"
#include "store/schema.h"
#include "store/statement.h"
#include "store/thumbnailstore.h"
#include "store/transaction.h"
#include "store/transfersecuritytables.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <memory>

namespace {

qint64 copyTable(Connection &from, Connection &to, const QString &table)
{
    QStringList targetColumns = to.columnNames(table);
    for (QString &c : targetColumns)
        c = c.toLower();
    QStringList columns;
    for (const QString &c : from.columnNames(table)) {
        if (!from.dialect().isHiddenColumn(c) && targetColumns.contains(c.toLower()))
            columns << c;
    }
    if (columns.isEmpty())
        return 0;
    QStringList quotedFrom, quotedTo, params;
    for (int i = 0; i < columns.size(); ++i) {
        quotedFrom << from.dialect().quoted(columns.at(i));
        quotedTo << to.dialect().quoted(columns.at(i));
        params << QStringLiteral("?%1").arg(i + 1);
    }
    // In the engine's own row order where it keeps one (the formats' order is the filter's),
    // else by the first column, the key.
    const QString select = QStringLiteral("SELECT %1 FROM %2 ORDER BY ")
                               .arg(quotedFrom.join(QStringLiteral(", ")), from.dialect().quoted(table));
    std::unique_ptr<Statement> reader;
    try {
        reader = std::make_unique<Statement>(
            from, select + from.dialect().rowIdColumn(from.columnNames(table)));
    } catch (const DbError &) {
        reader = std::make_unique<Statement>(from, select + QStringLiteral("1"));
    }
    Statement &read = *reader;
    Statement::Reset readDone(read);
    Statement write(to,
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(to.dialect().quoted(table), quotedTo.join(QStringLiteral(", ")),
                params.join(QStringLiteral(", "))),
        Statement::Lifetime::Persistent);
    qint64 rows = 0;
    while (read.step()) {
        Statement::Reset writeDone(write);
        for (int i = 0; i < columns.size(); ++i)
            write.bind(i + 1, read.value(i));
        write.exec();
        ++rows;
    }
    return rows;
}

} // namespace

qint64 CatalogueCopy::copyRows(Connection &from, Connection &to)
{
    QStringList tables = Schema::tableNames();
    QStringList extras;
    for (const QString &t : QStringList { QStringLiteral("StorageVolumes"),
             QStringLiteral("PictureFingerprints"), QStringLiteral("PictureFacts") }
             + transfersecuritytables::names()) {
        if (from.hasTable(t))
            extras << t;
    }
    Transaction transaction(to);
    if (extras.contains(QStringLiteral("StorageVolumes")))
        StorageVolumes::createTable(to);
    if (extras.contains(QStringLiteral("PictureFingerprints")))
        PictureFingerprints::createTable(to);
    if (extras.contains(QStringLiteral("PictureFacts")))
        PictureFactsTable::createTable(to);
    for (const QString &t : transfersecuritytables::names()) {
        if (extras.contains(t)) {
            transfersecuritytables::ensure(to);
            break;
        }
    }
    tables += extras;
    // What the new catalogue was made with goes first, dependants before what they name.
    for (auto it = tables.crbegin(); it != tables.crend(); ++it) {
        if (to.hasTable(*it))
            to.exec(QStringLiteral("DELETE FROM %1").arg(to.dialect().quoted(*it)));
    }
    qint64 rows = 0;
    for (const QString &table : std::as_const(tables))
        rows += copyTable(from, to, table);
    for (const QString &sql : to.dialect().afterGivenKeys())
        to.exec(sql);
    transaction.commit();
    return rows;
}

int CatalogueCopy::copyThumbnails(ThumbnailStore &from, ThumbnailStore &to)
{
    static const QRegularExpression thumbnail(QStringLiteral("^[0-9]{8,}\\.jpg$"));
    from.fetchAll();
    const QString fromFolder = from.folder();
    const QString toFolder = to.folder();
    const QDir source(fromFolder);
    if (!source.exists() || QDir(fromFolder).canonicalPath() == QDir(toFolder).canonicalPath())
        return 0;
    QDir().mkpath(toFolder);
    int copied = 0;
    QList<qint64> pictures;
    for (const QString &name : source.entryList(QDir::Files)) {
        if (!thumbnail.match(name).hasMatch())
            continue;
        QFile in(source.filePath(name));
        QSaveFile out(QDir(toFolder).filePath(name));
        if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly)
            && out.write(in.readAll()) == in.size() && out.commit()) {
            ++copied;
            if (const qint64 picture = ThumbnailStore::pictureOf(name))
                pictures << picture;
        }
    }
    to.kept(pictures);
    return copied;
}
