#include "store/schema.h"

#include "store/catalogueidentity.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/dialect.h"
#include "store/statement.h"
#include "store/thumbnailstore.h"
#include "store/transaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

// Name-like columns ignore letter case in ordering and "=", as the original engine did.
const char *const tableStatements[] = {
    "CREATE TABLE Formats ("
    " Extension VARCHAR(10) COLLATE NOCASE NOT NULL PRIMARY KEY,"
    " Variation VARCHAR(10) COLLATE NOCASE,"
    " Name VARCHAR(60) COLLATE NOCASE,"
    " Used BOOLEAN,"
    " Support BOOLEAN)",

    "CREATE TABLE ColorDepth ("
    " RecId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Model VARCHAR(60))",

    "CREATE TABLE Resolutions ("
    " DPI NUMERIC NOT NULL PRIMARY KEY)",

    "CREATE TABLE Collections ("
    " RecId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Name VARCHAR(100) COLLATE NOCASE,"
    " Notes TEXT,"
    " System BOOLEAN)",

    "CREATE TABLE Categories ("
    " RecId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Collection INTEGER REFERENCES Collections (RecId) ON DELETE CASCADE,"
    " Name VARCHAR(100) COLLATE NOCASE,"
    " Notes TEXT,"
    " System BOOLEAN)",

    "CREATE TABLE Storages ("
    " RecId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Name VARCHAR(100) COLLATE NOCASE,"
    " Notes TEXT,"
    " Unit VARCHAR(1024) COLLATE NOCASE,"
    " System BOOLEAN)",

    // FileType, ColorType and Resolution are plain values: the program writes values
    // (0, "jpeg") that name no reference row.
    "CREATE TABLE Pictures ("
    " RecId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Collection INTEGER REFERENCES Collections (RecId) ON DELETE CASCADE,"
    " Category INTEGER REFERENCES Categories (RecId) ON DELETE CASCADE,"
    " Name VARCHAR(255) COLLATE NOCASE,"
    " FileName VARCHAR(255) COLLATE NOCASE,"
    " FullPath VARCHAR(1024) COLLATE NOCASE,"
    " FileSize INTEGER,"
    " Created DATETIME,"
    " Modified DATETIME,"
    " FileType VARCHAR(10) COLLATE NOCASE,"
    " ColorType INTEGER,"
    " Width INTEGER,"
    " Height INTEGER,"
    " Resolution NUMERIC,"
    " Location INTEGER REFERENCES Storages (RecId) ON DELETE CASCADE,"
    " Notes TEXT,"
    " KeyWords TEXT,"
    " Review BOOLEAN)",

    "CREATE TABLE FTPAccounts ("
    " RecId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Profile VARCHAR(100) COLLATE NOCASE,"
    " Host VARCHAR(255),"
    " Port INTEGER,"
    " UserID VARCHAR(100),"
    " Password VARCHAR(100),"
    " UseProxyServer BOOLEAN,"
    " ProxyServer VARCHAR(255),"
    " ProxyPort INTEGER,"
    " Directory VARCHAR(1024))",

    "CREATE TABLE SMTPAccount ("
    " Host VARCHAR(255),"
    " Port INTEGER,"
    " UserID VARCHAR(100),"
    " Name VARCHAR(100) COLLATE NOCASE,"
    " Email VARCHAR(255))",

    "CREATE TABLE CatalogInfo ("
    " Version CHAR(20))",
};

// "IF NOT EXISTS": an upgrade adds the ones an older catalogue lacks.
const char *const indexStatements[] = {
    "CREATE INDEX IF NOT EXISTS Pictures_FileName ON Pictures (FileName COLLATE NOCASE, Created)",
    "CREATE INDEX IF NOT EXISTS Pictures_Category ON Pictures (Category, Name)",
    "CREATE INDEX IF NOT EXISTS Pictures_Location ON Pictures (Location, Name)",
    "CREATE INDEX IF NOT EXISTS Pictures_Name ON Pictures (Name)",
    // The cascade from a collection looks its pictures up by this column.
    "CREATE INDEX IF NOT EXISTS Pictures_Collection ON Pictures (Collection)",
    "CREATE INDEX IF NOT EXISTS Categories_Collection ON Categories (Collection, Name)",
    "CREATE INDEX IF NOT EXISTS Collections_Name ON Collections (Name)",
    "CREATE INDEX IF NOT EXISTS Storages_Name ON Storages (Name)",
    // The format counts of a category or a storage read these alone, never the table.
    "CREATE INDEX IF NOT EXISTS Pictures_CategoryType ON Pictures (Category, FileType)",
    "CREATE INDEX IF NOT EXISTS Pictures_LocationType ON Pictures (Location, FileType)",
};

const char *const countedTables[] = { "Collections", "Categories", "Storages", "Pictures" };

} // namespace

