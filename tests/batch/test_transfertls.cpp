#include "batch/certificatetrust.h"
#include "batch/eventlog.h"
#include "batch/ftpsend.h"
#include "batch/mailsend.h"
#include "batch/sendsecurity.h"
#include "batch/transferpasswords.h"
#include "batch/transfersettings.h"
#include "batchfixture.h"
#include "store/transfersecuritytables.h"
#include "tlsserverfixture.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTcpServer>
#include <QtTest>
#include <sys/prctl.h>

// Sends over TLS against real servers on 127.0.0.1 (aiosmtpd; pure-ftpd as root), with the
// authority of the tests trusted where a test says so. No keyring answers here (the suite
// points the session bus nowhere): passwords come from the run or from the person.
namespace {

struct Run {
    BatchFixture f;
    EventLog log;
    RecordingStatus status;
    TransferPasswords passwords;
    SendSecurity security;
    bool ok = false;

    Run()
    {
        passwords.setMayAsk(false);
        security.passwords = &passwords;
    }
    void mail(const SmtpAccount &account, const PictureKeys &keys,
        const QString &to = QStringLiteral("bia@exemplo.org"))
    {
        ok = SendByEmail(f.store, account, { to, {}, {}, QStringLiteral("Fotos"), {} }, keys, log,
            f.prompter, status, security);
    }
    void ftp(const FtpAccount &account, const PictureKeys &keys)
    {
        ok = SendByFtp(f.store, account, keys, log, f.prompter, status, security);
    }
    qint64 picture(const QString &name, char seed = 'p')
    {
        const QByteArray bytes = sampleBytes(3000, seed);
        return f.picture(f.catalog.folder.file("fotos"), name, &bytes);
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
    QList<ScriptedPrompter::Record> secrets() const
    {
        QList<ScriptedPrompter::Record> list;
        for (const auto &r : f.prompter.records()) {
            if (r.kind == ScriptedPrompter::Kind::Secret)
                list << r;
        }
        return list;
    }
    // No line of the log, no box holds the password, as it is or inside base64 (AUTH).
    bool keptSecret(const QString &password) const
    {
        const QByteArray utf8 = password.toUtf8();
        for (const QString &t : log.lines() + f.prompter.boxTexts()) {
            if (t.contains(password))
                return false;
            for (const QString &word : t.split(QLatin1Char(' '))) {
                const auto decoded = QByteArray::fromBase64Encoding(
                    word.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
                if (decoded && decoded.decoded.contains(utf8))
                    return false;
            }
        }
        return true;
    }
};

QByteArray fileHash(const QString &path)
{
    return QCryptographicHash::hash(testsupport::readFile(path), QCryptographicHash::Sha256);
}

QString dayOf(const QDateTime &utc)
{
    return utc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

class TestTransferTls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Made once, before the first server needs them.
        TestCertificates::instance();
    }

    void mailWithAccentedAttachmentsReachesAStartTlsServerWithALogIn()
    {
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(false));
        Run r;
        const qint64 k1 = r.picture(QStringLiteral("Férias no Sítio.jpg"), 'a');
        const qint64 k2 = r.picture(QStringLiteral("ação ção.jpg"), 'b');
        const SmtpAccount account = protectedAccount(smtp, MailSecurity::StartTls);
        r.passwords.keepForSession(account.passwordKey(), MailPassword);
        r.mail(account, { k1, k2 });

        QVERIFY2(r.ok, qPrintable(r.f.prompter.boxTexts().join('|')));
        const QJsonObject m = smtp.shown();
        const QJsonArray att = m.value("attachments").toArray();
        QCOMPARE(att.size(), 2);
        QCOMPARE(att[0]["name"].toString(), QStringLiteral("Férias no Sítio.jpg"));
        QCOMPARE(att[1]["name"].toString(), QStringLiteral("ação ção.jpg"));
        // STARTTLS first, then the log-in, then the message.
        QStringList events;
        for (const QJsonObject &e : smtp.server->entries())
            events << e.value("event").toString();
        QCOMPARE(events.filter(QRegularExpression("^(starttls|auth|message)$")),
            QStringList({ "starttls", "auth", "message" }));
        const QJsonObject auth = smtp.server->entries("auth").value(0);
        QCOMPARE(auth.value("user").toString(), MailUser);
        QVERIFY(auth.value("success").toBool());
        // The greeting names this machine: a user name is no host name.
        for (const QJsonObject &g : smtp.server->entries("greeting"))
            QVERIFY(g.value("argument").toString() != MailUser);
        QVERIFY(r.log.lines().contains(QStringLiteral("STARTTLS")));
        QVERIFY(r.log.lines().contains(QStringLiteral("****")));
        QVERIFY(r.keptSecret(MailPassword));
        QVERIFY(r.secrets().isEmpty());
    }

