#pragma once

#include "core/inifile.h"
#include "core/scriptedprompter.h"
#include "store/command.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/dialect.h"
#include "store/query.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "support/pgserver.h"
#include "support/testsupport.h"
#include "core/versiontools.h"

#include <QtTest>

// The tests' one catalogue: a fresh catalogue made by the schema code beside a throw-away
// program file, filled by plain SQL so that the rows under test do not depend on the code
// under test. With QM_TEST_ENGINE=postgresql it is a new database on the test executable's
// own server instead, and the program's paths point at it (see testsupport::onServerEngine).
struct CatalogFixture {
    testsupport::ProgramFolder folder;
    QString path;

    CatalogFixture()
    {
        if (testsupport::onServerEngine()) {
            testsupport::PgServer &pg = testsupport::PgServer::instance();
            if (!pg.isRunning())
                qFatal("the test's PostgreSQL server did not start: %s", qPrintable(pg.error()));
            path = pg.createDatabase();
            Connection::splitLocation(
                path, &folder.paths.DatabaseFolder, &folder.paths.DatabaseFileName);
            // A program started from the folder (quillomar-cli copied there) finds it too.
            IniFile ini(folder.paths.ConfigFile);
            if (!ini.writeString(QStringLiteral("DATABASE"), QStringLiteral("PATH"),
                    folder.paths.DatabaseFolder)
                || !ini.writeString(QStringLiteral("DATABASE"), QStringLiteral("FILENAME"),
                    folder.paths.DatabaseFileName))
                qFatal("cannot write %s", qPrintable(folder.paths.ConfigFile));
        } else {
            path = folder.paths.databasePath();
        }
        Schema::createCatalogue(path, compiledVersion());
    }

    bool onServer() const { return Connection::isServerLocation(path); }

    // Runs SQL on a connection of its own; returns the last inserted row id. On the server
    // the key counters then move past keys the SQL gave by hand, as SQLite's do by themselves.
    qint64 exec(const QString &sql, const QVariantMap &params = {}) const
    {
        Connection c;
        c.openFile(path);
        Command cmd(c);
        cmd.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            cmd.setParam(it.key(), it.value());
        cmd.execute();
        const qint64 id = c.lastInsertRowId();
        for (const QString &after : c.dialect().afterGivenKeys())
            c.exec(after);
        c.close();
        return id;
    }
    // "ok" when the catalogue file is whole; a server keeps its relations itself and has no
    // file to check.
    QString integrity() const
    {
        if (onServer())
            return QStringLiteral("ok");
        Connection c;
        c.openFile(path);
        Query q(c);
        q.setSql(QStringLiteral("PRAGMA integrity_check"));
        q.open();
        const QString result = q.asString(QStringLiteral("integrity_check"));
        q.close();
        c.close();
        return result;
    }
    // The engine's own message for a statement naming a column the table lacks.
    QString missingColumn(const QString &table, const QString &column) const
    {
        if (onServer())
            return QStringLiteral("column %1.%2 does not exist")
                .arg(table.toLower(), column.toLower());
        return QStringLiteral("no such column: %1.%2").arg(table, column);
    }
    // Where the program keeps a picture's thumbnail for this catalogue: beside the program
    // for its own file, in a folder of the catalogue's identity for a server's.
    QString thumbnail(qint64 id) const
    {
        if (!onServer())
            return folder.file(QStringLiteral("thumbs/%1.jpg").arg(id, 8, 10, QLatin1Char('0')));
        ScriptedPrompter prompter;
        ProgramPaths paths = folder.paths;
        TDados store(paths, prompter);
        store.setConfigurationEnabled(false);
        if (!store.OpenDatabaseAll())
            qFatal("catalogue did not open: %s", qPrintable(prompter.boxTexts().join('|')));
        return store.GetThumbnailName(id);
    }
    qint64 collection(const QString &name) const
    {
        return exec(QStringLiteral("INSERT INTO Collections (Name, System) VALUES (:N, FALSE)"),
            { { QStringLiteral("N"), name } });
    }
    qint64 category(qint64 collection, const QString &name) const
    {
        return exec(
            QStringLiteral("INSERT INTO Categories (Collection, Name, System) VALUES (:C, :N, FALSE)"),
            { { QStringLiteral("C"), collection }, { QStringLiteral("N"), name } });
    }
    qint64 storage(const QString &name) const
    {
        return exec(QStringLiteral("INSERT INTO Storages (Name, Unit, System) VALUES (:N, '/', FALSE)"),
            { { QStringLiteral("N"), name } });
    }
    // A location of 0 leaves the picture without a storage.
    qint64 picture(qint64 collection, qint64 category, qint64 location, const QString &name) const
    {
        return exec(
            QStringLiteral(
                "INSERT INTO Pictures (Collection, Category, Location, Name, FileName, FullPath, "
                "FileSize, Created, Modified, FileType, Review) VALUES (:C, :K, :L, :N, :F, "
                "'/fotos/', "
                "1234, '2020-01-02T03:04:06', '2020-01-02T03:04:06', 'jpg', TRUE)"),
            { { QStringLiteral("C"), collection }, { QStringLiteral("K"), category },
                { QStringLiteral("L"), location > 0 ? QVariant(location) : QVariant() },
                { QStringLiteral("N"), name },
                { QStringLiteral("F"), name + QStringLiteral(".jpg") } });
    }
};