QStringList Schema::tableNames()
{
    return { QStringLiteral("Formats"), QStringLiteral("ColorDepth"), QStringLiteral("Resolutions"),
        QStringLiteral("Collections"), QStringLiteral("Categories"), QStringLiteral("Storages"),
        QStringLiteral("Pictures"), QStringLiteral("FTPAccounts"), QStringLiteral("SMTPAccount"),
        QStringLiteral("CatalogInfo") };
}

QList<Schema::FormatRow> Schema::modernFormats()
{
    // What phones and cameras write today: HEIC and AVIF through libheif, WebP through Qt's
    // reader, RAW files through their embedded previews.
    return {
        { QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("Imagem HEIC"), true,
            true },
        { QStringLiteral("avif"), QString(), QStringLiteral("Imagem AVIF"), true, true },
        { QStringLiteral("webp"), QString(), QStringLiteral("Imagem WebP"), true, true },
        { QStringLiteral("dng"), QString(), QStringLiteral("RAW Adobe DNG"), true, true },
        { QStringLiteral("cr2"), QString(), QStringLiteral("RAW Canon CR2"), true, true },
        { QStringLiteral("cr3"), QString(), QStringLiteral("RAW Canon CR3"), true, true },
        { QStringLiteral("nef"), QStringLiteral("nrw"), QStringLiteral("RAW Nikon NEF"), true,
            true },
        { QStringLiteral("arw"), QString(), QStringLiteral("RAW Sony ARW"), true, true },
        { QStringLiteral("orf"), QString(), QStringLiteral("RAW Olympus ORF"), true, true },
        { QStringLiteral("rw2"), QString(), QStringLiteral("RAW Panasonic RW2"), true, true },
        { QStringLiteral("raf"), QString(), QStringLiteral("RAW Fujifilm RAF"), true, true },
        { QStringLiteral("pef"), QString(), QStringLiteral("RAW Pentax PEF"), true, true },
        { QStringLiteral("srw"), QString(), QStringLiteral("RAW Samsung SRW"), true, true },
    };
}

QList<Schema::FormatRow> Schema::referenceFormats()
{
    // Used and Support follow what the program really draws; pcx goes to the outside
    // viewer, emf and wmf have no reader.
    return QList<FormatRow> {
        { QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("Imagem JPEG"), true,
            true },
        { QStringLiteral("bmp"), QString(), QStringLiteral("Bitmap do Windows"), true, true },
        { QStringLiteral("gif"), QString(), QStringLiteral("Imagem GIF"), true, true },
        { QStringLiteral("png"), QString(), QStringLiteral("Imagem PNG"), true, true },
        { QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("Imagem TIFF"), true,
            true },
        { QStringLiteral("pcx"), QString(), QStringLiteral("Imagem PCX (Paintbrush)"), false,
            false },
        { QStringLiteral("ico"), QString(), QStringLiteral("Ícone do Windows"), true, true },
        { QStringLiteral("emf"), QString(), QStringLiteral("Metarquivo avançado do Windows"), false,
            false },
        { QStringLiteral("wmf"), QString(), QStringLiteral("Metarquivo do Windows"), false, false },
    }
    + modernFormats();
}

QList<Schema::ColorDepthRow> Schema::referenceColorDepths()
{
    // 3, 11, 15, 16 and 17 are the keys the picture view writes.
    return {
        { 1, QStringLiteral("16 cores (4 bits)") },
        { 2, QStringLiteral("Tons de cinza (8 bits)") },
        { 3, QStringLiteral("16 milhões de cores (24 bits)") },
        { 4, QStringLiteral("16 milhões de cores com transparência (32 bits)") },
        { 5, QStringLiteral("32 mil cores (15 bits)") },
        { 11, QStringLiteral("Ícone do Windows") },
        { 15, QStringLiteral("256 cores (8 bits)") },
        { 16, QStringLiteral("Preto e branco (1 bit)") },
        { 17, QStringLiteral("65 mil cores (16 bits)") },
    };
}

QList<int> Schema::referenceResolutions()
{
    return { 72, 96, 150, 200, 300, 600, 1200 };
}

QStringList Schema::definitions()
{
    QStringList texts;
    for (const char *sql : tableStatements)
        texts << QString::fromUtf8(sql);
    return texts;
}

