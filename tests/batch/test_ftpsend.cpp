#include "batch/eventlog.h"
#include "batch/ftpsend.h"
#include "batchfixture.h"
#include "ftpserverfixture.h"
#include "support/pythonserver.h"

#include <QDir>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

using testsupport::PythonServer;

namespace {

struct Run {
    BatchFixture f;
    EventLog log;
    RecordingStatus status;
    bool ok = false;
    void send(const FtpAccount &account, const PictureKeys &keys)
    {
        ok = SendByFtp(f.store, account, keys, log, f.prompter, status);
    }
    QStringList errors() const
    {
        QStringList list;
        for (const auto &r : f.prompter.boxes()) {
            if (r.icon == Prompter::Icon::Error)
                list << r.text;
        }
        return list;
    }
    void checkNoPassword() const
    {
        for (const QString &l : log.lines())
            QVERIFY2(!l.contains(Password), qPrintable(l));
        for (const QString &t : f.prompter.boxTexts() + status.texts)
            QVERIFY2(!t.contains(Password), qPrintable(t));
    }
};

} // namespace

class TestFtpSend : public QObject {
    Q_OBJECT
private slots:
    void filesArriveUnderTheirNamesInTheDirectoryOverOneActiveConnection()
    {
        FtpServer ftp;
        Run r;
        const QString local = r.f.catalog.folder.file(QStringLiteral("fotos"));
        const QByteArray a = sampleBytes(300000, 'a'), b = sampleBytes(70000, 'b');
        const qint64 k1 = r.f.picture(local + "/2019/", "praia.jpg", &a);
        const qint64 k3 = r.f.picture(local, "sumiu.jpg");
        const qint64 k2 = r.f.picture(local + "/2020", "Férias 1.jpg", &b);
        FtpAccount account = ftp.account();
        account.directory = QStringLiteral("fotos");
        r.log.AddLogLine(QStringLiteral("linha de uma remessa anterior"));
        r.send(account, { k1, k3, k2 });

        QVERIFY(r.ok);
        QVERIFY(r.f.prompter.boxes().isEmpty());
        QCOMPARE(testsupport::readFile(ftp.home("ana/fotos/praia.jpg")), a);
        QCOMPARE(testsupport::readFile(ftp.home("ana/fotos/Férias 1.jpg")), b);
        QCOMPARE(QDir(ftp.home("ana")).entryList(QDir::Files), QStringList());
        // One control connection, data ports opened by the program (PORT, never PASV).
        QCOMPARE(ftp.server->entries(QStringLiteral("connect")).size(), 1);
        QCOMPARE(ftp.count("PORT"), 2);
        QCOMPARE(ftp.count("PASV") + ftp.count("EPSV"), 0);
        QCOMPARE(ftp.count("CWD"), 1);
        QVERIFY(ftp.commands().contains(QStringLiteral("CWD fotos")));
        QCOMPARE(ftp.commands().last(), QStringLiteral("QUIT"));

        // The log: the server's dialogue in order, the missing file, no password.
        const QStringList &lines = r.log.lines();
        QVERIFY(!lines.contains(QStringLiteral("linha de uma remessa anterior")));
        QVERIFY(lines.first().startsWith(QStringLiteral("220 ")));
        QCOMPARE(lines.at(1), QStringLiteral("USER ana"));
        QVERIFY(lines.contains(QStringLiteral("PASS ****")));
        QVERIFY(lines.contains(QStringLiteral("CWD fotos")));
        const int missing = lines.indexOf(local + "/sumiu.jpg não encontrado!");
        QVERIFY(missing > lines.indexOf(QStringLiteral("STOR praia.jpg")));
        QVERIFY(missing < lines.indexOf(QStringLiteral("STOR Férias 1.jpg")));
        QVERIFY(lines.last().startsWith(QStringLiteral("221")));
        r.checkNoPassword();
        QCOMPARE(r.status.texts,
            QStringList({ "Conectando...", "Enviando...", "Arquivo não encontrado!", "Enviando...",
                "Disconectando..." }));
    }

