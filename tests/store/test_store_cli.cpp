#include "storetesthelpers.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using storetest::RawDb;

class TestStoreCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    struct Result {
        int code = -1;
        QString out;
        QString err;
    };

    Result run(const QStringList &args, const QString &program = QString(),
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setProcessEnvironment(env);
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
    void aServerCatalogueIsCreatedOpenedAndListedAsAFileIs()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        QVERIFY2(pg.isRunning(), qPrintable(pg.error()));
        const QString server = pg.createDatabase("cli");
        Result r = run({ "create", server });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "Catálogo criado: " + server + "\n");
        r = run({ "create", server });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err,
            QStringLiteral("Não foi possível criar o catálogo %1: O catálogo já existe: %1\n")
                .arg(server));

        const QString file = m_dir.filePath("igual.mdb");
        QCOMPARE(run({ "create", file }).code, 0);
        // The same commands on both give the same outputs.
        for (const QString &catalogue : { server, file }) {
            for (const QStringList &args : { QStringList { "new", "collection", "Viagens" },
                     QStringList { "new", "collection", "álbum" },
                     QStringList { "new", "category", "2", "Praia" },
                     QStringList { "new", "storage", "Disco", "/" } }) {
                r = run(QStringList { "--catalogue", catalogue } + args);
                QVERIFY2(r.code == 0, qPrintable(r.err));
            }
            r = run({ "--catalogue", catalogue, "new", "collection", "VIAGENS" });
            QCOMPARE(r.code, 1);
        }
        // A scan, and what the commands then show, the same on both.
        const QString pictures = m_dir.filePath("fotos");
        QVERIFY(QDir().mkpath(pictures + "/Férias"));
        for (const QString &name : { "Praia.JPG", "serra.jpg", "Férias/Água.png", "nota.txt" })
            QVERIFY(testsupport::writeFile(pictures + "/" + name, name.toUtf8()));
        for (const QString &catalogue : { server, file }) {
            r = run({ "--catalogue", catalogue, "scan", pictures, "--collection", "2",
                "--category", "2" });
            QVERIFY2(r.code == 0, qPrintable(r.err));
        }
        for (const QStringList &args :
            { QStringList { "tree" }, QStringList { "search", "praia" }, QStringList { "search", "água" },
                QStringList { "search", "%.JPG" }, QStringList { "stats", "category", "2" },
                QStringList { "stats", "storage", "1" }, QStringList { "storages" },
                QStringList { "check" }, QStringList { "scan", pictures } }) {
            const Result onServer = run(QStringList { "--catalogue", server } + args);
            const Result onFile = run(QStringList { "--catalogue", file } + args);
            QCOMPARE(onServer.code, onFile.code);
            QCOMPARE(onServer.out, onFile.out);
            QCOMPARE(onServer.err, onFile.err);
        }
        const Result serverTree = run({ "--catalogue", server, "tree" });
        const Result fileTree = run({ "--catalogue", file, "tree" });
        QCOMPARE(serverTree.code, 0);
        QCOMPARE(serverTree.out, fileTree.out);
        QCOMPARE(run({ "--catalogue", server, "stats", "collection", "2" }).out,
            run({ "--catalogue", file, "stats", "collection", "2" }).out);

        r = run({ "--catalogue", server, "info" });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out,
            QStringLiteral("Catálogo: %1\nProvedor: Provider=PostgreSQL;\nVersão: 1.0.0.9\n"
                           "Coleções: 3\nCategorias: 2\nLocais: 2\nImagens: 3\n")
                .arg(server));

        // A user who must give a password finds it in libpq's password file.
        const QString guarded = pg.location(pg.databaseOf(server), "quillomar_pw");
        pg.exec(pg.databaseOf(server), "GRANT ALL ON ALL TABLES IN SCHEMA public TO quillomar_pw");
        // A script is never asked: it is told, in Portuguese, libpq's text as the detail.
        const QString serverName = QStringLiteral("127.0.0.1:%1").arg(pg.port());
        auto refusal = [&](const Result &got, const QString &sentence, const QString &detail) {
            const QStringList lines = got.err.split('\n');
            QCOMPARE(got.code, 1);
            QCOMPARE(got.out, QString());
            QCOMPARE(lines.size(), 4);
            QCOMPARE(lines[0], sentence);
            QVERIFY2(lines[1].startsWith("Detalhe: ") && lines[1].contains(detail),
                qPrintable(got.err));
            QCOMPARE(lines[2], QStringLiteral("Banco de dados não conectado."));
        };
        QProcessEnvironment noPgpass = QProcessEnvironment::systemEnvironment();
        noPgpass.insert("PGPASSFILE", m_dir.filePath("sem-pgpass"));
        r = run({ "--catalogue", guarded, "info" }, QString(), noPgpass);
        refusal(r,
            "O servidor do catálogo " + serverName
                + " pede uma senha para o usuário \"quillomar_pw\".",
            "no password supplied");
        r = run({ "--catalogue", pg.location("nenhum"), "info" });
        refusal(r,
            "O servidor do catálogo " + serverName + " não tem o banco de dados \"nenhum\".",
            "database \"nenhum\" does not exist");
        r = run({ "--catalogue", "postgresql://quillomar@127.0.0.1:1/x", "info" });
        refusal(r,
            "Não foi possível conectar ao servidor do catálogo 127.0.0.1:1: ele não responde "
            "(está desligado, ou fora de alcance).",
            "Connection refused");
        const QString passFile = m_dir.filePath("pgpass");
        QVERIFY(testsupport::writeFile(passFile,
            QStringLiteral("127.0.0.1:%1:*:quillomar_pw:%2\n")
                .arg(pg.port())
                .arg(testsupport::PgServer::password())
                .toUtf8()));
        QFile::setPermissions(passFile, QFile::ReadOwner | QFile::WriteOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PGPASSFILE", passFile);
        r = run({ "--catalogue", guarded, "tree" }, QString(), env);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, fileTree.out);

        // Or it is given in a file of its own, before the command.
        const QString given = m_dir.filePath("senha");
        QVERIFY(testsupport::writeFile(given, testsupport::PgServer::password().toUtf8() + "\n"));
        r = run({ "--catalogue", guarded, "--password-file", given, "tree" });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, fileTree.out);
        QVERIFY(testsupport::writeFile(given, "errada\n"));
        r = run({ "--catalogue", guarded, "--password-file", given, "tree" });
        refusal(r,
            "O servidor do catálogo " + serverName
                + " recusou a senha do usuário \"quillomar_pw\".",
            "password authentication failed for user \"quillomar_pw\"");
        QVERIFY(!r.err.contains("errada"));
        r = run({ "--catalogue", guarded, "--password-file", m_dir.filePath("nenhuma"), "tree" });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
    }

    void createWritesACatalogueAndRefusesAnExistingFile()
    {
        const QString path = m_dir.filePath("novo.mdb");
        Result r = run({ "create", path });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "Catálogo criado: " + path + "\n");
        QCOMPARE(r.err, QString());
        {
            RawDb raw(path);
            QCOMPARE(raw.scalar("SELECT count(*) FROM Formats"), QStringLiteral("22"));
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
        QVERIFY2(
            r.err.contains(QStringLiteral("não conseguiu abrir \"%1/quillomar.mdb\"").arg(folder)),
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
            " (Microsoft.Jet.OLEDB.4.0 não conseguiu abrir \"%1\": unable to open database file)")
                                  .arg(missing);
        QCOMPARE(r.err,
            "O provedor \"Microsoft.Jet.OLEDB.3.51\" não está disponível neste sistema" + cause
                + "\n"
                  "O driver ODBC \"Driver do Microsoft Access (*.mdb)\" não está disponível "
                  "neste sistema"
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

    void commandsStartedTogetherAddTheDefaultRowsOnce()
    {
        for (int round = 0; round < 3; ++round) {
            const QString path = m_dir.filePath(QStringLiteral("juntos%1.mdb").arg(round));
            Schema::createCatalogue(path, compiledVersion());
            std::vector<std::unique_ptr<QProcess>> runs;
            for (int i = 0; i < 6; ++i) {
                runs.push_back(std::make_unique<QProcess>());
                runs.back()->start(
                    testsupport::binDir() + "/quillomar-cli", { "--catalogue", path, "info" });
            }
            for (auto &p : runs) {
                QVERIFY(p->waitForFinished(60000));
                QCOMPARE(p->readAllStandardError(), QByteArray());
                QCOMPARE(p->exitCode(), 0);
            }
            RawDb raw(path);
            for (const char *table : { "Collections", "Categories", "Storages", "SMTPAccount" })
                QCOMPARE(raw.scalar(QStringLiteral("SELECT count(*) FROM ") + table),
                    QStringLiteral("1"));
        }
    }

    void aCatalogueInAFolderNobodyMayWriteIsRead()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("disco.mdb");
        QCOMPARE(run({ "create", path }).code, 0);
        QCOMPARE(run({ "--catalogue", path, "info" }).code, 0); // default rows made
        const QByteArray before = storetest::digest(path);
        testsupport::Unwritable readOnly(dir.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");
        const Result r = run({ "--catalogue", path, "info" });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, infoLines(path, "1 1 1 0"));
        QCOMPARE(storetest::digest(path), before);
    }

    void aKilledCreateLeavesNoHalfCatalogue()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("meio.mdb");
        // Killed as soon as anything shows in the folder: the real name must not be there.
        for (int round = 0; round < 3; ++round) {
            QProcess p;
            p.start(testsupport::binDir() + "/quillomar-cli", { "create", path });
            QVERIFY(p.waitForStarted());
            while (p.state() == QProcess::Running && storetest::listing(dir.path()).isEmpty()) { }
            p.kill();
            p.waitForFinished();
            if (QFileInfo::exists(path)) {
                // Only a run that finished first may leave the catalogue, whole.
                QCOMPARE(p.exitStatus(), QProcess::NormalExit);
                QCOMPARE(RawDb(path).scalar("SELECT count(*) FROM Formats"), QStringLiteral("22"));
                QVERIFY(QFile::remove(path));
            }
        }
        // What a killed run left does not stand in the way, and is cleared away.
        const Result r = run({ "create", path });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(storetest::listing(dir.path()), QStringList { "meio.mdb" });
        QCOMPARE(run({ "--catalogue", path, "info" }).out, infoLines(path, "1 1 1 0"));
    }

    void readersRunWhileALargeScanIsUnderWay()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("grande.mdb");
        QCOMPARE(run({ "create", path }).code, 0);
        QCOMPARE(run({ "--catalogue", path, "info" }).code, 0); // the default rows
        const QString pictures = QDir(dir.path()).filePath("fotos");
        QVERIFY(QDir().mkpath(pictures));
        for (int folder = 0; folder < 100; ++folder) {
            const QByteArray sub = QFile::encodeName(pictures) + "/p" + QByteArray::number(folder);
            QCOMPARE(::mkdir(sub.constData(), 0755), 0);
            for (int i = 0; i < 1000; ++i) {
                const QByteArray name = sub + "/f" + QByteArray::number(folder * 1000 + i) + ".jpg";
                const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
                QVERIFY(fd >= 0);
                ::close(fd);
            }
        }
        QProcess scan;
        scan.start(
            testsupport::binDir() + "/quillomar-cli", { "--catalogue", path, "scan", pictures });
        QVERIFY(scan.waitForStarted());
        // The scan holds the write lock once its transaction has begun.
        sqlite3 *probe = nullptr;
        QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &probe, SQLITE_OPEN_READWRITE, nullptr),
            SQLITE_OK);
        const auto scanHoldsTheLock = [probe] {
            if (sqlite3_exec(probe, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
                return true;
            sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        };
        while (scan.state() == QProcess::Running && !scanHoldsTheLock()) { }
        const Result info = run({ "--catalogue", path, "info" });
        const Result tree = run({ "--catalogue", path, "tree" });
        const bool stillScanning = scanHoldsTheLock();
        sqlite3_close(probe);
        QVERIFY(scan.waitForFinished(600000));
        QCOMPARE(scan.exitCode(), 0);
        QVERIFY2(stillScanning, "the scan ended before the readers did: no overlap was tested");
        QCOMPARE(info.err, QString());
        QCOMPARE(info.code, 0);
        QCOMPARE(tree.err, QString());
        QCOMPARE(tree.code, 0);
        QVERIFY(tree.out.contains("(undefined)"));
        QCOMPARE(RawDb(path).scalar("SELECT count(*) FROM Pictures"), QStringLiteral("100000"));
    }

    void theBuildShipsADefaultCatalogue()
    {
        const QString shipped = testsupport::binDir() + "/quillomar.mdb";
        QVERIFY2(QFileInfo::exists(shipped), qPrintable(shipped));
        RawDb raw(shipped);
        // A build keeps the catalogue it shipped before (it may be in use): the reference rows
        // of every release are there, newer ones come with its first scan.
        QCOMPARE(raw.scalar("SELECT count(*) FROM Formats WHERE Extension IN ('jpg', 'bmp', "
                            "'gif', 'png', 'tif', 'pcx', 'ico', 'emf', 'wmf')"),
            QStringLiteral("9"));
    }
};

QTEST_GUILESS_MAIN(TestStoreCli)
#include "test_store_cli.moc"