void Schema::createCatalogue(const QString &path, const QString &version)
{
    if (Connection::isServerLocation(path)) {
        createOnServer(path, version);
        return;
    }
    const QFileInfo target(path);
    const QString finalPath = target.absoluteFilePath();
    if (target.exists() || target.isSymLink())
        throw DbError(QStringLiteral("O arquivo já existe: %1").arg(finalPath));
    const QDir folder = target.absoluteDir();
    const QString prefix = QLatin1Char('.') + target.fileName() + QLatin1Char('.');
    removeAbandonedTemporaries(folder, prefix);

    // The catalogue is built under a name of its own and only a complete one gets the real
    // name, so a kill or a failure part way never leaves half a catalogue behind.
    const QString temporary = folder.filePath(
        prefix + QString::number(QCoreApplication::applicationPid()) + QLatin1String(".tmp"));
    const auto discard = [&temporary] {
        QFile::remove(temporary);
        QFile::remove(temporary + QStringLiteral("-journal"));
    };
    discard(); // a leftover of this same process id
    Connection connection;
    try {
        connection.createFile(temporary);
        createTables(connection);
        insertReferenceRows(connection, version);
        connection.close();
    } catch (...) {
        connection.close();
        discard();
        throw;
    }
    // Never replaces a file that appeared meanwhile.
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(finalPath);
    int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without that rename: a hard link refuses an existing name as well.
        rc = ::link(from.constData(), to.constData());
        if (rc == 0)
            ::unlink(from.constData());
    }
    if (rc != 0) {
        const int error = errno;
        discard();
        throw DbError(error == EEXIST
                ? QStringLiteral("O arquivo já existe: %1").arg(finalPath)
                : QStringLiteral("Não foi possível criar %1: %2")
                      .arg(finalPath, QString::fromLocal8Bit(strerror(error))));
    }
    // The new name itself must survive a crash.
    const int dir = ::open(QFile::encodeName(folder.absolutePath()).constData(), O_RDONLY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void Schema::removeAbandonedTemporaries(const QDir &folder, const QString &prefix)
{
    const QStringList leftovers = folder.entryList(
        { prefix + QStringLiteral("*.tmp") }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : leftovers) {
        bool numeric = false;
        const qint64 pid
            = name.mid(prefix.size(), name.size() - prefix.size() - 4).toLongLong(&numeric);
        // One whose process still runs is that process's catalogue in the making.
        if (!numeric || pid <= 0 || (::kill(pid_t(pid), 0) == 0 || errno != ESRCH))
            continue;
        QFile::remove(folder.filePath(name));
        QFile::remove(folder.filePath(name + QStringLiteral("-journal")));
    }
}

void Schema::createOnServer(const QString &location, const QString &version)
{
    Connection connection;
    connection.openFile(location);
    // Only into a database that holds no catalogue: its tables are never replaced.
    for (const QString &table : tableNames()) {
        if (connection.hasTable(table))
            throw DbError(QStringLiteral("O catálogo já existe: %1").arg(connection.filePath()));
    }
    // One transaction: a failure leaves the database as it was.
    Transaction transaction(connection);
    for (const QString &sql : connection.dialect().catalogueFunctions())
        connection.exec(sql);
    writeTables(connection);
    if (connection.dialect().keepsThumbnails())
        connection.exec(ThumbnailStore::tableSql());
    writeReferenceRows(connection, version);
    transaction.commit();
}

void Schema::createTables(Connection &connection)
{
    Transaction transaction(connection);
    writeTables(connection);
    transaction.commit();
}

void Schema::writeTables(Connection &connection)
{
    const Dialect &dialect = connection.dialect();
    for (const char *sql : tableStatements)
        connection.exec(QString::fromUtf8(sql));
    // Exact row counts kept by triggers, so that counting a million pictures is one read.
    connection.exec(dialect.rowCountsTableSql());
    createMissingIndexes(connection);
    for (const char *table : countedTables) {
        for (const QString &sql : dialect.rowCountStatements(QString::fromLatin1(table)))
            connection.exec(sql);
    }
    CatalogueIdentity::create(connection);
}

void Schema::createMissingIndexes(Connection &connection)
{
    for (const char *sql : indexStatements)
        connection.exec(QString::fromUtf8(sql));
}

void Schema::insertReferenceRows(Connection &connection, const QString &version)
{
    Transaction transaction(connection);
    writeReferenceRows(connection, version);
    transaction.commit();
}

void Schema::writeReferenceRows(Connection &connection, const QString &version)
{
    {
        Statement format(connection,
            QStringLiteral("INSERT INTO Formats (Extension, Variation, Name, Used, Support) "
                           "VALUES (?, ?, ?, ?, ?)"));
        for (const FormatRow &row : referenceFormats()) {
            format.bind(1, row.extension);
            format.bind(2, row.variation.isEmpty() ? QVariant() : QVariant(row.variation));
            format.bind(3, row.name);
            format.bind(4, row.used);
            format.bind(5, row.support);
            format.exec();
        }
        Statement colorDepth(
            connection, QStringLiteral("INSERT INTO ColorDepth (RecId, Model) VALUES (?, ?)"));
        for (const ColorDepthRow &row : referenceColorDepths()) {
            colorDepth.bind(1, row.recId);
            colorDepth.bind(2, row.model);
            colorDepth.exec();
        }
        Statement resolution(
            connection, QStringLiteral("INSERT INTO Resolutions (DPI) VALUES (?)"));
        for (int dpi : referenceResolutions()) {
            resolution.bind(1, dpi);
            resolution.exec();
        }
        Statement info(connection, QStringLiteral("INSERT INTO CatalogInfo (Version) VALUES (?)"));
        info.bind(1, version.isEmpty() ? QVariant() : QVariant(version));
        info.exec();
    }
    for (const QString &sql : connection.dialect().afterGivenKeys())
        connection.exec(sql);
}
