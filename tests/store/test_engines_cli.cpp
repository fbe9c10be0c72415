#include "support/pgserver.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// Every command of quillomar-cli, run in the same order on a catalogue file and on a server
// catalogue holding the same rows: standard output, standard error and exit status must
// be the same, byte for byte (the catalogue's own location aside).
class TestEnginesCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cli; // a copy of the tool in a program folder of the test's own
    QString m_file;
    QString m_server;
    QString m_pictures;
    QStringList m_log; // what ran, for a failure's message

    struct Result {
        int code = -1;
        QByteArray out;
        QByteArray err;
    };

    Result run(const QString &catalogue, const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        p.start(m_cli, QStringList { "--catalogue", catalogue } + args);
        p.write(input);
        p.closeWriteChannel();
        Result r;
        if (!p.waitForFinished(120000))
            return r;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        // The catalogue names itself in some lines; everything else must match.
        r.out.replace(catalogue.toUtf8(), "CATALOGUE");
        r.err.replace(catalogue.toUtf8(), "CATALOGUE");
        // The provider is the one line that names the engine; each catalogue has its own
        // identity, which names its thumbnail folder.
        r.out.replace("Provider=PostgreSQL;", "Provider=Microsoft.Jet.OLEDB.4.0;");
        static const QRegularExpression identity(QStringLiteral("/thumbs/[0-9a-f-]{36}/"));
        r.out = QString::fromUtf8(r.out).replace(identity, "/thumbs/ID/").toUtf8();
        r.err = QString::fromUtf8(r.err).replace(identity, "/thumbs/ID/").toUtf8();
        return r;
    }

    enum class Order { Same, OfNames };

    // Runs the command on both engines and compares; returns the file's result. Order::
    // OfNames: the lines are ordered by the engine's name order, which differs between the
    // engines for names with letters beyond ASCII (the file's NOCASE orders those after
    // "z"); the same lines must come, in the same order wherever only ASCII decides.
    Result both(const QStringList &args, const QByteArray &input = {}, Order order = Order::Same)
    {
        m_log << args.join(' ');
        const Result file = run(m_file, args, input);
        Result server = run(m_server, args, input);
        if (order == Order::OfNames) {
            auto sorted = [](const QByteArray &text) {
                QList<QByteArray> lines = text.split('\n');
                std::sort(lines.begin(), lines.end());
                return lines;
            };
            if (sorted(server.out) == sorted(file.out))
                server.out = file.out; // else compared, and told, below
        }
        const QByteArray where = "after: " + m_log.join(" | ").toUtf8();
        if (server.out != file.out || server.err != file.err || server.code != file.code) {
            qWarning().noquote() << args.join(" ") << "file:" << file.code << file.out << file.err;
            qWarning().noquote() << "server:" << server.code << server.out << server.err;
        }
        [&] {
            QVERIFY2(file.code >= 0, where.constData());
            QCOMPARE(server.code, file.code);
            QCOMPARE(server.err, file.err);
            QCOMPARE(server.out, file.out);
        }();
        return file;
    }

    // Both trees after a change, and the counts.
    void compareAll()
    {
        both({ "tree" });
        both({ "tree", "--folders" });
        both({ "info" });
        both({ "search", "" }, {}, Order::OfNames);
        both({ "search", "serra" });
        both({ "storages" });
    }

    void writePicture(const QString &path, int width, int height)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(testsupport::writeFile(path, samples::jpeg(width, height)));
    }