    void directoryOfBlanksStaysInTheStartFolder()
    {
        FtpServer ftp;
        Run r;
        const QByteArray a = sampleBytes(1000, 'c');
        const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg", &a);
        FtpAccount account = ftp.account();
        account.directory = QStringLiteral("   ");
        r.send(account, { k });
        QVERIFY(r.ok);
        QCOMPARE(ftp.count("CWD"), 0);
        QCOMPARE(testsupport::readFile(ftp.home("ana/a.jpg")), a);

        // A directory with blanks around it is given to the server as stored.
        Run r2;
        const qint64 k2 = r2.f.picture(r2.f.catalog.folder.file("x"), "b.jpg", &a);
        account.directory = QStringLiteral(" fotos");
        r2.send(account, { k2 });
        QVERIFY(!r2.ok);
        QVERIFY(ftp.commands().contains(QStringLiteral("CWD  fotos")));
    }

    void proxyAccountLogsInAsUserAtHostThenADirectAccountGoesDirect()
    {
        FtpServer ftp;
        Run r;
        const QByteArray a = sampleBytes(5000, 'p');
        const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "p.jpg", &a);
        FtpAccount proxied = ftp.account();
        proxied.host = QStringLiteral("ftp.example"); // never resolved: the proxy is
        proxied.port = QStringLiteral("21");
        proxied.useProxyServer = true;
        proxied.proxyServer = QStringLiteral("127.0.0.1");
        proxied.proxyPort = QString::number(ftp.server->port());
        r.send(proxied, { k });
        QVERIFY(r.ok);
        QCOMPARE(testsupport::readFile(ftp.home("proxy/p.jpg")), a);

