#include "batch/eventlog.h"
#include "batch/ftpsend.h"
#include "batch/keyring.h"
#include "batch/mailsend.h"
#include "batch/sendsecurity.h"
#include "batch/transferpasswords.h"
#include "batch/transfersettings.h"
#include "batchfixture.h"
#include "tlsserverfixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

// The keyring path: run by support/withkeyring.sh in a D-Bus session of its own with an
// unlocked GNOME keyring. The command line is run there too, and once more with its session
// bus pointed nowhere, where no keyring answers.
namespace {

struct Cli {
    int code = -1;
    QString out;
    QString err;
};

enum class Bus { Keyring, None };

Cli cli(const QString &catalogue, const QStringList &args, const QByteArray &input = {},
    Bus bus = Bus::Keyring, bool trustAuthority = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (bus == Bus::None)
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillomar-tests");
    if (trustAuthority)
        env.insert("QUILLOMAR_CA_BUNDLE", TestCertificates::instance().authority());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(
        testsupport::binDir() + "/quillomar-cli", QStringList { "--catalogue", catalogue } + args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        qFatal("quillomar-cli did not end");
    return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
        QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()) };
}

QString writePasswordFile(const QTemporaryDir &dir, const QString &password)
{
    const QString path = dir.filePath(QStringLiteral("senha.txt"));
    testsupport::writeFile(path, password.toUtf8() + "\n");
    return path;
}

// A catalogue file holds no trace of the text, not even in its free space.
bool absentFrom(const QString &catalogue, const QString &text)
{
    return !testsupport::readFile(catalogue).contains(text.toUtf8());
}

} // namespace

