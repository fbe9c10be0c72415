#include "batchfixture.h"
#include "ftpserverfixture.h"
#include "smtpserverfixture.h"

#include <QJsonArray>
#include <QProcess>
#include <QtTest>

namespace {

struct Cli {
    int code = -1;
    QString out;
    QString err;
};

Cli cli(const QString &catalogue, const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(
        testsupport::binDir() + "/quillomar-cli", QStringList { "--catalogue", catalogue } + args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        qFatal("quillomar-cli did not end");
    return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
        QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()) };
}

} // namespace

class TestTransferCli : public QObject {
    Q_OBJECT
private slots:
    void ftpSendRunsTheDialogsSendOnTheGivenAccount()
    {
        FtpServer ftp;
        BatchFixture f;
        const QByteArray a = sampleBytes(5000, 'a'), b = sampleBytes(7000, 'b');
        const QString folder = f.catalog.folder.file("fotos");
        const qint64 k1 = f.picture(folder, "a.jpg", &a);
        const qint64 k2 = f.picture(folder, "b.jpg", &b);
        const qint64 account = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, Password, UseProxyServer, "
            "Directory) VALUES ('casa', '127.0.0.1', :P, 'ana', :S, 0, 'fotos')",
            { { "P", ftp.server->port() }, { "S", Password } });

        // Keys from the arguments and from standard input; a key twice is sent once.
        Cli r = cli(f.catalog.path,
            { "ftp-send", QString::number(account), QString::number(k1), "-" },
            QByteArray::number(k2) + "\n" + QByteArray::number(k1) + "\n");
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Remessa via FTP efetuada!\n"));
        QVERIFY(r.err.contains("PASS ****\n"));
        QVERIFY(r.err.contains("STOR b.jpg\n"));
        QVERIFY(!r.err.contains(Password));
        QCOMPARE(ftp.count("STOR"), 2);
        QCOMPARE(testsupport::readFile(ftp.home("ana/fotos/b.jpg")), b);

        QCOMPARE(cli(f.catalog.path, { "ftp-send", "999", QString::number(k1) }).code, 1);
        QCOMPARE(cli(f.catalog.path, { "ftp-send", QString::number(account), "1;2" }).code, 2);
        QCOMPARE(cli(f.catalog.path, { "ftp-send", "conta", QString::number(k1) }).code, 2);
        Cli none = cli(f.catalog.path, { "ftp-send", QString::number(account), "-" });
        QCOMPARE(none.code, 1);
        QCOMPARE(none.err, QStringLiteral("Nenhuma imagem marcada!\n"));

        // A failed run: the engine's text on stderr, nothing on stdout.
        f.catalog.exec("UPDATE FTPAccounts SET Directory = 'nao-existe'");
        Cli failed
            = cli(f.catalog.path, { "ftp-send", QString::number(account), QString::number(k1) });
        QCOMPARE(failed.code, 1);
        QCOMPARE(failed.out, QString());
        QVERIFY(failed.err.contains("CWD nao-existe\n"));
    }

    void mailSendsThroughTheMailServerRow()
    {
        SmtpServer smtp;
        BatchFixture f;
        const QByteArray a = sampleBytes(3000, 'm');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "Férias.jpg", &a);
        f.catalog.exec("UPDATE SMTPAccount SET Host = '127.0.0.1', Port = :P, UserID = 'cli', "
                       "Name = 'Zé', Email = 'ze@x.com'",
            { { "P", smtp.server->port() } });
        const QString message = f.catalog.folder.file("texto.txt");
        testsupport::writeFile(message, "Olá!\nAté logo.\n");

        Cli r = cli(f.catalog.path,
            { "mail", "--to", "ana@x.com;bia@y.org;", "--bcc", "oculto@z.net", "--subject",
                "Férias", "--message", message, QString::number(k) });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Remessa via E-mail efetuada!\n"));
        QVERIFY(r.err.contains("MAIL FROM:<ze@x.com>\n"));
        const QJsonObject m = smtp.shown();
        QCOMPARE(m.value("subject").toString(), QStringLiteral("Férias"));
        QCOMPARE(m.value("from_name").toString(), QStringLiteral("Zé"));
        QVERIFY(m.value("text")
                    .toString()
                    .replace("\r\n", "\n")
                    .startsWith("Olá!\nAté logo.\n\nAnexos: \n\nFérias.jpg (3000 bytes)\n"));
        QCOMPARE(m.value("attachments").toArray().at(0)["name"].toString(),
            QStringLiteral("Férias.jpg"));
        QCOMPARE(smtp.messages().first().value("rcpt_tos").toArray().size(), 3);

        // Refusals before anything is sent.
        Cli bad = cli(f.catalog.path,
            { "mail", "--to", "ana@x.com", "--subject", "Oi\r\nBcc: todos@x.com",
                QString::number(k) });
        QCOMPARE(bad.code, 1);
        QCOMPARE(bad.err, QStringLiteral("Assunto inválido!\n"));
        QCOMPARE(cli(f.catalog.path, { "mail", "--message", "-", "--to", "a@x.com", "-" }).code, 2);
        QCOMPARE(cli(f.catalog.path, { "mail", QString::number(k) }).code, 2);
        QCOMPARE(smtp.messages().size(), 1);
        QCOMPARE(smtp.server->entries("connect").size(), 1);
    }

    void serverTextReachesStandardErrorEscapedWithTheServersRefusal()
    {
        const QString hostile = QStringLiteral("\\x1b]0;dono\\x07\\x1b[2J ola\\x00");
        const auto raw = [](const QString &text) {
            for (const QChar c : text) {
                if (c != QLatin1Char('\n') && (c.unicode() < 0x20 || c.unicode() == 0x7f))
                    return true;
            }
            return false;
        };
        BatchFixture f;
        const QByteArray a = sampleBytes(2000, 'c');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "a.jpg", &a);

        FtpServer ftp({ "--banner", hostile, "--reply", "STOR", "550 Not enough privileges." });
        const qint64 account = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, Password, UseProxyServer) "
            "VALUES ('casa', '127.0.0.1', :P, 'ana', :S, 0)",
            { { "P", ftp.server->port() }, { "S", Password } });
        Cli sent
            = cli(f.catalog.path, { "ftp-send", QString::number(account), QString::number(k) });
        QCOMPARE(sent.code, 1);
        QVERIFY2(!raw(sent.err), qPrintable(sent.err));
        QVERIFY(sent.err.startsWith("220 " + hostile + "\n"));
        // The reply as the server said it, then as the failure's text.
        QCOMPARE(sent.err.count("\n550 Not enough privileges.\n"), 2);

        SmtpServer smtp(
            { "--greeting", "220 " + hostile, "--reply", "DATA", "554 \\x1b[31mrecusado\\x1b[0m" });
        f.catalog.exec("UPDATE SMTPAccount SET Host = '127.0.0.1', Port = :P, UserID = 'cli', "
                       "Email = 'ze@x.com'",
            { { "P", smtp.server->port() } });
        Cli mailed = cli(f.catalog.path, { "mail", "--to", "ana@x.com", QString::number(k) });
        QCOMPARE(mailed.code, 1);
        QVERIFY2(!raw(mailed.err), qPrintable(mailed.err));
        QVERIFY(mailed.err.startsWith("220 " + hostile + "\n"));
        QCOMPARE(mailed.err.count("\n554 \\x1b[31mrecusado\\x1b[0m\n"), 2);
    }
};

QTEST_MAIN(TestTransferCli)
#include "test_transfer_cli.moc"
