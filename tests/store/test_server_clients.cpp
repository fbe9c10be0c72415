// Several clients of one catalogue on the test's PostgreSQL server at once, each a
// quillomar-cli process: a scan's open transaction and what other machines may do
// meanwhile, names saved at the same moment, scans at once, and the server going down in
// the middle of a scan.
#include "storetesthelpers.h"
#include "support/picturesamples.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using storetest::RawDb;

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run runCli(const QString &location, const QStringList &args)
{
    QProcess p;
    p.start(testsupport::binDir() + "/quillomar-cli", QStringList { "--catalogue", location } + args);
    if (!p.waitForFinished(300000))
        qFatal("quillomar-cli did not end: %s", qPrintable(args.join(' ')));
    Run r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A key a command wrote on its first line.
QString keyOf(const Run &r)
{
    return r.out.section(QLatin1Char('\n'), 0, 0).trimmed();
}

// `count` empty picture files in `folders` subfolders of `root`, their names starting with
// `prefix`.
void makeFiles(const QString &root, int folders, int count, const QByteArray &prefix = "f")
{
    for (int folder = 0; folder < folders; ++folder) {
        const QByteArray sub = QFile::encodeName(root) + "/p" + QByteArray::number(folder);
        if (::mkdir(sub.constData(), 0755) != 0)
            qFatal("mkdir failed");
        for (int i = 0; i < count / folders; ++i) {
            const QByteArray name
                = sub + '/' + prefix + QByteArray::number(folder * (count / folders) + i) + ".jpg";
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
            if (fd < 0)
                qFatal("open failed");
            ::close(fd);
        }
    }
}

// Whether a started process still runs (its state read afresh).
bool running(QProcess &p)
{
    p.waitForFinished(0);
    return p.state() != QProcess::NotRunning;
}

} // namespace

class TestServerClients : public QObject {
    Q_OBJECT

    testsupport::PgServer &server() { return testsupport::PgServer::instance(); }

    // A new catalogue on the server with its default rows.
    QString catalogue()
    {
        if (!server().isRunning())
            qFatal("the test's PostgreSQL server did not start: %s", qPrintable(server().error()));
        const QString location = server().createDatabase();
        const Run created = runCli(location, { "create", location });
        if (created.code != 0)
            qFatal("create failed: %s", qPrintable(created.err));
        if (runCli(location, { "info" }).code != 0)
            qFatal("info failed");
        return location;
    }

    // Stops a scan's process once its transaction has written (the server gave it a
    // transaction id), the transaction still open; false when it ended before.
    static bool stopScanWhileWriting(QProcess &scan, RawDb &probe)
    {
        const auto writing = [&probe] {
            return probe.scalar("SELECT count(*) FROM pg_stat_activity WHERE application_name "
                                "= 'quillomar' AND backend_xid IS NOT NULL")
                != QLatin1String("0");
        };
        while (running(scan) && !writing()) { }
        if (!running(scan))
            return false;
        ::kill(pid_t(scan.processId()), SIGSTOP);
        return writing();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(server().isRunning(), qPrintable(server().error()));
    }