    void mailOverTlsFromTheFirstByteLogsIn()
    {
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(true));
        Run r;
        const qint64 k = r.picture(QStringLiteral("praia.jpg"));
        r.passwords.setGiven(MailPassword);
        r.mail(protectedAccount(smtp, MailSecurity::Tls), { k });
        QVERIFY2(r.ok, qPrintable(r.f.prompter.boxTexts().join('|')));
        QCOMPARE(smtp.messages().size(), 1);
        QVERIFY(r.log.lines().first().startsWith(QStringLiteral("220 ")));
        QVERIFY(!r.log.lines().contains(QStringLiteral("STARTTLS")));
        QVERIFY(r.keptSecret(MailPassword));
    }

    void startTlsIsNeverDowngradedAndAPasswordNeverGoesPlain()
    {
        const QStringList plainWithLogIn { "--auth", MailUser + ":" + MailPassword };
        {
            // STARTTLS chosen; the server offers log-in but no STARTTLS.
            SmtpServer smtp(plainWithLogIn);
            Run r;
            const qint64 k = r.picture(QStringLiteral("a.jpg"));
            r.passwords.setGiven(MailPassword);
            r.mail(protectedAccount(smtp, MailSecurity::StartTls), { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(),
                QStringList { "O servidor 127.0.0.1 não oferece STARTTLS; a conexão foi "
                              "encerrada sem enviar nada sem proteção." });
            QVERIFY(smtp.server->entries("auth").isEmpty());
            QVERIFY(smtp.messages().isEmpty());
            QVERIFY(r.log.lines().filter(QRegularExpression("^(AUTH|MAIL)")).isEmpty());
            QVERIFY(r.status.texts.contains(QStringLiteral("Falha na conexão!")));
        }
        {
            // A log-in kept for a plain connection, or given to one: refused before connecting.
            SmtpServer smtp(plainWithLogIn);
            Run r;
            const qint64 k = r.picture(QStringLiteral("a.jpg"));
            SmtpAccount kept = protectedAccount(smtp, MailSecurity::None);
            QCOMPARE(checkMail(kept, { "bia@x.org", {}, {}, {}, {} }).text,
                PasswordNeedsProtectionText);
            r.mail(kept, { k });
            QVERIFY(!r.ok);
            SmtpAccount plain = smtp.account();
            r.passwords.setGiven(MailPassword);
            r.mail(plain, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(),
                QStringList({ PasswordNeedsProtectionText, PasswordNeedsProtectionText }));
            QVERIFY(smtp.server->entries("connect").isEmpty());
        }
    }

    void refusedLogInShowsTheServersReplyAndAsksAgain()
    {
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(false));
        Run r;
        r.passwords.setMayAsk(true);
        const qint64 k = r.picture(QStringLiteral("a.jpg"));
        const SmtpAccount account = protectedAccount(smtp, MailSecurity::StartTls);
        r.f.prompter.answerSecret(QStringLiteral("errada"));
        r.mail(account, { k });
        QVERIFY(!r.ok);
        QCOMPARE(r.errors().size(), 1);
        QVERIFY2(r.errors().first().startsWith(QStringLiteral("535 ")), qPrintable(r.errors().first()));
        QCOMPARE(r.secrets().size(), 1);
        QCOMPARE(r.secrets().first().text,
            QStringLiteral("Senha\nSenha de %1 em 127.0.0.1:").arg(MailUser));

        // The refused password is not kept: the next send asks again.
        r.f.prompter.answerSecret(MailPassword);
        r.mail(account, { k });
        QVERIFY(r.ok);
        QCOMPARE(r.secrets().size(), 2);
        // And the right one is kept for the session.
        r.mail(account, { k });
        QVERIFY(r.ok);
        QCOMPARE(r.secrets().size(), 2);
        QVERIFY(r.keptSecret(MailPassword));
        QVERIFY(r.keptSecret(QStringLiteral("errada")));

        // Nothing typed: the send ends before connecting.
        Run cancelled;
        cancelled.passwords.setMayAsk(true);
        const int connections = smtp.server->entries("connect").size();
        cancelled.mail(account, { cancelled.picture(QStringLiteral("b.jpg")) });
        QVERIFY(!cancelled.ok);
        QCOMPARE(cancelled.errors(),
            QStringList { QStringLiteral("Envio cancelado: a senha de %1 em 127.0.0.1 não foi "
                                         "informada.")
                              .arg(MailUser) });
        QCOMPARE(smtp.server->entries("connect").size(), connections);
    }