class TestTransferKeyring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        if (bus.isEmpty() || bus.contains("nonexistent"))
            QFAIL("run through tests/support/withkeyring.sh: a keyring of its own is needed");
        TestCertificates::instance();
    }

    void keyringKeepsReadsAndRemovesAPassword()
    {
        const Keyring keyring(QStringLiteral("QuillomarTeste"));
        const QString key
            = Keyring::passwordKey(QStringLiteral("smtp"), QStringLiteral(" Ana "), "SMTP.Exemplo.com");
        QCOMPARE(key, QStringLiteral("smtp:Ana@smtp.exemplo.com"));
        QCOMPARE(keyring.read(key).status, Keyring::Status::NotFound);
        QCOMPARE(keyring.write(key, QStringLiteral("sênha ç")).status, Keyring::Status::Ok);
        const Keyring::Reply read = keyring.read(key);
        QCOMPARE(read.status, Keyring::Status::Ok);
        QCOMPARE(read.password, QStringLiteral("sênha ç"));
        // Another user or host never finds it.
        QCOMPARE(keyring.read(Keyring::passwordKey("smtp", "ana", "smtp.exemplo.com")).status,
            Keyring::Status::NotFound);
        QCOMPARE(keyring.remove(key).status, Keyring::Status::Ok);
        QCOMPARE(keyring.read(key).status, Keyring::Status::NotFound);
        QCOMPARE(keyring.remove(key).status, Keyring::Status::Ok);
    }

    void mailServerPasswordGoesToTheKeyringAndTheSendFindsItThere()
    {
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(false));
        BatchFixture f;
        TransferPasswords passwords;
        MailServerChange change;
        change.host = QStringLiteral("127.0.0.1");
        change.port = QString::number(smtp.server->port());
        change.userId = MailUser;
        change.email = QStringLiteral("ana@exemplo.com.br");
        change.security = MailSecurity::StartTls;
        change.password = MailPassword;
        QVERIFY(applyMailServer(f.store, change, passwords, PasswordKeeping::KeyringOnly, f.prompter));
        QVERIFY(f.prompter.boxes().isEmpty());
        const QString key = Keyring::passwordKey("smtp", MailUser, "127.0.0.1");
        QCOMPARE(Keyring().read(key).password, MailPassword);
        QVERIFY(absentFrom(f.catalog.path, MailPassword));

        // A send of another session finds it in the keyring, asking nobody.
        f.store.TSMTPAccount.first();
        const SmtpAccount account = SmtpAccount::fromRecord(f.store.TSMTPAccount);
        QVERIFY(account.hasPassword);
        TransferPasswords fresh;
        fresh.setMayAsk(false);
        SendSecurity security;
        security.passwords = &fresh;
        EventLog log;
        RecordingStatus status;
        const QByteArray bytes = sampleBytes(1000, 'm');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "m.jpg", &bytes);
        QVERIFY(SendByEmail(f.store, account, { "bia@x.org", {}, {}, {}, {} }, { k }, log,
            f.prompter, status, security));
        QVERIFY(smtp.server->entries("auth").value(0).value("success").toBool());

        // An empty password ends the log-in and leaves the keyring.
        change = MailServerChange();
        change.password = QString();
        QVERIFY(applyMailServer(f.store, change, passwords, PasswordKeeping::KeyringOnly, f.prompter));
        QCOMPARE(Keyring().read(key).status, Keyring::Status::NotFound);
        f.store.TSMTPAccount.first();
        QVERIFY(!SmtpAccount::fromRecord(f.store.TSMTPAccount).hasPassword);
    }

    void clearTextFtpPasswordMovesToTheKeyringOnTheFirstSave()
    {
        BatchFixture f;
        const QString oldPassword = QStringLiteral("antiga-Senha-123");
        std::unique_ptr<FtpsServer> ftps;
        if (FtpsServer::available())
            ftps = std::make_unique<FtpsServer>(false);
        const QString port = ftps ? QString::number(ftps->server->port()) : QStringLiteral("21");
        const QString password = ftps ? FtpsPassword : oldPassword;
        const qint64 id = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, Password, UseProxyServer) "
            "VALUES ('casa', '127.0.0.1', :P, 'ana', :S, 0)",
            { { "P", port }, { "S", password } });
        QVERIFY(!absentFrom(f.catalog.path, password));
        f.store.TFTPAccounts.requery();
        QVERIFY(f.store.TFTPAccounts.gotoRowId(id));
        TransferPasswords passwords;
        FtpAccountChange change;
        change.security = FtpSecurity::Explicit;
        QVERIFY(saveFtpAccount(f.store, change, passwords, PasswordKeeping::KeyringOnly, f.prompter));
        QCOMPARE(f.prompter.boxes().size(), 1);
        QCOMPARE(f.prompter.boxes().first().icon, Prompter::Icon::Information);
        QCOMPARE(f.prompter.boxTexts().first(), PasswordMovedText);
        const FtpAccount saved = FtpAccount::fromRecord(f.store.TFTPAccounts);
        QVERIFY(saved.password.isEmpty());
        QVERIFY(saved.hasPassword);
        QCOMPARE(saved.security, FtpSecurity::Explicit);
        QCOMPARE(Keyring().read(saved.passwordKey()).password, password);
        QVERIFY(absentFrom(f.catalog.path, password));

        // Told once: the next save has nothing to move.
        f.prompter.clear();
        QVERIFY(saveFtpAccount(f.store, {}, passwords, PasswordKeeping::KeyringOnly, f.prompter));
        QVERIFY(f.prompter.boxes().isEmpty());

        if (!ftps)
            QSKIP("pure-ftpd runs its sessions as root: the send from the keyring is not tried");
        TrustTestAuthority authority;
        TransferPasswords fresh;
        fresh.setMayAsk(false);
        SendSecurity security;
        security.passwords = &fresh;
        EventLog log;
        RecordingStatus status;
        const QByteArray bytes = sampleBytes(1000, 'k');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "k.jpg", &bytes);
        QVERIFY2(SendByFtp(f.store, saved, { k }, log, f.prompter, status, security),
            qPrintable(log.lines().join('\n')));
        QCOMPARE(testsupport::readFile(ftps->home("ana/k.jpg")), bytes);
    }

    void commandLineKeepsPasswordsInTheKeyringOrRefuses()
    {
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(false));
        BatchFixture f;
        QTemporaryDir dir;
        const QString file = writePasswordFile(dir, MailPassword);
        const QByteArray bytes = sampleBytes(1000, 'c');
        const QString key = QString::number(f.picture(f.catalog.folder.file("fotos"), "c.jpg", &bytes));

        // Without a keyring the password is kept nowhere.
        const QStringList set { "mail-server", "--host", "127.0.0.1", "--port",
            QString::number(smtp.server->port()), "--user", MailUser, "--email", "ana@x.com",
            "--security", "starttls", "--password-file", file };
        Cli r = cli(f.catalog.path, set, {}, Bus::None);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith("Nenhum chaveiro do sistema responde ("), qPrintable(r.err));
        QVERIFY(r.err.endsWith("): a senha não foi gravada.\n"));
        QCOMPARE(cli(f.catalog.path, { "mail-server" }).out.split('\n').filter("password"),
            QStringList { "password\tnone" });

        r = cli(f.catalog.path, set);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString());
        QCOMPARE(Keyring().read(Keyring::passwordKey("smtp", MailUser, "127.0.0.1")).password,
            MailPassword);
        r = cli(f.catalog.path, { "mail-server" });
        QCOMPARE(r.out,
            QStringLiteral("host\t127.0.0.1\nport\t%1\nuser\t%2\nname\t\nemail\tana@x.com\n"
                           "security\tstarttls\npassword\tset\n")
                .arg(smtp.server->port())
                .arg(MailUser));
        QVERIFY(absentFrom(f.catalog.path, MailPassword));

        // The send takes it from the keyring; without one, from --password-file only.
        const QStringList mail { "mail", "--to", "bia@x.org", key };
        r = cli(f.catalog.path, mail);
        QCOMPARE(r.code, 0);
        QVERIFY(!r.err.contains(MailPassword));
        r = cli(f.catalog.path, mail, {}, Bus::None);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("A senha de %1 em 127.0.0.1 não pôde ser lida: nenhum "
                                               "chaveiro do sistema responde (")
                                    .arg(MailUser)),
            qPrintable(r.err));
        QVERIFY(r.err.contains("). Informe-a com --password-file.\n"));
        r = cli(f.catalog.path, mail + QStringList { "--password-file", "-" },
            MailPassword.toUtf8() + "\n", Bus::None);
        QCOMPARE(r.code, 0);
        QCOMPARE(smtp.messages().size(), 2);
        QCOMPARE(smtp.server->entries("auth").size(), 2);
    }

    void commandLineAcceptsACertificateForOneRunAndChecksItsOptions()
    {
        SmtpServer smtp(tlsMailServer(true, QStringLiteral("selfsigned")));
        BatchFixture f;
        QTemporaryDir dir;
        const QString file = writePasswordFile(dir, MailPassword);
        const QByteArray bytes = sampleBytes(1000, 'd');
        const QString key = QString::number(f.picture(f.catalog.folder.file("fotos"), "d.jpg", &bytes));
        QCOMPARE(cli(f.catalog.path,
                     { "mail-server", "--host", "127.0.0.1", "--port",
                         QString::number(smtp.server->port()), "--user", MailUser, "--email",
                         "ana@x.com", "--security", "tls" })
                     .code,
            0);
        const QString fingerprint
            = fingerprintText(TestCertificates::instance().fingerprint("selfsigned"));
        const QStringList mail { "mail", "--to", "bia@x.org", "--password-file", file, key };

        Cli r = cli(f.catalog.path, mail);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("O certificado do servidor 127.0.0.1 foi recusado: é autoassinado.\n"
                                "Impressão digital SHA-256: "
                + fingerprint + "\n"),
            qPrintable(r.err));
        r = cli(f.catalog.path, mail + QStringList { "--accept-certificate", fingerprint });
        QCOMPARE(r.code, 0);
        r = cli(f.catalog.path,
            mail + QStringList { "--accept-certificate", QString(fingerprint).remove(':').toLower() });
        QCOMPARE(r.code, 0);
        QCOMPARE(smtp.messages().size(), 2);
        // For that run only: nothing of it was remembered.
        QCOMPARE(cli(f.catalog.path, mail).code, 1);

        // Usage errors write nothing and run nothing.
        for (const QStringList &bad : { mail + QStringList { "--accept-certificate", "AB:CD" },
                 QStringList { "mail-server", "--security", "ssl" },
                 QStringList { "mail-server", "--port", "porta" },
                 QStringList { "ftp-account", "1", "--security", "sftp" },
                 QStringList { "mail", "--to", "bia@x.org", "--password-file", "-", "-" } }) {
            r = cli(f.catalog.path, bad);
            QVERIFY2(r.code == 2, qPrintable(bad.join(' ') + " -> " + r.err));
            QCOMPARE(r.out, QString());
        }
        QCOMPARE(smtp.messages().size(), 2);
    }

    void commandLineMovesAnFtpPasswordAndPrintsTheAccount()
    {
        BatchFixture f;
        const QString oldPassword = QStringLiteral("antiga-Senha-456");
        const qint64 id = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, Password, UseProxyServer, "
            "Directory) VALUES ('casa', 'ftp.exemplo.com', 21, 'ana', :S, 0, 'fotos')",
            { { "S", oldPassword } });
        const QString account = QString::number(id);
        Cli r = cli(f.catalog.path, { "ftp-account", account });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out,
            QStringLiteral("profile\tcasa\nhost\tftp.exemplo.com\nport\t21\nuser\tana\n"
                           "directory\tfotos\nproxy\tno\nproxy-server\t\nproxy-port\t\n"
                           "security\tnone\npassword\tcatalogue\n"));
        QVERIFY(!absentFrom(f.catalog.path, oldPassword));

        r = cli(f.catalog.path, { "ftp-account", account, "--security", "implicit" });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, PasswordMovedText + "\n");
        QVERIFY(absentFrom(f.catalog.path, oldPassword));
        QCOMPARE(Keyring().read(Keyring::passwordKey("ftp", "ana", "ftp.exemplo.com")).password,
            oldPassword);
        r = cli(f.catalog.path, { "ftp-account", account });
        QVERIFY(r.out.endsWith("security\timplicit\npassword\tset\n"));

        // A new one from standard input replaces it; without a keyring it is refused.
        r = cli(f.catalog.path, { "ftp-account", account, "--password-file", "-" }, "nova\n");
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(Keyring().read(Keyring::passwordKey("ftp", "ana", "ftp.exemplo.com")).password,
            QStringLiteral("nova"));
        r = cli(f.catalog.path, { "ftp-account", account, "--password-file", "-" }, "outra\n",
            Bus::None);
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.endsWith("): a senha não foi gravada.\n"));
        QCOMPARE(cli(f.catalog.path, { "ftp-account", "999" }).code, 1);
    }
};

QTEST_GUILESS_MAIN(TestTransferKeyring)
#include "test_transferkeyring.moc"
