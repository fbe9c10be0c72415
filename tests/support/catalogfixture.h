#pragma once

#include "store/command.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/schema.h"
#include "support/testsupport.h"
#include "core/versiontools.h"

#include <QtTest>

// The tests' one catalogue file: a fresh catalogue made by the schema code beside a
// throw-away program file, filled by plain SQL so that the rows under test do not depend on
// the code under test.
struct CatalogFixture {
    testsupport::ProgramFolder folder;
    QString path;

    CatalogFixture()
    {
        path = folder.paths.databasePath();
        Schema::createCatalogue(path, compiledVersion());
    }

    // Runs SQL on a connection of its own; returns the last inserted row id.
    qint64 exec(const QString &sql, const QVariantMap &params = {}) const
    {
        Connection c;
        c.openFile(path);
        Command cmd(c);
        cmd.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            cmd.setParam(it.key(), it.value());
        cmd.execute();
        Query q(c);
        q.setSql(QStringLiteral("SELECT last_insert_rowid() AS Id"));
        q.open();
        const qint64 id = q.asInt(QStringLiteral("Id"));
        q.close();
        c.close();
        return id;
    }
    qint64 collection(const QString &name) const
    {
        return exec(QStringLiteral("INSERT INTO Collections (Name, System) VALUES (:N, 0)"),
            { { QStringLiteral("N"), name } });
    }
    qint64 category(qint64 collection, const QString &name) const
    {
        return exec(
            QStringLiteral("INSERT INTO Categories (Collection, Name, System) VALUES (:C, :N, 0)"),
            { { QStringLiteral("C"), collection }, { QStringLiteral("N"), name } });
    }
    qint64 storage(const QString &name) const
    {
        return exec(QStringLiteral("INSERT INTO Storages (Name, Unit, System) VALUES (:N, '/', 0)"),
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
                "1234, '2020-01-02T03:04:06', '2020-01-02T03:04:06', 'jpg', 1)"),
            { { QStringLiteral("C"), collection }, { QStringLiteral("K"), category },
                { QStringLiteral("L"), location > 0 ? QVariant(location) : QVariant() },
                { QStringLiteral("N"), name },
                { QStringLiteral("F"), name + QStringLiteral(".jpg") } });
    }
};
