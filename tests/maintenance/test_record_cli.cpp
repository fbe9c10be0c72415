#include "browser/catalogfixture.h"
#include "support/picturesamples.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// A catalogue with a copy of quillomar-cli beside it, so that its thumbnails land there.
struct Cli {
    CatalogFixture f;
    QTemporaryDir files;
    QString cli;
    qint64 system = 0, trips = 0, rome = 0, disk = 0, coliseum = 0, forum = 0;

    Cli()
    {
        cli = f.folder.file("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
        system = f.exec("INSERT INTO Collections (Name, System) VALUES ('(undefined)', 1)");
        f.exec("INSERT INTO Categories (Collection, Name, System) VALUES (:C, '(undefined)', 1)",
            { { "C", system } });
        f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('(local)', '/', 1)");
        trips = f.collection("Viagens");
        rome = f.category(trips, "Roma");
        disk = f.storage("Disco externo");
        coliseum = f.picture(trips, rome, disk, "coliseu");
        forum = f.picture(trips, rome, disk, "forum");
        f.exec("UPDATE Pictures SET FullPath = :P", { { "P", files.path() + "/" } });
        for (const char *name : { "coliseu.jpg", "forum.jpg" })
            testsupport::writeFile(files.filePath(name), samples::jpeg(40, 30));
    }
    Run run(const QStringList &args)
    {
        QProcess p;
        p.start(cli, QStringList { "--catalogue", f.path } + args);
        p.waitForFinished(120000);
        return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()) };
    }
    QVariant value(const QString &sql)
    {
        Connection c;
        c.openFile(f.path);
        Query q(c);
        q.setSql(sql);
        q.open();
        const QVariant v = q.eof() ? QVariant() : q.value(q.fieldNames().first());
        q.close();
        return v;
    }
    qint64 count(const QString &from) { return value("SELECT COUNT(*) FROM " + from).toLongLong(); }
    QString file(const char *name) const { return files.filePath(name); }
    QString thumbnail(qint64 id) const
    {
        return f.folder.file(QStringLiteral("thumbs/%1.jpg").arg(id, 8, 10, QLatin1Char('0')));
    }
};

} // namespace

class TestRecordCli : public QObject {
    Q_OBJECT
private slots:
    void deleteAnswersAsItsOptionsSay()
    {
        Cli c;
        // Bad input: a clear text and exit 2 or 1; nothing deleted.
        QCOMPARE(c.run({ "delete", "colecao", "1" }).exitCode, 2);
        QCOMPARE(c.run({ "delete", "picture", "abc" }).exitCode, 2);
        QCOMPARE(c.run({ "delete", "picture", "-3" }).exitCode, 2);
        Run r = c.run({ "delete", "picture", "999" });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("999"), qPrintable(r.err));
        r = c.run({ "delete", "collection", QString::number(c.system) });
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Registro do sistema. Exclusão não permitida."));
        QCOMPARE(c.count("Collections"), 2);

        // Without --delete-file the file stays; the thumbnail goes.
        QDir().mkpath(c.f.folder.file("thumbs"));
        testsupport::writeFile(c.thumbnail(c.coliseum), samples::jpeg(8, 8));
        r = c.run({ "delete", "picture", QString::number(c.coliseum) });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("Apagar o arquivo físico também?"));
        QVERIFY(QFile::exists(c.file("coliseu.jpg")));
        QVERIFY(!QFile::exists(c.thumbnail(c.coliseum)));
        QCOMPARE(c.count("Pictures"), 1);

        // A read-only file needs --force as well.
        QFile::setPermissions(c.file("forum.jpg"), QFile::ReadOwner);
        r = c.run({ "delete", "picture", QString::number(c.forum), "--delete-file" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("somente para leitura!"));
        QVERIFY(QFile::exists(c.file("forum.jpg")));
        const qint64 again = c.f.picture(c.trips, c.rome, c.disk, "forum");
        c.f.exec("UPDATE Pictures SET FullPath = :P", { { "P", c.files.path() + "/" } });
        r = c.run({ "delete", "picture", QString::number(again), "--delete-file", "--force" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!QFile::exists(c.file("forum.jpg")));

        // A collection takes its categories and pictures with it.
        c.f.picture(c.trips, c.rome, c.disk, "mais");
        r = c.run({ "delete", "collection", QString::number(c.trips) });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(c.count("Categories"), 1);
        QCOMPARE(c.count("Pictures"), 0);
        QCOMPARE(c.value("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
    }
};

QTEST_MAIN(TestRecordCli)
#include "test_record_cli.moc"
