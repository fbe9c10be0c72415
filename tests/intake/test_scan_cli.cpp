#include "test_scan_fixture.h"

#include "intake/drivelist.h"
#include "intake/storagefordrive.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

QString cliPath()
{
    return testsupport::binDir() + QStringLiteral("/quillomar-cli");
}

// fileSizeLimit > 0: the child may write no file larger than that, as on a full disk.
CliRun runCli(const QStringList &args, qint64 fileSizeLimit = 0)
{
    QProcess p;
    if (fileSizeLimit > 0) {
        p.setChildProcessModifier([fileSizeLimit] {
            ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing
            const rlimit limit { rlim_t(fileSizeLimit), rlim_t(fileSizeLimit) };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    p.start(cliPath(), args);
    CliRun run;
    if (!p.waitForFinished(120000))
        return run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

// Runs the command with standard error on a terminal (standard output stays a pipe) and
// sends Ctrl-C once the live status line counts a file.
struct TerminalRun {
    int exitCode = -1;
    bool interrupted = false;
    QByteArray terminal;
    QByteArray out;
};

TerminalRun runOnTerminalAndInterrupt(const QStringList &args)
{
    TerminalRun run;
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return run;
    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return run;
    const QByteArray program = QFile::encodeName(cliPath());
    QList<QByteArray> argBytes;
    for (const QString &a : args)
        argBytes << a.toUtf8();
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.constData()));
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(slave, 2);
        ::execv(program.constData(), argv.data());
        ::_exit(127);
    }
    ::close(slave);
    ::close(outPipe[1]);

    const QRegularExpression counting(QStringLiteral("Rastreados [1-9]"));
    pollfd fds[2] = { { master, POLLIN, 0 }, { outPipe[0], POLLIN, 0 } };
    bool masterOpen = true;
    bool outOpen = true;
    char buffer[4096];
    while (masterOpen || outOpen) {
        if (::poll(fds, 2, 120000) <= 0)
            break;
        if (masterOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                masterOpen = false;
                fds[0].fd = -1;
            } else {
                run.terminal.append(buffer, n);
                if (!run.interrupted
                    && counting.match(QString::fromUtf8(run.terminal)).hasMatch()) {
                    ::kill(pid, SIGINT);
                    run.interrupted = true;
                }
            }
        }
        if (outOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(outPipe[0], buffer, sizeof buffer);
            if (n <= 0) {
                outOpen = false;
                fds[1].fd = -1;
            } else {
                run.out.append(buffer, n);
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    ::close(outPipe[0]);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

class TestScanCli : public QObject {
    Q_OBJECT

private slots:
    void validationTextsGoToStandardError()
    {
        ScanFixture f;
        f.exec("INSERT INTO Collections (Name, System) VALUES ('Viagens', FALSE)");
        const QString trips
            = f.scalar("SELECT RecId FROM Collections WHERE Name = 'Viagens'").toString();
        f.exec(
            "INSERT INTO Categories (Collection, Name, System) VALUES (" + trips + ", 'Roma', FALSE)");
        const QString rome
            = f.scalar("SELECT RecId FROM Categories WHERE Name = 'Roma'").toString();
        const QString defaultCategory = QString::number(f.store->DefaultCategoryId);
        f.store.reset();
        QVERIFY(f.file("a.jpg"));
        const QStringList base = { "--catalogue", f.catalogue, "scan" };

        struct Case {
            QStringList args;
            QString err;
        };
        const QList<Case> cases = {
            { { f.tree("nada") }, "Caminho inválido!\n" },
            { { f.tree("a.jpg") }, "Caminho inválido!\n" },
            { { f.tree("nada"), "--collection", "9999" }, "Caminho inválido!\n" },
            { { f.tree(), "--collection", "9999" }, "Coleção inválida!\n" },
            { { f.tree(), "--collection", "abc" }, "Coleção inválida!\n" },
            { { f.tree(), "--collection", trips }, "Categoria inválida!\n" },
            { { f.tree(), "--collection=" + trips, "--category", defaultCategory },
                "Categoria inválida!\n" },
            { { f.tree(), "--category", rome }, "Categoria inválida!\n" },
        };
        for (const Case &c : cases) {
            const CliRun r = runCli(base + c.args);
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(r.err, c.err);
            QVERIFY(r.out.isEmpty());
        }
        QCOMPARE(runCli(base).exitCode, 2);
        QCOMPARE(runCli(base + QStringList { f.tree(), "--recursivo" }).exitCode, 2);
        QCOMPARE(runCli(base + QStringList { f.tree(), f.tree() }).exitCode, 2);
        QCOMPARE(runCli(base + QStringList { f.tree(), "--collection" }).exitCode, 2);
        QCOMPARE(f.count("Pictures"), 0);
    }

    void scanPrintsTheFinalStatusLine()
    {
        ScanFixture f;
        f.exec("UPDATE Storages SET Unit = 'nenhuma'");
        f.exec("INSERT INTO Collections (Name, System) VALUES ('Viagens', FALSE)");
        const qint64 trips
            = f.scalar("SELECT RecId FROM Collections WHERE Name = 'Viagens'").toLongLong();
        f.exec(QStringLiteral(
            "INSERT INTO Categories (Collection, Name, System) VALUES (%1, 'Roma', FALSE)")
                   .arg(trips));
        const qint64 rome
            = f.scalar("SELECT RecId FROM Categories WHERE Name = 'Roma'").toLongLong();
        const qint64 defaultCollection = f.store->DefaultCollectionId;
        f.store.reset();
        QVERIFY(f.file("a.jpg"));
        QVERIFY(f.file("sub/b.gif"));
        QVERIFY(f.file("sub/c.JPEG"));
        QVERIFY(f.file("sub/d.txt"));
        const QStringList base = { "--catalogue", f.catalogue, "scan" };

        CliRun r = runCli(base + QStringList { f.tree() });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Rastreados 3 arquivos 3 novos\n"));
        QCOMPARE(r.err, QString()); // not a terminal: no live line
        QCOMPARE(f.scalar("SELECT count(*) FROM Pictures WHERE Collection = "
                      + QString::number(defaultCollection))
                     .toInt(),
            3);
        const QString drive = driveOfPath(f.tree());
        QCOMPARE(
            f.scalar(QStringLiteral("SELECT Name FROM Storages WHERE Unit = '%1' AND System = TRUE")
                         .arg(drive))
                .toString(),
            DriveList::displayName(drive));

        r = runCli(base + QStringList { f.tree() });
        QCOMPARE(r.out, QStringLiteral("Rastreados 3 arquivos 3 já catalogados anteriormente\n"));

        QVERIFY(f.file("e.png"));
        r = runCli(base
            + QStringList { "--no-subfolders", f.tree(), "--collection", QString::number(trips),
                "--category=" + QString::number(rome) });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out,
            QStringLiteral("Rastreados 2 arquivos 1 novos 1 já catalogados anteriormente\n"));
        QCOMPARE(
            f.scalar("SELECT Collection || '/' || Category FROM Pictures WHERE FileName = 'e.png'")
                .toString(),
            QStringLiteral("%1/%2").arg(trips).arg(rome));
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void failedCommitCountsOnlyWhatWasStored()
    {
        QM_FILE_ONLY("a full disk under the catalogue file");
        ScanFixture f;
        f.store.reset(); // the default rows are in the file: the scan's commit is the only write
        for (int i = 0; i < 3000; ++i)
            QVERIFY(
                f.file(QStringLiteral("pasta-de-fotos-%1/foto-numero-%2.jpg").arg(i % 10).arg(i)));
        const qint64 room = QFileInfo(f.catalogue).size() + 256 * 1024;
        const CliRun r = runCli({ "--catalogue", f.catalogue, "scan", f.tree() }, room);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QStringLiteral("Rastreados 3000 arquivos\n"));
        QVERIFY2(r.err.contains("disk"), qPrintable(r.err)); // the engine's own message
        QCOMPARE(f.count("Pictures"), 0);
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void ctrlCCancelsAndNothingStays()
    {
        ScanFixture f;
        f.exec("UPDATE Storages SET Unit = 'nenhuma'");
        f.store.reset();
        const int storages = f.count("Storages");
        // Big enough that the scan is still running when the signal arrives; grown and tried
        // again if a fast machine finishes first.
        int files = 0;
        for (int attempt = 0; attempt < 4; ++attempt) {
            const int target = 20000 << attempt;
            for (; files < target; ++files)
                QVERIFY(f.file(QStringLiteral("d%1/f%2.jpg").arg(files % 50).arg(files)));
            const TerminalRun r
                = runOnTerminalAndInterrupt({ "--catalogue", f.catalogue, "scan", f.tree() });
            QVERIFY2(r.interrupted || r.exitCode != 0, r.terminal.constData());
            if (r.exitCode == 0) {
                f.exec("DELETE FROM Pictures");
                f.exec("DELETE FROM Storages WHERE Unit <> 'nenhuma'");
                continue; // finished before Ctrl-C landed
            }
            QCOMPARE(r.exitCode, 130);
            QVERIFY(r.terminal.contains("\rRastreados "));
            QVERIFY(r.terminal.contains("Cancelando a operação. Aguarde..."));
            QVERIFY(r.out.isEmpty());
            QCOMPARE(f.count("Pictures"), 0);
            QCOMPARE(f.count("Storages"), storages);
            QCOMPARE(f.integrity(), QStringLiteral("ok"));
            return;
        }
        QFAIL("every scan ended before the interrupt arrived");
    }
};

QTEST_GUILESS_MAIN(TestScanCli)
#include "test_scan_cli.moc"