    void aScanNeverHoldsUpAnotherMachinesEdits()
    {
        const QString location = catalogue();
        QTemporaryDir dir;
        // What the other machine will edit, made before the scan.
        const QString trips = keyOf(runCli(location, { "new", "collection", "Viagens" }));
        const QString old = keyOf(runCli(location, { "new", "collection", "Velha" }));
        const QString beach
            = keyOf(runCli(location, { "new", "category", trips, "Praia" }));
        const QString archive
            = keyOf(runCli(location, { "new", "storage", "Arquivo", "/mnt/arquivo" }));
        QVERIFY(testsupport::writeFile(dir.filePath("avulsa.jpg"), samples::jpeg(20, 20)));
        QVERIFY(testsupport::writeFile(dir.filePath("outra.jpg"), samples::jpeg(24, 20)));
        const Run picture = runCli(location, { "new", "picture", dir.filePath("avulsa.jpg") });
        QVERIFY2(picture.code == 0, qPrintable(picture.err));
        const QString single = keyOf(picture);
        for (const QString &key : { trips, old, beach, archive, single })
            QVERIFY(key.toLongLong() > 0);

        const QString pictures = dir.filePath("fotos");
        QVERIFY(QDir().mkpath(pictures));
        makeFiles(pictures, 20, 6000);
        RawDb probe(location);
        QProcess scan;
        scan.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", location, "scan", pictures });
        QVERIFY(scan.waitForStarted());
        const bool overlapped = stopScanWhileWriting(scan, probe);
        // Whatever happens below, the scan goes on at the end.
        const auto resume = qScopeGuard([&scan] { ::kill(pid_t(scan.processId()), SIGCONT); });
        QVERIFY2(overlapped, "the scan ended before its rows were seen: no overlap was tested");

        // The scan's transaction stays open (its process is stopped) while another machine
        // browses, searches, adds, edits, moves and deletes: none of it may wait for the scan,
        // which would never let go.
        const QList<QStringList> commands {
            { "tree" },
            { "search", "avulsa" },
            { "new", "collection", "Nova" },
            { "rename", "collection", trips, "Viagens de férias" },
            { "rename", "category", beach, "Praias" },
            { "rename", "storage", archive, "Arquivo morto" },
            { "rename", "picture", single, "Retrato" },
            { "move", single, "--collection", trips, "--category", beach },
            { "delete", "collection", old, "--force" },
        };
        for (const QStringList &args : commands) {
            const Run r = runCli(location, args);
            QVERIFY2(r.code == 0, qPrintable(args.join(' ') + ": " + r.err));
        }
        QCOMPARE(probe.scalar("SELECT count(*) FROM pg_stat_activity WHERE backend_xid IS NOT "
                              "NULL AND application_name = 'quillomar'"),
            QStringLiteral("1")); // still the scan's, open

        // A picture of a file no row had may be the very file the scan is adding: it waits for
        // the scan, a bounded wait, then says so, and nothing of it is written.
        const Run late = runCli(location, { "new", "picture", dir.filePath("outra.jpg") });
        QCOMPARE(late.code, 1);
        QCOMPARE(late.err, QString::fromUtf8(storetest::serverBusyText()) + '\n');
        QCOMPARE(probe.scalar("SELECT count(*) FROM Pictures WHERE FileName = 'outra.jpg'"),
            QStringLiteral("0"));

        ::kill(pid_t(scan.processId()), SIGCONT);
        QVERIFY(scan.waitForFinished(300000));
        QVERIFY2(scan.exitCode() == 0, scan.readAllStandardError().constData());
        QCOMPARE(probe.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("6001"));
        QCOMPARE(probe.column("SELECT Name FROM Collections ORDER BY RecId"),
            QStringList({ "(undefined)", "Viagens de férias", "Nova" }));
        QCOMPARE(probe.column("SELECT Name FROM Categories WHERE Collection = " + trips),
            QStringList({ "Praias" }));
        QCOMPARE(probe.scalar("SELECT Name FROM Storages WHERE RecId = " + archive),
            QStringLiteral("Arquivo morto"));
        QCOMPARE(probe.rows("SELECT Name, Collection, Category FROM Pictures WHERE RecId = "
                     + single),
            QList<QStringList>({ { "Retrato", trips, beach } }));
        // Once the scan is over, the other file is taken.
        QCOMPARE(runCli(location, { "new", "picture", dir.filePath("outra.jpg") }).code, 0);
    }

    void theServerGoingDownMidScanLeavesNothingOfIt()
    {
        const QString location = catalogue();
        QTemporaryDir dir;
        const QString pictures = dir.filePath("fotos");
        QVERIFY(QDir().mkpath(pictures));
        makeFiles(pictures, 10, 4000);
        QProcess scan;
        {
            RawDb probe(location);
            scan.start(testsupport::binDir() + "/quillomar-cli",
                { "--catalogue", location, "scan", pictures });
            QVERIFY(scan.waitForStarted());
            QVERIFY2(stopScanWhileWriting(scan, probe),
                "the scan ended before its rows were seen: nothing was cut off");
        }
        // What was committed is on disk first, as a server that commits synchronously keeps
        // it; the test's server does not.
        server().exec(testsupport::PgServer::databaseOf(location), "CHECKPOINT");
        server().stop();
        ::kill(pid_t(scan.processId()), SIGCONT);
        QVERIFY(scan.waitForFinished(300000));
        const QString err = QString::fromUtf8(scan.readAllStandardError());
        QCOMPARE(scan.exitCode(), 1);
        QVERIFY2(err.startsWith("A conexão com o servidor do catálogo caiu"), qPrintable(err));
        QVERIFY(server().start());

        RawDb after(location);
        QCOMPARE(after.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("0"));
        const Run again = runCli(location, { "scan", pictures });
        QVERIFY2(again.code == 0, qPrintable(again.err));
        QCOMPARE(after.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("4000"));
        QCOMPARE(after.scalar("SELECT count(DISTINCT FileName) FROM Pictures"),
            QStringLiteral("4000"));
    }

