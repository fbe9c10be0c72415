#include "cli/keyarguments.h"
#include "core/versiontools.h"
#include "store/schema.h"
#include "support/testsupport.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QtTest>

#include <cstdio>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray checksum(const QString &path)
{
    return QCryptographicHash::hash(testsupport::readFile(path), QCryptographicHash::Sha1);
}

} // namespace

class TestCliFrame : public QObject {
    Q_OBJECT
    QString cli() const { return testsupport::binDir() + "/quillomar-cli"; }

    // stdoutFile: where standard output goes instead of a pipe.
    Run run(const QStringList &args, const QString &stdoutFile = QString(),
        const QString &workingDir = QString(), const QProcessEnvironment &env = {})
    {
        QProcess p;
        if (!stdoutFile.isEmpty())
            p.setStandardOutputFile(stdoutFile);
        if (!workingDir.isEmpty())
            p.setWorkingDirectory(workingDir);
        if (!env.isEmpty())
            p.setProcessEnvironment(env);
        p.start(cli(), args);
        Run r;
        if (!p.waitForFinished(120000))
            return r;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

private slots:
    void versionAndHelpAnswerOnStandardOutput()
    {
        Run r = run({ "--version" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Quillomar versão 1.0.0.9\n"));
        QVERIFY(r.err.isEmpty());
        r = run({ "--help" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("quillomar-cli"));
        for (const QStringList &args : { QStringList { "scan", "--help" }, { "--help", "scan" } }) {
            r = run(args);
            QCOMPARE(r.exitCode, 0);
            QVERIFY(
                r.out.contains("scan PASTA [--no-subfolders] [--collection ID] [--category ID]"));
            QVERIFY(r.err.isEmpty());
        }
    }

    void badCommandLinesAreUsageErrorsThatWriteNothing()
    {
        testsupport::ProgramFolder pf;
        const QString catalogue = pf.file("c.mdb");
        Schema::createCatalogue(catalogue, compiledVersion());
        const QByteArray before = checksum(catalogue);
        const QString folder = pf.dir.path();

        // Help of a command runs nothing: no catalogue named after the option.
        Run r = run({ "create", "--help" }, QString(), folder);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("create [ARQUIVO]"));
        QVERIFY(!QFileInfo::exists(pf.file("--help")));

        r = run({ "--bogus" });
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains("bogus"));
        QVERIFY(!r.err.contains("Comando desconhecido"));
        QVERIFY(r.out.isEmpty());

        const QString c = catalogue;
        const QList<QStringList> bad = {
            { "--version", "extra" },
            { "--catalogue", c, "--version" },
            { "--catalogue", c, "info", "--bogus" },
            { "--catalogue", c, "info", "extra" },
            { "--catalogue", c, "tree", "--no-subfolders" },
            { "--catalogue", c, "scan" },
            { "--catalogue", c, "scan", folder, "--collection" },
            { "--catalogue", c, "scan", folder, "--no-subfolders=sim" },
            { "--catalogue", c, "scan", folder, "outra" },
            { "--catalogue", c, "info", "--catalogue", c },
            { "--catalogue", c, "create", "a.mdb", "b.mdb" },
            { "--catalogue", c, "thumbs", "--jobs" },
            { "--catalogue", c },
            { "no-such-command" },
            {},
        };
        for (const QStringList &args : bad) {
            r = run(args, QString(), folder);
            QVERIFY2(r.exitCode == 2, qPrintable(args.join(' ') + ": " + r.err));
            QVERIFY2(r.out.isEmpty(), qPrintable(args.join(' ')));
            QVERIFY(r.err.contains("Uso: quillomar-cli"));
        }
        QCOMPARE(checksum(catalogue), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { "c.mdb" });

        // --catalogue may follow the command as well.
        r = run({ "info", "--catalogue", catalogue });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Imagens: 0"));
    }

    void outputThatCannotBeWrittenIsAFailure()
    {
        if (!QFileInfo::exists("/dev/full"))
            QSKIP("no /dev/full here");
        testsupport::ProgramFolder pf;
        const QString catalogue = pf.file("c.mdb");
        Schema::createCatalogue(catalogue, compiledVersion());
        for (const QStringList &args : { QStringList { "--catalogue", catalogue, "info" },
                 { "--catalogue", catalogue, "tree" }, { "--version" }, { "--help" } }) {
            const Run r = run(args, "/dev/full");
            QVERIFY2(r.exitCode == 1, qPrintable(args.join(' ')));
            QVERIFY2(
                r.err.contains("Não foi possível escrever a saída padrão: "), r.err.constData());
        }
    }

    void catalogueLockedByAnotherProcessFailsAfterOneWait()
    {
        testsupport::ProgramFolder pf;
        const QString catalogue = pf.file("novo.mdb");
        Schema::createCatalogue(catalogue, compiledVersion()); // default rows not made yet
        QProcess holder;
        holder.start(QStringLiteral("sqlite3"), { catalogue });
        if (!holder.waitForStarted())
            QSKIP("the sqlite3 shell is not installed");
        holder.write("BEGIN IMMEDIATE;\nSELECT 'preso';\n");
        QByteArray said;
        while (!said.contains("preso")) {
            QVERIFY(holder.waitForReadyRead(30000));
            said += holder.readAllStandardOutput();
        }
        const Run info = run({ "--catalogue", catalogue, "info" });
        const Run tree = run({ "--catalogue", catalogue, "tree" });
        holder.write("ROLLBACK;\n.quit\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        for (const Run &r : { info, tree }) {
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(r.err.count("database is locked"), 1);
            QVERIFY(r.out.isEmpty());
        }
    }

    void qtsOwnMessagesStayOffStandardError()
    {
        testsupport::ProgramFolder pf;
        const QString catalogue = pf.file("c.mdb");
        Schema::createCatalogue(catalogue, compiledVersion());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LOGGING_RULES", "*=true");
        env.insert("QT_DEBUG_PLUGINS", "1");
        const Run r = run({ "--catalogue", catalogue, "info" }, QString(), QString(), env);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray());
    }

    void keysComeFromArgumentsAndStandardInput()
    {
        QByteArray input = " 7\n\n8\r\n9";
        FILE *in = fmemopen(input.data(), size_t(input.size()), "r");
        QString error;
        QCOMPARE(
            readKeyArguments({ "3", "-", "12" }, in, &error), (QList<qint64> { 3, 7, 8, 9, 12 }));
        QVERIFY(error.isEmpty());
        std::fclose(in);

        for (const QStringList &args :
            { QStringList { "3", "x" }, { "0" }, { "-4" }, { "-", "-" }, { "1.5" }, { "" } }) {
            QByteArray none;
            FILE *empty = fmemopen(none.data(), 0, "r");
            QVERIFY(readKeyArguments(args, empty, &error).isEmpty());
            QVERIFY2(!error.isEmpty(), qPrintable(args.join(' ')));
            std::fclose(empty);
        }
        QByteArray badLine = "5\nseis\n";
        in = fmemopen(badLine.data(), size_t(badLine.size()), "r");
        QVERIFY(readKeyArguments({ "-" }, in, &error).isEmpty());
        QVERIFY(error.contains("seis"));
        std::fclose(in);
    }
};

QTEST_GUILESS_MAIN(TestCliFrame)
#include "test_cli_frame.moc"
