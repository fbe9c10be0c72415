#include "storetesthelpers.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using storetest::RawDb;

class TestStoreCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    struct Result {
        int code = -1;
        QString out;
        QString err;
    };

    Result run(const QStringList &args, const QString &program = QString())
    {
        QProcess p;
        p.start(program.isEmpty() ? testsupport::binDir() + "/quillomar-cli" : program, args);
        Result r;
        if (!p.waitForFinished(60000))
            return r;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

    // A program folder of its own, with a copy of the tool, as an installed program.
    QString installCopy(const QString &name)
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        const QString copy = folder + "/quillomar-cli";
        QFile::remove(copy);
        if (!QFile::copy(testsupport::binDir() + "/quillomar-cli", copy))
            return QString();
        return copy;
    }

    static QString infoLines(const QString &path, const QString &counts)
    {
        const QStringList c = counts.split(' ');
        return QStringLiteral(
            "Catálogo: %1\nProvedor: Provider=Microsoft.Jet.OLEDB.4.0;\nVersão: 1.0.0.9\n"
            "Coleções: %2\nCategorias: %3\nLocais: %4\nImagens: %5\n")
            .arg(path, c[0], c[1], c[2], c[3]);
    }

private slots:
    void createWritesACatalogueAndRefusesAnExistingFile()
    {
        const QString path = m_dir.filePath("novo.mdb");
        Result r = run({ "create", path });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "Catálogo criado: " + path + "\n");
        QCOMPARE(r.err, QString());
        {
            RawDb raw(path);
            QCOMPARE(raw.scalar("SELECT count(*) FROM Formats"), QStringLiteral("9"));
            QCOMPARE(raw.scalar("SELECT Version FROM CatalogInfo"), QStringLiteral("1.0.0.9"));
        }
        QVERIFY(!QFileInfo::exists(path + "-wal"));
        const QByteArray before = storetest::digest(path);
        r = run({ "create", path });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, "O arquivo já existe: " + path + "\n");
        QCOMPARE(storetest::digest(path), before);

        QCOMPARE(run({ "create" }).code, 2);
        QCOMPARE(run({ "create", "a.mdb", "b.mdb" }).code, 2);
        QCOMPARE(run({ "--catalogue" }).code, 2);
        r = run({ "create", m_dir.filePath("no/such/dir/x.mdb") });
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Não foi possível criar o catálogo"));
    }

    void infoOpensLikeTheProgramAndCounts()
    {
        const QString path = m_dir.filePath("info.mdb");
        QCOMPARE(run({ "create", path }).code, 0);
        Result r = run({ "--catalogue", path, "info" });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, infoLines(path, "1 1 1 0")); // the store made the default rows
        {
            RawDb raw(path);
            raw.exec("INSERT INTO Collections (Name) VALUES ('Viagens')");
            raw.exec("INSERT INTO Pictures (Collection, Category, Name, Location) VALUES (1, 1, "
                     "'a', 1), (2, 1, 'b', 1)");
        }
        r = run({ "--catalogue=" + path, "info" });
        QCOMPARE(r.out, infoLines(path, "2 1 1 2"));
    }

    void withoutCatalogueTheProgramFolderDecides()
    {
        const QString cli = installCopy("programa");
        QVERIFY(!cli.isEmpty());
        const QString folder = QFileInfo(cli).absolutePath();
        // No configuration: quillomar.mdb beside the program.
        Result r = run({ "info" }, cli);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("could not open \"%1/quillomar.mdb\"").arg(folder)),
            qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(folder + "/quillomar.mdb"));
        QCOMPARE(run({ "create", folder + "/quillomar.mdb" }, cli).code, 0);
        r = run({ "info" }, cli);
        QCOMPARE(r.out, infoLines(folder + "/quillomar.mdb", "1 1 1 0"));

        // The configuration beside the program names another catalogue...
        QDir().mkpath(m_dir.filePath("outro"));
        const QString other = m_dir.filePath("outro/fotos.mdb");
        QCOMPARE(run({ "create", other }).code, 0);
        QVERIFY(testsupport::writeFile(folder + "/quillomar.ini",
            ("[DATABASE]\nPATH=" + m_dir.filePath("outro") + "/\nFILENAME=fotos.mdb\n").toUtf8()));
        r = run({ "info" }, cli);
        QCOMPARE(r.out, infoLines(other, "1 1 1 0"));
        // ...but --catalogue wins over it, without reading it.
        r = run({ "--catalogue", folder + "/quillomar.mdb", "info" }, cli);
        QCOMPARE(r.out, infoLines(folder + "/quillomar.mdb", "1 1 1 0"));
    }

    void aBadCatalogueEndsWithTheStoresMessagesOnStandardError()
    {
        const QString missing = m_dir.filePath("ausente.mdb");
        Result r = run({ "--catalogue", missing, "info" });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        const QString cause = QStringLiteral(
            " (Microsoft.Jet.OLEDB.4.0 could not open \"%1\": unable to open database file)")
                                  .arg(missing);
        QCOMPARE(r.err,
            "Provider \"Microsoft.Jet.OLEDB.3.51\" is not available on this system" + cause
                + "\n"
                  "ODBC driver \"Driver do Microsoft Access (*.mdb)\" is not available on this "
                  "system"
                + cause
                + "\n"
                  "Banco de dados não conectado.\n");
        QVERIFY(!QFileInfo::exists(missing));

        const QString newer = m_dir.filePath("nova.mdb");
        Schema::createCatalogue(newer, "2.0.0.0");
        const QByteArray before = storetest::digest(newer);
        r = run({ "--catalogue", newer, "info" });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err,
            QStringLiteral("A versão do programa é mais antiga que o banco de dados.\nBanco de "
                           "dados não conectado.\n"));
        QCOMPARE(storetest::digest(newer), before);

        // An older one is upgraded just as in the window.
        const QString older = m_dir.filePath("velha.mdb");
        Schema::createCatalogue(older, "1.0.0.1");
        r = run({ "--catalogue", older, "info" });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, infoLines(older, "1 1 1 0"));
    }

    void theBuildShipsADefaultCatalogue()
    {
        const QString shipped = testsupport::binDir() + "/quillomar.mdb";
        QVERIFY2(QFileInfo::exists(shipped), qPrintable(shipped));
        RawDb raw(shipped);
        QCOMPARE(raw.scalar("SELECT count(*) FROM Formats"), QStringLiteral("9"));
    }
};

QTEST_GUILESS_MAIN(TestStoreCli)
#include "test_store_cli.moc"