    void namesSavedAtOnceAreTakenOnce()
    {
        const QString location = catalogue();
        // Several machines save one name at the same moment: one wins, the others are told
        // it is taken; never two rows.
        const auto race = [&](const QList<QStringList> &commands) {
            std::vector<std::unique_ptr<QProcess>> running;
            for (const QStringList &args : commands) {
                running.push_back(std::make_unique<QProcess>());
                running.back()->start(testsupport::binDir() + "/quillomar-cli",
                    QStringList { "--catalogue", location } + args);
            }
            int succeeded = 0;
            for (const auto &p : running) {
                if (!p->waitForFinished(120000))
                    qFatal("quillomar-cli did not end");
                succeeded += p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
            }
            return succeeded;
        };
        RawDb raw(location);
        const auto count = [&raw](const QString &where) {
            return raw.scalar("SELECT count(*) FROM " + where).toInt();
        };
        for (int t = 0; t < 8; ++t) {
            // Letter case differs: still one name.
            const QString name = QStringLiteral("Férias%1").arg(t);
            QCOMPARE(race({ { "new", "collection", name }, { "new", "collection", name.toUpper() },
                         { "new", "collection", name.toLower() }, { "new", "collection", name } }),
                1);
            QCOMPARE(count("Collections WHERE lower(Name) = lower('" + name + "')"), 1);

            const QString place = QStringLiteral("Local%1").arg(t);
            const QStringList store { "new", "storage", place, "/mnt" };
            QCOMPARE(race({ store, store, store, store }), 1);
            QCOMPARE(count("Storages WHERE Name = '" + place + "'"), 1);

            QList<QStringList> renames;
            for (int i = 0; i < 4; ++i) {
                const QString key = keyOf(
                    runCli(location, { "new", "collection", QStringLiteral("R%1.%2").arg(t).arg(i) }));
                renames << QStringList { "rename", "collection", key,
                    QStringLiteral("Novo%1").arg(t) };
            }
            QCOMPARE(race(renames), 1);
            QCOMPARE(count(QStringLiteral("Collections WHERE Name = 'Novo%1'").arg(t)), 1);

            const QString category = QStringLiteral("Cat%1").arg(t);
            const QStringList add { "new", "category", "1", category };
            QCOMPARE(race({ add, add, add }), 1);
            QCOMPARE(count("Categories WHERE Name = '" + category + "'"), 1);
        }
    }

    void scansOfOneFolderAtOnceAddEachFileOnce()
    {
        const QString location = catalogue();
        QTemporaryDir dir;
        const QString pictures = dir.filePath("fotos");
        QVERIFY(QDir().mkpath(pictures));
        makeFiles(pictures, 4, 4000);
        // The drive's storage is there already: a scan writes nothing else before its files.
        const QString before = dir.filePath("antes");
        QVERIFY(QDir().mkpath(before));
        makeFiles(before, 1, 1, "antes");
        QCOMPARE(runCli(location, { "scan", before }).code, 0);
        RawDb raw(location);
        // The first scan is held with its rows written, not committed; the second one,
        // started meanwhile, cannot see them: it must wait for the first to end.
        QProcess first;
        first.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", location, "scan", pictures });
        QVERIFY(first.waitForStarted());
        const bool overlapped = stopScanWhileWriting(first, raw);
        const auto resume = qScopeGuard([&first] { ::kill(pid_t(first.processId()), SIGCONT); });
        QVERIFY2(overlapped, "the first scan ended before its rows were seen");
        QProcess second;
        second.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", location, "scan", pictures });
        QVERIFY(second.waitForStarted());
        const auto waiting = [&raw] {
            return raw.scalar("SELECT count(*) FROM pg_locks WHERE NOT granted") != "0";
        };
        while (running(second) && !waiting()) { }
        ::kill(pid_t(first.processId()), SIGCONT);
        for (QProcess *p : { &first, &second }) {
            p->waitForFinished(300000);
            QCOMPARE(p->state(), QProcess::NotRunning);
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        QCOMPARE(raw.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("4001"));
        QCOMPARE(raw.scalar("SELECT count(DISTINCT FullPath || FileName) FROM Pictures"),
            QStringLiteral("4001"));
        // And scans of other folders at once lose none of their rows.
        std::vector<std::unique_ptr<QProcess>> scans;
        for (int i = 0; i < 3; ++i) {
            const QString other = dir.filePath(QStringLiteral("outras%1").arg(i));
            QVERIFY(QDir().mkpath(other));
            makeFiles(other, 2, 1000, "o" + QByteArray::number(i) + '_');
        }
        for (int i = 0; i < 3; ++i) {
            scans.push_back(std::make_unique<QProcess>());
            scans.back()->start(testsupport::binDir() + "/quillomar-cli",
                { "--catalogue", location, "scan", dir.filePath(QStringLiteral("outras%1").arg(i)) });
        }
        for (const auto &p : scans) {
            QVERIFY(p->waitForFinished(300000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        QCOMPARE(raw.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("7001"));
    }
};

QTEST_GUILESS_MAIN(TestServerClients)
#include "test_server_clients.moc"