        FtpAccount direct = ftp.account();
        direct.proxyServer = proxied.proxyServer; // left in the row, not ticked
        direct.proxyPort = QStringLiteral("1");
        r.send(direct, { k });
        QVERIFY(r.ok);
        QCOMPARE(testsupport::readFile(ftp.home("ana/p.jpg")), a);
        const auto logins = ftp.server->entries(QStringLiteral("login"));
        QCOMPARE(logins.size(), 2);
        QCOMPARE(logins[0].value("user").toString(), QStringLiteral("ana@ftp.example"));
        QCOMPARE(logins[1].value("user").toString(), QStringLiteral("ana"));
    }

    void refusedDirectorySendsNothing()
    {
        FtpServer ftp;
        Run r;
        const QByteArray a = sampleBytes(1000, 'd');
        const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg", &a);
        FtpAccount account = ftp.account();
        account.directory = QStringLiteral("nao-existe");
        r.send(account, { k });
        QVERIFY(!r.ok);
        QCOMPARE(ftp.count("STOR"), 0);
        QVERIFY(r.status.texts.contains(QStringLiteral("Falha no diretório!")));
        QCOMPARE(r.errors().size(), 1);
        QVERIFY(r.log.lines().contains(r.errors().first()));
        QVERIFY(r.log.lines().contains(QStringLiteral("CWD nao-existe")));
        QVERIFY(!r.log.lines().filter(QRegularExpression(QStringLiteral("^550 "))).isEmpty());
        QVERIFY(r.f.prompter.beeps() >= 1);
    }

    void refusedUploadFailsTheLaterOnesAtOnce()
    {
        FtpServer ftp;
        Run r;
        PictureKeys keys;
        for (char c : { 'x', 'y', 'z' }) {
            const QByteArray bytes = sampleBytes(2000, c);
            keys << r.f.picture(r.f.catalog.folder.file("x"), QString(c) + ".jpg", &bytes);
        }
        r.send(ftp.account(QStringLiteral("ro")), keys);
        QVERIFY(!r.ok);
        // The server refused the first STOR; the engine refused the other two itself.
        QCOMPARE(ftp.count("STOR"), 1);
        QCOMPARE(r.errors().size(), 3);
        QCOMPARE(r.status.texts.count(QStringLiteral("Falha na carga de arquivo!")), 3);
        QVERIFY(!r.status.texts.contains(QStringLiteral("Disconectando...")));
        for (const QString &e : r.errors())
            QVERIFY(r.log.lines().contains(e));
        QVERIFY(QDir(ftp.home("ro")).entryList(QDir::Files).isEmpty());
    }

    void everyRefusalIsToldInTheServersOwnReply()
    {
        FtpServer ftp;
        const QByteArray a = sampleBytes(1000, 'r');
        // The box of a failed run, which its log must hold too; the status line's texts.
        const auto refusal = [&](const FtpAccount &account, QStringList *status) {
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg", &a);
            r.send(account, { k });
            *status = r.status.texts;
            const QString shown = r.errors().value(0);
            // A text of several lines is logged as several lines.
            for (const QString &line : shown.split(QLatin1Char('\n'))) {
                if (r.ok || !r.log.lines().contains(line))
                    return QStringLiteral("(not a logged failure) ") + shown;
            }
            return shown;
        };
        QStringList status;
        // STOR refused for want of permission.
        QCOMPARE(refusal(ftp.account("ro"), &status), QStringLiteral("550 Not enough privileges."));
        QVERIFY(status.contains(QStringLiteral("Falha na carga de arquivo!")));
        // Log-in refused.
        FtpAccount wrongPassword = ftp.account();
        wrongPassword.password = QStringLiteral("errada");
        QCOMPARE(refusal(wrongPassword, &status), QStringLiteral("530 Authentication failed."));
        QVERIFY(status.contains(QStringLiteral("Falha na operação!")));
        // CWD refused.
        FtpAccount noFolder = ftp.account();
        noFolder.directory = QStringLiteral("nao-existe");
        QCOMPARE(refusal(noFolder, &status), QStringLiteral("550 No such file or directory."));
        QVERIFY(status.contains(QStringLiteral("Falha no diretório!")));

        // A reply of several lines is told whole, one line each in the log.
        FtpServer quota(
            { "--reply", "STOR", "552-Cota esgotada.\\r\\n552 Apague arquivos antigos." });
        QCOMPARE(refusal(quota.account(), &status),
            QStringLiteral("552-Cota esgotada.\n552 Apague arquivos antigos."));
    }

    void serverControlCharactersAreWrittenOutInLogAndBoxes()
    {
        FtpServer ftp({ "--banner", "\\x1b]0;dono\\x07\\x1b[2J Pronto\\x00\\x9b", "--reply", "STOR",
            "553 \\x1b[31mNome\\x1b[0m recusado\\x07" });
        Run r;
        const QByteArray a = sampleBytes(1000, 'e');
        const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg", &a);
        r.send(ftp.account(), { k });
        QVERIFY(!r.ok);
        QCOMPARE(r.log.lines().value(0),
            QStringLiteral("220 \\x1b]0;dono\\x07\\x1b[2J Pronto\\x00\\x9b"));
        QCOMPARE(
            r.errors(), QStringList { QStringLiteral("553 \\x1b[31mNome\\x1b[0m recusado\\x07") });
        for (const QString &t : r.log.lines() + r.f.prompter.boxTexts()) {
            for (const QChar c : t)
                QVERIFY2(c.unicode() >= 0x20 && (c.unicode() < 0x7f || c.unicode() > 0x9f),
                    qPrintable(t));
        }
    }

    void serverStoppedInTheMiddleOfAFileFailsTheRun()
    {
        FtpServer ftp({ "--die-after", "200000" });
        Run r;
        const QByteArray big = sampleBytes(3000000, 'g'), small = sampleBytes(100, 's');
        const qint64 k1 = r.f.picture(r.f.catalog.folder.file("x"), "grande.jpg", &big);
        const qint64 k2 = r.f.picture(r.f.catalog.folder.file("x"), "pequeno.jpg", &small);
        r.send(ftp.account(), { k1, k2 });
        QVERIFY(!r.ok);
        QCOMPARE(ftp.server->entries(QStringLiteral("died")).size(), 1);
        QCOMPARE(r.errors().size(), 2);
        QCOMPARE(r.status.texts.count(QStringLiteral("Falha na carga de arquivo!")), 2);
    }

    void connectionFailuresEndTheRunWithTheirEvents()
    {
        FtpServer ftp;
        {
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg");
            FtpAccount account = ftp.account();
            account.host = QStringLiteral("nohost.invalid");
            r.send(account, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.status.texts, QStringList({ "Conectando...", "Servidor inválido!" }));
            QCOMPARE(r.errors().size(), 1);
            QVERIFY(r.errors().first().contains(QStringLiteral("nohost.invalid")));
            QCOMPARE(r.log.lines(), r.errors());
        }
        {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            const quint16 port = closed.serverPort();
            closed.close();
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg");
            FtpAccount account = ftp.account();
            account.port = QString::number(port);
            r.send(account, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.status.texts, QStringList({ "Conectando...", "Falha na conexão!" }));
            QCOMPARE(r.errors().size(), 1);
        }
        {
            // Accepts and never answers: the 5-second wait for the greeting ends the run.
            PythonServer silent(QStringLiteral("ftpserver.py"), { "--no-reply" });
            QVERIFY(silent.start());
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg");
            FtpAccount account = ftp.account();
            account.port = QString::number(silent.port());
            QElapsedTimer clock;
            clock.start();
            r.send(account, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.status.texts, QStringList({ "Conectando...", "Falha na conexão!" }));
            QCOMPARE(silent.entries(QStringLiteral("connect")).size(), 1);
            QVERIFY2(r.errors().value(0).contains(QRegularExpression(QStringLiteral("time(d )?out"),
                         QRegularExpression::CaseInsensitiveOption)),
                qPrintable(r.errors().value(0)));
            // The window's events were processed all along the wait.
            QVERIFY(r.status.pumps > 50);
            // The account's wait, not libcurl's default of minutes (a bound, not a speed).
            QVERIFY(clock.elapsed() < 60000);
        }
        QVERIFY(ftp.server->entries().isEmpty());
    }

    void controlCharactersNeverReachTheServer()
    {
        FtpServer ftp;
        const QByteArray a = sampleBytes(1000, 'i');
        const QList<std::pair<std::function<void(FtpAccount &)>, QString>> faults {
            { [](FtpAccount &x) { x.userId = "ana\r\nDELE a.jpg"; }, "Usuário inválido!" },
            { [](FtpAccount &x) { x.password = Password + "\nDELE a.jpg"; }, "Senha inválida!" },
            { [](FtpAccount &x) { x.directory = "fotos\r\nRMD fotos"; }, "Diretório inválido!" },
            { [](FtpAccount &x) { x.host = "127.0.0.1\r\n"; }, "Servidor inválido!" },
            { [](FtpAccount &x) { x.port = "21x"; }, "Porta inválida!" },
            { [](FtpAccount &x) { x.port = "70000"; }, "Porta inválida!" },
        };
        for (const auto &[spoil, text] : faults) {
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "a.jpg", &a);
            FtpAccount account = ftp.account();
            spoil(account);
            r.send(account, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(), QStringList { text });
            QCOMPARE(r.log.lines(), QStringList { text });
        }
        QVERIFY(ftp.server->entries().isEmpty());

        // A file name holding a line break is refused; the other files still go.
        Run r;
        const QString folder = r.f.catalog.folder.file("x");
        const qint64 bad = r.f.picture(folder, "a.jpg\r\nDELE b.jpg", &a);
        const qint64 good = r.f.picture(folder, "b.jpg", &a);
        r.send(ftp.account(), { bad, good });
        QVERIFY(!r.ok);
        QCOMPARE(r.errors().size(), 1);
        QVERIFY(r.errors().first().startsWith(QStringLiteral("Nome de arquivo inválido: ")));
        QCOMPARE(ftp.count("STOR"), 1);
        QCOMPARE(ftp.count("DELE"), 0);
        QCOMPARE(testsupport::readFile(ftp.home("ana/b.jpg")), a);
        QCOMPARE(ftp.commands().last(), QStringLiteral("QUIT"));
    }

    void theEditorsSaveChecksMoreThanASend()
    {
        FtpServer ftp;
        FtpAccount account = ftp.account();
        QCOMPARE(account.saveFault("casa").field, FtpField::None);
        const FtpFault noName = account.saveFault(" ");
        QCOMPARE(noName.field, FtpField::Profile);
        QCOMPARE(noName.text, QStringLiteral("Nome inválido!"));
        // The proxy's values are kept in the row while it is off: a save refuses what a send
        // would refuse once it is on; the send itself leaves them alone.
        account.proxyServer = "proxy\r\nDELE a.jpg";
        QCOMPARE(account.firstFault(), QString());
        QCOMPARE(account.saveFault("casa").field, FtpField::ProxyServer);
        account.proxyServer.clear();
        account.proxyPort = "99999";
        QCOMPARE(account.firstFault(), QString());
        const FtpFault port = account.saveFault("casa");
        QCOMPARE(port.field, FtpField::ProxyPort);
        QCOMPARE(port.text, QStringLiteral("Porta Proxy inválida!"));
        // In the editor's order: the user before the proxy.
        account.userId.clear();
        QCOMPARE(account.saveFault("casa").field, FtpField::UserId);
        QCOMPARE(account.firstFault(), QStringLiteral("Usuário inválido!"));
    }
};

QTEST_MAIN(TestFtpSend)
#include "test_ftpsend.moc"
