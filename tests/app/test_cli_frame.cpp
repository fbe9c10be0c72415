#include "support/testsupport.h"

#include <QProcess>
#include <QtTest>

class TestCliFrame : public QObject {
    Q_OBJECT
    QString cli() const { return testsupport::binDir() + "/quillomar-cli"; }

    int run(const QStringList &args, QByteArray *out, QByteArray *err)
    {
        QProcess p;
        p.start(cli(), args);
        if (!p.waitForFinished(60000))
            return -1;
        *out = p.readAllStandardOutput();
        *err = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private slots:
    void versionAndHelpAnswerOnStandardOutput()
    {
        QByteArray out, err;
        QCOMPARE(run({ "--version" }, &out, &err), 0);
        QCOMPARE(out, QByteArray("Quillomar version 1.0.0.9\n"));
        QVERIFY(err.isEmpty());
        QCOMPARE(run({ "--help" }, &out, &err), 0);
        QVERIFY(out.contains("quillomar-cli"));
    }

    void usageErrorsExitWithTwo()
    {
        QByteArray out, err;
        QCOMPARE(run({}, &out, &err), 2);
        QVERIFY(out.isEmpty());
        QCOMPARE(run({ "no-such-command" }, &out, &err), 2);
        QVERIFY(err.contains("no-such-command"));
    }
};

QTEST_GUILESS_MAIN(TestCliFrame)
#include "test_cli_frame.moc"