private slots:
    void initTestCase()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        QVERIFY2(pg.isRunning(), qPrintable(pg.error()));
        QVERIFY(QDir().mkpath(m_dir.filePath("programa")));
        m_cli = m_dir.filePath("programa/quillomar-cli");
        QVERIFY(QFile::copy(testsupport::binDir() + "/quillomar-cli", m_cli));
        m_server = pg.createDatabase("motores");
        m_file = m_dir.filePath("catalogo.mdb");
        QProcess create;
        for (const QString &catalogue : { m_file, m_server }) {
            create.start(m_cli, { "create", catalogue });
            QVERIFY(create.waitForFinished(60000));
            QVERIFY2(create.exitCode() == 0, create.readAllStandardError().constData());
        }
        m_pictures = m_dir.filePath("fotos");
        writePicture(m_pictures + "/Praia.JPG", 320, 200);
        writePicture(m_pictures + "/serra.jpg", 200, 320);
        writePicture(m_pictures + "/Férias/Água.jpg", 400, 300);
        writePicture(m_pictures + "/Férias/agua.jpeg", 400, 300);
        writePicture(m_pictures + "/Férias/Ábaco.jpg", 64, 64);
        writePicture(m_pictures + "/Férias/zebra.jpg", 64, 64);
        // An exact copy of another, for the duplicates.
        QVERIFY(QFile::copy(m_pictures + "/Praia.JPG", m_pictures + "/Férias/copia.jpg"));
        QVERIFY(testsupport::writeFile(m_pictures + "/Férias/desenho.png",
            samples::encoded(samples::gradient(90, 60), "png")));
        QVERIFY(testsupport::writeFile(m_pictures + "/nota.txt", "não é imagem"));
    }

    void everyCommandGivesTheSameOutputOnBothEngines()
    {
        // Records, refusals and names ordered in Portuguese over case and accents.
        for (const QStringList &args : { QStringList { "new", "collection", "Viagens" },
                 QStringList { "new", "collection", "álbum" },
                 QStringList { "new", "collection", "Album" },
                 QStringList { "new", "collection", "ÁLBUM" },
                 QStringList { "new", "collection", "VIAGENS" },
                 QStringList { "new", "category", "2", "Praia" },
                 QStringList { "new", "category", "2", "praia" },
                 QStringList { "new", "category", "3", "Éden" },
                 QStringList { "new", "category", "3", "Ema" },
                 QStringList { "new", "storage", "Disco", m_pictures },
                 QStringList { "new", "storage", "disco", "/" } }) {
            both(args);
            if (qEnvironmentVariableIsEmpty("QM_ALL") && QTest::currentTestFailed())
                return;
        }
        compareAll();

        // A scan into a chosen collection and category, and what it then shows.
        both({ "scan", m_pictures, "--collection", "2", "--category", "2" });
        compareAll();
        both({ "search", "ÁGUA" }); // letter case folded over Unicode, the accent typed kept
        both({ "search", "agua" }, {}, Order::OfNames); // typed without: any accent
        both({ "search", "%.JPG" }, {}, Order::OfNames);
        for (const QStringList &args : { QStringList { "search", "praia" },
                 QStringList { "search", "agua" }, QStringList { "search", "_ra%" },
                 QStringList { "search", "nada disso" }, QStringList { "stats", "collection", "2" },
                 QStringList { "stats", "category", "2" }, QStringList { "stats", "storage", "1" },
                 QStringList { "stats", "storage", "2" }, QStringList { "stats", "storage", "99" },
                 QStringList { "check" } }) {
            both(args);
            if (qEnvironmentVariableIsEmpty("QM_ALL") && QTest::currentTestFailed())
                return;
        }

        // Thumbnails and fingerprints, and what they find.
        both({ "thumbs", "--jobs", "1" });
        both({ "duplicates" });
        both({ "duplicates", "--similar" });
        both({ "facts", "1", "2", "3", "4", "5", "6", "7", "8" });
        both({ "search", "--taken", "1990..2030" });
        both({ "search", "a", "--camera", "canon" });
        both({ "check" });

        // Edits, moves, relinks, copies.
        for (const QStringList &args : { QStringList { "rename", "picture", "1", "Nova praia" },
                 QStringList { "rename", "picture", "2", "NOVA PRAIA" },
                 QStringList { "rename", "collection", "3", "Zé" },
                 QStringList { "rename", "category", "3", "Éden" },
                 QStringList { "rename", "storage", "4", "DISCO" },
                 QStringList { "move", "--collection", "3", "--category", "4", "1", "2", "99" },
                 QStringList { "move", "--collection", "3", "--category", "2", "1" },
                 QStringList { "new", "picture", m_pictures + "/serra.jpg", "--collection", "2",
                     "--category", "3", "--name", "Outra serra" },
                 QStringList { "relink", "3", m_pictures + "/Férias/zebra.jpg" },
                 QStringList { "copy", m_dir.filePath("copias"), "1", "3", "98" } }) {
            if (args.first() == "copy")
                QVERIFY(QDir().mkpath(m_dir.filePath("copias")));
            both(args);
            if (qEnvironmentVariableIsEmpty("QM_ALL") && QTest::currentTestFailed())
                return;
        }
        both({ "move", "--collection", "2", "--category", "2", "-" }, "4\n5\n");
        compareAll();

        // Settings kept in the catalogue.
        both({ "mail-server", "--host", "smtp.exemplo.pt", "--port", "587", "--user", "ana",
            "--name", "Ana Sá", "--email", "ana@exemplo.pt", "--security", "starttls" });
        both({ "mail-server" });
        both({ "ftp-account", "1" });

        // A rescan that finds nothing new, then one that finds a changed and a new file.
        both({ "scan", m_pictures, "--collection", "2", "--category", "2" });
        writePicture(m_pictures + "/Férias/nova.jpg", 50, 40);
        writePicture(m_pictures + "/serra.jpg", 210, 330);
        both({ "scan", m_pictures, "--collection", "2", "--category", "2" });
        compareAll();
        both({ "thumbs" });
        both({ "check" });

        // Deletions, cascades and the refusal of system rows.
        for (const QStringList &args : { QStringList { "delete", "picture", "5" },
                 QStringList { "delete", "collection", "1" },
                 QStringList { "delete", "category", "2" },
                 QStringList { "delete", "storage", "4" }, QStringList { "delete", "picture", "5" } }) {
            both(args);
            if (qEnvironmentVariableIsEmpty("QM_ALL") && QTest::currentTestFailed())
                return;
        }
        compareAll();
        both({ "check" });
        both({ "check", "--repair" });
        both({ "duplicates" });
    }

    // Runs after the test above, on the catalogue it left (thumbnails and fingerprints
    // included): copied to a server and back, every command shows the same.
    void copyCatalogueRoundTripsBetweenEngines()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        const QString there = pg.createDatabase("copia");
        const QString back = m_dir.filePath("volta.mdb");
        QProcess copy;
        copy.start(m_cli, { "copy-catalogue", m_file, there });
        QVERIFY(copy.waitForFinished(120000));
        QVERIFY2(copy.exitCode() == 0, copy.readAllStandardError().constData());
        const QByteArray toServer = copy.readAllStandardOutput();
        copy.start(m_cli, { "copy-catalogue", there, back });
        QVERIFY(copy.waitForFinished(120000));
        QVERIFY2(copy.exitCode() == 0, copy.readAllStandardError().constData());
        const QByteArray toFile = copy.readAllStandardOutput();
        // The same rows and thumbnails each way.
        QVERIFY2(toServer.contains(" miniaturas") && !toServer.contains(" 0 miniaturas"),
            toServer.constData());
        QCOMPARE(toFile.mid(toFile.lastIndexOf(": ")), toServer.mid(toServer.lastIndexOf(": ")));

        for (const QStringList &args : { QStringList { "tree" }, QStringList { "info" },
                 QStringList { "storages" }, QStringList { "search", "serra" },
                 QStringList { "stats", "collection", "2" }, QStringList { "duplicates" },
                 QStringList { "duplicates", "--similar" }, QStringList { "mail-server" },
                 QStringList { "check" }, QStringList { "thumbs" } }) {
            const Result original = run(m_file, args);
            for (const QString &copied : { there, back }) {
                const Result r = run(copied, args);
                QCOMPARE(r.code, original.code);
                QCOMPARE(r.err, original.err);
                QCOMPARE(r.out, original.out);
            }
        }
        // Keys go on past the copied ones.
        const Result added = run(there, { "new", "collection", "Depois da cópia" });
        QCOMPARE(added.out, run(back, { "new", "collection", "Depois da cópia" }).out);
        QCOMPARE(run(there, { "tree" }).out, run(back, { "tree" }).out);
        // A target that exists is refused.
        copy.start(m_cli, { "copy-catalogue", m_file, back });
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(copy.exitCode(), 1);
    }

    void scansOfTwoMachinesAtOnceLoseNoRow()
    {
        // Two folders of many files each, scanned into one catalogue by two processes at
        // once, on each engine.
        QStringList folders;
        for (const char *name : { "maquina1", "maquina2" }) {
            const QString folder = m_dir.filePath(name);
            QVERIFY(QDir().mkpath(folder));
            for (int i = 0; i < 300; ++i)
                QVERIFY(testsupport::writeFile(
                    QStringLiteral("%1/%2_%3.jpg").arg(folder, name).arg(i), QByteArray::number(i)));
            folders << folder;
        }
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        const QString server = pg.createDatabase("juntos");
        const QString file = m_dir.filePath("juntos.mdb");
        for (const QString &catalogue : { file, server }) {
            QProcess create;
            create.start(m_cli, { "create", catalogue });
            QVERIFY(create.waitForFinished(60000));
            QCOMPARE(create.exitCode(), 0);
            QProcess a, b;
            a.start(m_cli, { "--catalogue", catalogue, "scan", folders[0] });
            b.start(m_cli, { "--catalogue", catalogue, "scan", folders[1] });
            QVERIFY(a.waitForFinished(120000));
            QVERIFY(b.waitForFinished(120000));
            QVERIFY2(a.exitCode() == 0, a.readAllStandardError().constData());
            QVERIFY2(b.exitCode() == 0, b.readAllStandardError().constData());
            const Result counts = run(catalogue, { "info" });
            QVERIFY2(counts.out.endsWith("Imagens: 600\n"), counts.out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestEnginesCli)
#include "test_engines_cli.moc"