    void refusedCertificatesSayWhyAndNothingIsSent_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("trustAuthority");
        QTest::addColumn<QString>("reason");
        const QString authority = QStringLiteral("Autoridade de Testes do Quillomar");
        QTest::newRow("outro nome") << "wronghost" << true
                                    << "foi emitido para outro nome (outro.exemplo.com)";
        QTest::newRow("expirado") << "expired" << true
                                  << "expirou em "
                + dayOf(QDateTime(QDate(2020, 2, 1), QTime(0, 0), Qt::UTC));
        QTest::newRow("autoassinado") << "selfsigned" << true << "é autoassinado";
        QTest::newRow("autoridade desconhecida")
            << "good" << false
            << "foi emitido por uma autoridade que o sistema não conhece (" + authority + ")";
    }

    void refusedCertificatesSayWhyAndNothingIsSent()
    {
        QFETCH(QString, certificate);
        QFETCH(bool, trustAuthority);
        QFETCH(QString, reason);
        std::optional<TrustTestAuthority> authority;
        if (trustAuthority)
            authority.emplace();
        for (const bool implicit : { false, true }) {
            SmtpServer smtp(tlsMailServer(implicit, certificate));
            Run r;
            r.passwords.setGiven(MailPassword);
            const qint64 k = r.picture(QStringLiteral("a.jpg"));
            r.mail(protectedAccount(smtp, implicit ? MailSecurity::Tls : MailSecurity::StartTls),
                { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(),
                QStringList { QStringLiteral("O certificado do servidor 127.0.0.1 foi recusado: "
                                             "%1.\nImpressão digital SHA-256: %2")
                                  .arg(reason,
                                      fingerprintText(
                                          TestCertificates::instance().fingerprint(certificate))) });
            QVERIFY(r.status.texts.contains(QStringLiteral("Falha na conexão!")));
            QVERIFY(smtp.server->entries("auth").isEmpty());
            QVERIFY(smtp.messages().isEmpty());
        }
    }

    void acceptedCertificateIsRememberedForItsHostOnly()
    {
        SmtpServer smtp(tlsMailServer(false, QStringLiteral("selfsigned")));
        const QByteArray fingerprint = TestCertificates::instance().fingerprint("selfsigned");
        Run r;
        r.security.offerCertificates = true;
        r.passwords.setGiven(MailPassword);
        const qint64 k = r.picture(QStringLiteral("a.jpg"));
        const SmtpAccount account = protectedAccount(smtp, MailSecurity::StartTls);
        r.mail(account, { k });
        QVERIFY2(r.ok, qPrintable(r.f.prompter.boxTexts().join('|')));
        QCOMPARE(r.f.prompter.boxes().size(), 1);
        const auto question = r.f.prompter.boxes().first();
        QCOMPARE(question.icon, Prompter::Icon::Question);
        QVERIFY(question.text.startsWith(
            QStringLiteral("O certificado do servidor 127.0.0.1 não pôde ser verificado: é "
                           "autoassinado.\nImpressão digital SHA-256: ")
            + fingerprintText(fingerprint)));
        QCOMPARE(smtp.messages().size(), 1);
        Connection c;
        c.openFile(r.f.catalog.path);
        QVERIFY(CertificateTrust::fromCatalogue(c).accepts("127.0.0.1", fingerprint));
        QVERIFY(!CertificateTrust::fromCatalogue(c).accepts("localhost", fingerprint));
        c.close();

        // Remembered: no question the next time.
        r.f.prompter.clear();
        r.mail(account, { k });
        QVERIFY(r.ok);
        QVERIFY(r.f.prompter.boxes().isEmpty());

        // The same certificate presented for another name is asked about again; No refuses.
        SmtpAccount other = account;
        other.host = QStringLiteral("localhost");
        r.f.prompter.clear();
        r.f.prompter.answerButton(Prompter::No);
        r.mail(other, { k });
        QVERIFY(!r.ok);
        QCOMPARE(r.f.prompter.boxes().size(), 2);
        QVERIFY(r.errors().first().startsWith(
            QStringLiteral("O certificado do servidor localhost foi recusado: é autoassinado; "
                           "foi emitido para outro nome (127.0.0.1).")));
        QCOMPARE(smtp.messages().size(), 2);

        // Accepted for one run (the command line's way): no question, nothing remembered.
        Run once;
        once.passwords.setGiven(MailPassword);
        once.security.certificatesForRun = { fingerprint };
        once.mail(account, { once.picture(QStringLiteral("b.jpg")) });
        QVERIFY(once.ok);
        QVERIFY(once.f.prompter.boxes().isEmpty());
        Connection c2;
        c2.openFile(once.f.catalog.path);
        QVERIFY(!c2.hasTable(QStringLiteral("AcceptedCertificates")));
        c2.close();
    }

    void handshakeFailuresTellWhatFailed()
    {
        TrustTestAuthority authority;
        const QString dropped = QStringLiteral(
            "A negociação TLS com o servidor 127.0.0.1 falhou: o servidor encerrou a conexão.");
        for (const bool implicit : { false, true }) {
            QStringList mode = tlsMailServer(implicit);
            mode << QStringLiteral("--drop-in-tls");
            SmtpServer smtp(mode);
            Run r;
            r.passwords.setGiven(MailPassword);
            r.mail(protectedAccount(smtp, implicit ? MailSecurity::Tls : MailSecurity::StartTls),
                { r.picture(QStringLiteral("a.jpg")) });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(), QStringList { dropped });
            QCOMPARE(smtp.server->entries("dropped-tls").size(), 1);
            QVERIFY(r.keptSecret(MailPassword));
        }
        {
            // TLS from the first byte to a server that speaks plain SMTP.
            SmtpServer smtp;
            Run r;
            SmtpAccount account = smtp.account();
            account.security = MailSecurity::Tls;
            r.mail(account, { r.picture(QStringLiteral("a.jpg")) });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(),
                QStringList { "A negociação TLS com o servidor 127.0.0.1 falhou: o servidor não "
                              "respondeu em TLS (confira a porta e a segurança escolhidas)." });
        }
    }

    void ftpsUploadsOverProtectedDataConnections_data()
    {
        QTest::addColumn<bool>("implicit");
        QTest::newRow("explícito") << false;
        QTest::newRow("implícito") << true;
    }

    void ftpsUploadsOverProtectedDataConnections()
    {
        if (!FtpsServer::available())
            QSKIP("pure-ftpd runs its sessions as root");
        QFETCH(bool, implicit);
        TrustTestAuthority authority;
        FtpsServer ftps(implicit);
        Run r;
        const QByteArray a = sampleBytes(200000, 'a'), b = sampleBytes(3000, 'b');
        const QString folder = r.f.catalog.folder.file("fotos");
        const qint64 k1 = r.f.picture(folder, QStringLiteral("Férias.jpg"), &a);
        const qint64 k2 = r.f.picture(folder, QStringLiteral("b.jpg"), &b);
        FtpAccount account = ftps.account(implicit ? FtpSecurity::Implicit : FtpSecurity::Explicit);
        account.directory = QStringLiteral("fotos");
        r.passwords.setGiven(FtpsPassword);
        r.ftp(account, { k1, k2 });

        QVERIFY2(r.ok, qPrintable(r.log.lines().join('\n')));
        QCOMPARE(testsupport::readFile(ftps.home("ana/fotos/Férias.jpg")), a);
        QCOMPARE(testsupport::readFile(ftps.home("ana/fotos/b.jpg")), b);
        const QStringList &lines = r.log.lines();
        QVERIFY(lines.contains(QStringLiteral("PASS ****")));
        QVERIFY(lines.contains(QStringLiteral("PROT P")));
        QCOMPARE(lines.contains(QStringLiteral("AUTH TLS")), !implicit);
        // Passive: libcurl 7.88 puts no TLS on a data connection it accepted.
        QVERIFY(!lines.filter(QRegularExpression("^(EPSV|PASV)$")).isEmpty());
        QVERIFY(lines.filter(QRegularExpression("^(PORT|EPRT) ")).isEmpty());
        QVERIFY(r.keptSecret(FtpsPassword));
    }

    void ftpsProxyLogsInAsUserAtHostOverTls()
    {
        if (!FtpsServer::available())
            QSKIP("pure-ftpd runs its sessions as root");
        TrustTestAuthority authority;
        FtpsServer ftps(false);
        Run r;
        FtpAccount account = ftps.account(FtpSecurity::Explicit);
        account.host = QStringLiteral("ftp.example");
        account.port = QStringLiteral("21");
        account.useProxyServer = true;
        account.proxyServer = QStringLiteral("127.0.0.1");
        account.proxyPort = QString::number(ftps.server->port());
        r.passwords.setGiven(FtpsPassword);
        r.ftp(account, { r.picture(QStringLiteral("p.jpg")) });
        QVERIFY2(r.ok, qPrintable(r.log.lines().join('\n')));
        QVERIFY(QFile::exists(ftps.home("proxy/p.jpg")));
        QVERIFY(r.log.lines().contains(QStringLiteral("USER ana@ftp.example")));
    }

    void ftpsRefusedCertificateOrDroppedHandshakeUploadsNothing()
    {
        if (!FtpsServer::available())
            QSKIP("pure-ftpd runs its sessions as root");
        TrustTestAuthority authority;
        {
            FtpsServer ftps(false, QStringLiteral("wronghost"));
            Run r;
            r.passwords.setGiven(FtpsPassword);
            r.ftp(ftps.account(FtpSecurity::Explicit), { r.picture(QStringLiteral("a.jpg")) });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors().size(), 1);
            QVERIFY(r.errors().first().startsWith(
                QStringLiteral("O certificado do servidor 127.0.0.1 foi recusado: foi emitido "
                               "para outro nome (outro.exemplo.com).")));
            QVERIFY(r.log.lines().filter(QRegularExpression("^(USER|PASS)")).isEmpty());
            QVERIFY(QDir(ftps.home("ana")).entryList(QDir::Files).isEmpty());
        }
        for (const bool implicit : { false, true }) {
            FtpsServer ftps(implicit, QStringLiteral("good"), { "--drop-in-tls" });
            Run r;
            r.passwords.setGiven(FtpsPassword);
            r.ftp(ftps.account(implicit ? FtpSecurity::Implicit : FtpSecurity::Explicit),
                { r.picture(QStringLiteral("a.jpg")) });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(),
                QStringList { "A negociação TLS com o servidor 127.0.0.1 falhou: o servidor "
                              "encerrou a conexão." });
            QVERIFY(r.status.texts.contains(QStringLiteral("Falha na conexão!")));
        }
    }

    void ftpsPasswordIsAskedOnceWhereNoKeyringAnswers()
    {
        if (!FtpsServer::available())
            QSKIP("pure-ftpd runs its sessions as root");
        TrustTestAuthority authority;
        FtpsServer ftps(false);
        Run r;
        r.passwords.setMayAsk(true);
        const FtpAccount account = ftps.account(FtpSecurity::Explicit);
        r.f.prompter.answerSecret(FtpsPassword);
        r.ftp(account, { r.picture(QStringLiteral("a.jpg"), 'a') });
        QVERIFY2(r.ok, qPrintable(r.f.prompter.boxTexts().join('|')));
        r.ftp(account, { r.picture(QStringLiteral("b.jpg"), 'b') });
        QVERIFY(r.ok);
        QCOMPARE(r.secrets().size(), 1);
        QCOMPARE(r.secrets().first().text, QStringLiteral("Senha\nSenha de ana em 127.0.0.1:"));
        QVERIFY(QFile::exists(ftps.home("ana/b.jpg")));

        // The command line asks nobody: it says where the password may come from.
        Run cli;
        cli.passwords.setMissingHint(QStringLiteral("Informe-a com --password-file."));
        cli.ftp(account, { cli.picture(QStringLiteral("c.jpg")) });
        QVERIFY(!cli.ok);
        QCOMPARE(cli.errors().size(), 1);
        QVERIFY2(cli.errors().first().startsWith(
                     QStringLiteral("A senha de ana em 127.0.0.1 não pôde ser lida: nenhum chaveiro "
                                    "do sistema responde (")),
            qPrintable(cli.errors().first()));
        QVERIFY(cli.errors().first().endsWith(QStringLiteral("). Informe-a com --password-file.")));
        QVERIFY(!QFile::exists(ftps.home("ana/c.jpg")));
    }

    void settingsLiveInTablesOfTheirOwnAddedByTheFirstWrite()
    {
        BatchFixture f;
        const QByteArray before = fileHash(f.catalog.path);
        const QStringList mailColumns = f.store.Conexao.columnNames(QStringLiteral("SMTPAccount"));
        const QStringList ftpColumns = f.store.Conexao.columnNames(QStringLiteral("FTPAccounts"));
        const qint64 id = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, UseProxyServer) VALUES "
            "('casa', 'ftp.exemplo.com', 21, 'ana', 0)");
        const QByteArray withAccount = fileHash(f.catalog.path);
        QVERIFY(before != withAccount);

        // Reading the settings of a catalogue without them writes nothing.
        f.store.TFTPAccounts.requery();
        QVERIFY(f.store.TFTPAccounts.gotoRowId(id));
        f.store.TSMTPAccount.first();
        const FtpAccount plainFtp = FtpAccount::fromRecord(f.store.TFTPAccounts);
        const SmtpAccount plainMail = SmtpAccount::fromRecord(f.store.TSMTPAccount);
        QCOMPARE(plainFtp.security, FtpSecurity::None);
        QCOMPARE(plainMail.security, MailSecurity::None);
        QVERIFY(!plainFtp.hasPassword && !plainMail.hasPassword);
        QCOMPARE(fileHash(f.catalog.path), withAccount);
        QVERIFY(!transfersecuritytables::present(f.store.Conexao));

        // The first write that needs them adds them; the Parts' tables keep their columns.
        TransferPasswords passwords;
        MailServerChange mail;
        mail.host = QStringLiteral("smtp.exemplo.com");
        mail.port = QStringLiteral("587");
        mail.security = MailSecurity::StartTls;
        QVERIFY(applyMailServer(f.store, mail, passwords, PasswordKeeping::KeyringOnly, f.prompter));
        QVERIFY(transfersecuritytables::present(f.store.Conexao));
        f.store.TSMTPAccount.first();
        const SmtpAccount saved = SmtpAccount::fromRecord(f.store.TSMTPAccount);
        QCOMPARE(saved.host, QStringLiteral("smtp.exemplo.com"));
        QCOMPARE(saved.port, QStringLiteral("587"));
        QCOMPARE(saved.security, MailSecurity::StartTls);
        FtpAccountChange ftp;
        ftp.security = FtpSecurity::Implicit;
        QVERIFY(saveFtpAccount(f.store, ftp, passwords, PasswordKeeping::KeyringOnly, f.prompter));
        QCOMPARE(FtpAccount::fromRecord(f.store.TFTPAccounts).security, FtpSecurity::Implicit);
        QCOMPARE(f.store.Conexao.columnNames(QStringLiteral("SMTPAccount")), mailColumns);
        QCOMPARE(f.store.Conexao.columnNames(QStringLiteral("FTPAccounts")), ftpColumns);
        QVERIFY(f.prompter.boxes().isEmpty());

        // The settings go with their account.
        f.store.TFTPAccounts.deleteRecord();
        QCOMPARE(FtpAccountSecurity::read(f.store.Conexao, id).security, FtpSecurity::None);
        Query q(f.store.Conexao);
        q.setSql(QStringLiteral("SELECT COUNT(*) AS N FROM FTPAccountSecurity"));
        q.open();
        QCOMPARE(q.asInt(QStringLiteral("N")), qint64(0));
        q.close();
    }

    void settingsRefuseAPlainLogInAndAPasswordNoKeyringTakes()
    {
        BatchFixture f;
        TransferPasswords passwords;
        MailServerChange plain;
        plain.host = QStringLiteral("smtp.exemplo.com");
        plain.userId = MailUser;
        plain.password = MailPassword;
        QVERIFY(!applyMailServer(f.store, plain, passwords, PasswordKeeping::KeyringOrSession,
            f.prompter));
        QCOMPARE(f.prompter.boxTexts(), QStringList { PasswordNeedsProtectionText });
        QVERIFY(!transfersecuritytables::present(f.store.Conexao));
        f.store.TSMTPAccount.first();
        QCOMPARE(f.store.TSMTPAccount.asString(QStringLiteral("Host")), QString());

        // No keyring answers here: the command line's way refuses, the window's keeps it for
        // the session.
        MailServerChange change = plain;
        change.security = MailSecurity::Tls;
        f.prompter.clear();
        QVERIFY(!applyMailServer(f.store, change, passwords, PasswordKeeping::KeyringOnly,
            f.prompter));
        QCOMPARE(f.prompter.boxes().size(), 1);
        QVERIFY(f.prompter.boxTexts().first().startsWith(
            QStringLiteral("Nenhum chaveiro do sistema responde (")));
        QVERIFY(f.prompter.boxTexts().first().endsWith(QStringLiteral("): a senha não foi gravada.")));
        QVERIFY(!transfersecuritytables::present(f.store.Conexao));

        f.prompter.clear();
        QVERIFY(applyMailServer(f.store, change, passwords, PasswordKeeping::KeyringOrSession,
            f.prompter));
        QCOMPARE(f.prompter.boxes().size(), 1);
        QCOMPARE(f.prompter.boxes().first().icon, Prompter::Icon::Warning);
        f.store.TSMTPAccount.first();
        const SmtpAccount account = SmtpAccount::fromRecord(f.store.TSMTPAccount);
        QVERIFY(account.hasPassword);
        QCOMPARE(account.security, MailSecurity::Tls);
        QString why;
        passwords.setMayAsk(false);
        QCOMPARE(passwords.find(account.passwordKey(), account.userId, account.host, f.prompter, &why),
            std::optional<QString>(MailPassword));
        // Never in the catalogue.
        QVERIFY(!testsupport::readFile(f.catalog.path).contains(MailPassword.toUtf8()));
    }

    void aPasswordInMemoryKeepsTheProcessOutOfCoreFiles()
    {
        TransferPasswords passwords;
        passwords.setGiven(QStringLiteral("segredo"));
        QCOMPARE(::prctl(PR_GET_DUMPABLE), 0);
    }

    void fingerprintsAreTypedWithOrWithoutColons()
    {
        const QByteArray sha = QByteArray::fromHex(
            "0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20");
        QCOMPARE(fingerprintText(sha),
            QStringLiteral("01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F:10:11:12:13:14:15:16:17:"
                           "18:19:1A:1B:1C:1D:1E:1F:20"));
        QCOMPARE(parseFingerprint(fingerprintText(sha)), std::optional<QByteArray>(sha));
        QCOMPARE(parseFingerprint(QString::fromLatin1(sha.toHex())), std::optional<QByteArray>(sha));
        QVERIFY(!parseFingerprint(QString::fromLatin1(sha.toHex()).chopped(2)));
        QVERIFY(!parseFingerprint(QString::fromLatin1(sha.toHex()).replace(0, 1, "g")));
    }
};

QTEST_GUILESS_MAIN(TestTransferTls)
#include "test_transfertls.moc"
