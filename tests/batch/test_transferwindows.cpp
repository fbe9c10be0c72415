#include "batch/certificatetrust.h"
#include "batch/eventlog.h"
#include "batch/keyring.h"
#include "batch/transferpasswords.h"
#include "batch/transfersettings.h"
#include "batch/tremeterarquivosemail.h"
#include "batch/tremeterarquivosftp.h"
#include "batchfixture.h"
#include "options/topcoes.h"
#include "store/query.h"
#include "store/transaction.h"
#include "support/windowdriver.h"
#include "tlsserverfixture.h"

#include <QComboBox>
#include <QLabel>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>

// The protected transfers as the windows offer them: "Segurança" and "Senha" of the options'
// mail server page and of the FTP account editor, the password asked by a send, a refused
// certificate accepted from the window. Run twice: inside a private D-Bus session with a
// keyring (support/withkeyring.sh), and with no session bus, where passwords are kept for
// the session only.
namespace {

bool keyringAnswers()
{
    return Keyring().read(QStringLiteral("quillomar-probe")).status != Keyring::Status::Unavailable;
}

// A catalogue file holds no trace of the text, not even in its free space.
bool absentFrom(const QString &catalogue, const QString &text)
{
    return !testsupport::readFile(catalogue).contains(text.toUtf8());
}

// Chooses a picker's item with the keyboard, as a person does.
void choose(QComboBox *combo, const QString &text)
{
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < combo->count() && combo->currentText() != text; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), text);
}

int echoCharacter(QLineEdit *edit)
{
    return edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit);
}

const QString SessionOnlyStart = QStringLiteral("Nenhum chaveiro do sistema responde (");

struct Options {
    BatchFixture &f;
    TOpcoes dialog { f.store, f.prompter };

    explicit Options(BatchFixture &fixture) : f(fixture) { }

    QLineEdit *edit(const char *name) const
    {
        return testsupport::child<QLineEdit>(&dialog, QString::fromLatin1(name));
    }
    QComboBox *security() const
    {
        return testsupport::child<QComboBox>(&dialog, QStringLiteral("ComboBox1"));
    }
    void mailPage() const
    {
        auto *pages = testsupport::child<QTabWidget>(&dialog, QStringLiteral("PageControl1"));
        QTest::mouseClick(
            pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(1).center());
        QCOMPARE(pages->currentIndex(), 1);
    }
    void type(const char *name, const QString &text) const
    {
        testsupport::typeInto(edit(name), text);
    }
    void apply() const { testsupport::click(&dialog, QStringLiteral("BitBtn3")); }
    bool applyEnabled() const
    {
        return testsupport::child<QPushButton>(&dialog, QStringLiteral("BitBtn3"))->isEnabled();
    }
    // Sets the whole page as a person would.
    void server(const QString &port, const QString &user, const QString &securityLabel,
        const QString &password) const
    {
        mailPage();
        type("DBEdit1", QStringLiteral("127.0.0.1"));
        type("DBEdit2", port);
        type("DBEdit3", user);
        type("DBEdit5", QStringLiteral("ana@exemplo.com.br"));
        choose(security(), securityLabel);
        type("Edit2", password);
    }
};

struct MailDialog {
    BatchFixture &f;
    EventLog log;
    TRemeterArquivosEmail dialog { f.store, f.prompter, log };

    explicit MailDialog(BatchFixture &fixture) : f(fixture) { }

    // "OK" with a recipient; the dialog's result.
    int send(qint64 picture)
    {
        dialog.setSelectedKeys({ picture });
        return testsupport::runModal(dialog, [this] {
            testsupport::typeInto(
                testsupport::child<QLineEdit>(&dialog, QStringLiteral("Edit1")), "bia@x.org");
            testsupport::click(&dialog, QStringLiteral("BitBtn1"));
        });
    }
};

int secretsAsked(const ScriptedPrompter &prompter)
{
    int n = 0;
    for (const ScriptedPrompter::Record &r : prompter.records())
        n += r.kind == ScriptedPrompter::Kind::Secret;
    return n;
}

const QString MailKey = Keyring::passwordKey(QStringLiteral("smtp"), MailUser, "127.0.0.1");

} // namespace

class TestTransferWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestCertificates::instance();
        qInfo("keyring: %s", keyringAnswers() ? "yes" : "no (session only)");
    }

    void cleanup()
    {
        sessionPasswords().forgetSession(MailKey);
        sessionPasswords().forgetSession(Keyring::passwordKey("ftp", "ana", "127.0.0.1"));
        Keyring().remove(MailKey);
        Keyring().remove(Keyring::passwordKey("ftp", "ana", "127.0.0.1"));
    }

    void mailSecurityAndPasswordAreSavedAndShownAgainButNeverInTheCatalogue()
    {
        const bool keyring = keyringAnswers();
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(false));
        BatchFixture f;
        const QString port = QString::number(smtp.server->port());
        {
            Options o(f);
            testsupport::runModal(o.dialog, [&] {
                o.server(port, MailUser, QStringLiteral("STARTTLS"), MailPassword);
                QCOMPARE(o.edit("Edit2")->echoMode(), QLineEdit::Password);
                QCOMPARE(echoCharacter(o.edit("Edit2")), int('*'));
                o.apply();
                QVERIFY(!o.applyEnabled());
            });
        }
        if (keyring) {
            QCOMPARE(f.prompter.boxTexts(), QStringList());
            QCOMPARE(Keyring().read(MailKey).password, MailPassword);
        } else {
            QCOMPARE(f.prompter.boxes().size(), 1);
            QVERIFY2(f.prompter.boxTexts().first().startsWith(SessionOnlyStart),
                qPrintable(f.prompter.boxTexts().first()));
        }
        QVERIFY(absentFrom(f.catalog.path, MailPassword));
        const MailServerSecurity saved = MailServerSecurity::read(f.store.Conexao);
        QCOMPARE(saved.security, MailSecurity::StartTls);
        QVERIFY(saved.hasPassword);

        // Shown again: the security chosen, the password as a mask only.
        f.prompter.clear();
        {
            Options o(f);
            testsupport::runModal(o.dialog, [&] {
                o.mailPage();
                QCOMPARE(o.security()->currentText(), QStringLiteral("STARTTLS"));
                QCOMPARE(o.edit("DBEdit3")->text(), MailUser);
                QVERIFY(!o.edit("Edit2")->text().isEmpty());
                QVERIFY(!o.edit("Edit2")->text().contains(MailPassword));
                // Another change leaves the kept password as it is.
                o.type("DBEdit4", QStringLiteral("Ana"));
                o.apply();
            });
        }
        QCOMPARE(f.prompter.boxTexts(), QStringList());
        QVERIFY(MailServerSecurity::read(f.store.Conexao).hasPassword);

        // The send from the window logs in with it, asking nobody.
        MailDialog m(f);
        const QByteArray bytes = sampleBytes(3000, 'w');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "praça.jpg", &bytes);
        QCOMPARE(m.send(k), int(QDialog::Accepted));
        QCOMPARE(secretsAsked(f.prompter), 0);
        QCOMPARE(smtp.messages().size(), 1);
        QVERIFY(smtp.server->entries("auth").value(0).value("success").toBool());
        QCOMPARE(f.prompter.boxTexts().last(), QStringLiteral("Remessa via E-mail efetuada!"));
    }

    void aSendAsksForAMissingPasswordOnceAndNoAnswerLeavesTheDialogOpen()
    {
        TrustTestAuthority authority;
        SmtpServer smtp(tlsMailServer(true));
        BatchFixture f;
        MailServerChange change;
        change.host = QStringLiteral("127.0.0.1");
        change.port = QString::number(smtp.server->port());
        change.userId = MailUser;
        change.email = QStringLiteral("ana@exemplo.com.br");
        change.security = MailSecurity::Tls;
        change.password = MailPassword;
        TransferPasswords elsewhere;
        QVERIFY(applyMailServer(
            f.store, change, elsewhere, PasswordKeeping::KeyringOrSession, f.prompter));
        // Neither the keyring nor this session holds it now.
        Keyring().remove(MailKey);
        f.prompter.clear();
        const QByteArray bytes = sampleBytes(2000, 'a');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "a.jpg", &bytes);

        MailDialog m(f);
        // No answer: the dialog says why and stays open; nothing is confirmed or sent.
        f.prompter.answerSecret(std::nullopt);
        int result = testsupport::runModal(m.dialog, [&] {
            m.dialog.setSelectedKeys({ k });
            testsupport::typeInto(
                testsupport::child<QLineEdit>(&m.dialog, QStringLiteral("Edit1")), "bia@x.org");
            testsupport::click(&m.dialog, QStringLiteral("BitBtn1"));
            QVERIFY(m.dialog.isVisible());
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(secretsAsked(f.prompter), 1);
        QCOMPARE(f.prompter.boxTexts(),
            QStringList { QStringLiteral("Envio cancelado: a senha de %1 em 127.0.0.1 não foi "
                                         "informada.")
                              .arg(MailUser) });
        QVERIFY(smtp.messages().isEmpty());

        // Answered: asked once, kept for the session, not asked by the next send.
        f.prompter.clear();
        f.prompter.answerSecret(MailPassword);
        QCOMPARE(m.send(k), int(QDialog::Accepted));
        QCOMPARE(m.send(k), int(QDialog::Accepted));
        QCOMPARE(secretsAsked(f.prompter), 1);
        QCOMPARE(smtp.messages().size(), 2);
        QVERIFY(absentFrom(f.catalog.path, MailPassword));
    }

    void aPasswordIsRefusedOverNoSecurityOrWithoutAUserAndCanBeRemoved()
    {
        BatchFixture f;
        Options o(f);
        const auto hostInFile = [&f] {
            Query q(f.store.Conexao);
            q.setSql(QStringLiteral("SELECT Host FROM SMTPAccount"));
            q.open();
            const QString host = q.asString(QStringLiteral("Host"));
            q.close();
            return host;
        };
        testsupport::runModal(o.dialog, [&] {
            o.server(QStringLiteral("25"), MailUser, QStringLiteral("Nenhuma"), MailPassword);
            o.apply();
            QCOMPARE(f.prompter.boxTexts(), QStringList { PasswordNeedsProtectionText });
            // Nothing written; the change waits to be applied.
            QVERIFY(o.applyEnabled());
            QCOMPARE(hostInFile(), QString());

            o.type("DBEdit3", QString());
            choose(o.security(), QStringLiteral("SSL/TLS"));
            o.apply();
            QCOMPARE(f.prompter.boxTexts().last(), PasswordNeedsUserText);
            QCOMPARE(hostInFile(), QString());

            // Emptying "Senha" as well: a server without a log-in, which is saved.
            o.type("Edit2", QString());
            o.type("DBEdit3", QStringLiteral("estacao"));
            f.prompter.clear();
            o.apply();
            QCOMPARE(f.prompter.boxTexts(), QStringList());
            QCOMPARE(hostInFile(), QStringLiteral("127.0.0.1"));
        });
        MailServerSecurity saved = MailServerSecurity::read(f.store.Conexao);
        QCOMPARE(saved.security, MailSecurity::Tls);
        QVERIFY(!saved.hasPassword);
        QVERIFY(absentFrom(f.catalog.path, MailPassword));

        // A kept password, then the mask deleted: the log-in goes, from the keyring too.
        MailServerChange change;
        change.userId = MailUser;
        change.password = MailPassword;
        QVERIFY(applyMailServer(
            f.store, change, sessionPasswords(), PasswordKeeping::KeyringOrSession, f.prompter));
        QVERIFY(MailServerSecurity::read(f.store.Conexao).hasPassword);
        testsupport::runModal(o.dialog, [&] {
            o.mailPage();
            QLineEdit *password = o.edit("Edit2");
            password->setFocus();
            password->end(false);
            QTest::keyClick(password, Qt::Key_Backspace);
            QCOMPARE(password->text(), QString());
            o.apply();
        });
        QVERIFY(!MailServerSecurity::read(f.store.Conexao).hasPassword);
        QCOMPARE(Keyring().read(MailKey).status == Keyring::Status::Ok, false);
    }

    void aClearTextFtpPasswordMovesOutOfTheCatalogueWithOneNoticeAndTheSendUsesIt()
    {
        if (!FtpsServer::available())
            QSKIP("pure-ftpd runs its sessions as root");
        const bool keyring = keyringAnswers();
        TrustTestAuthority authority;
        FtpsServer ftps(false);
        BatchFixture f;
        const qint64 id = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, Password, UseProxyServer) "
            "VALUES ('casa', '127.0.0.1', :P, 'ana', :S, 0)",
            { { "P", QString::number(ftps.server->port()) }, { "S", FtpsPassword } });
        f.store.TFTPAccounts.requery();
        QVERIFY(f.store.TFTPAccounts.gotoRowId(id));
        const QByteArray bytes = sampleBytes(4000, 'f');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "ftp.jpg", &bytes);
        EventLog log;
        TRemeterArquivosFTP dialog(f.store, f.prompter, log);
        dialog.setSelectedKeys({ k });
        auto *security = testsupport::child<QComboBox>(&dialog, QStringLiteral("ComboBox1"));
        auto *password = testsupport::child<QLineEdit>(&dialog, QStringLiteral("DBEdit5"));
        const int result = testsupport::runModal(dialog, [&] {
            QCOMPARE(security->currentText(), QStringLiteral("Nenhuma"));
            QCOMPARE(echoCharacter(password), int('*'));
            // The clear-text password is shown as a mask, never itself.
            QVERIFY(!password->text().isEmpty());
            QVERIFY(password->text() != FtpsPassword);
            choose(security, QStringLiteral("FTPS explícito"));
            QVERIFY(testsupport::child<QPushButton>(&dialog, "BitBtn2")->isEnabled());
            testsupport::click(&dialog, QStringLiteral("BitBtn2"));
            QVERIFY(!f.store.TFTPAccounts.isEditing());
            // Saved again: nothing more to move, nothing more told.
            choose(security, QStringLiteral("FTPS explícito"));
            testsupport::typeInto(
                testsupport::child<QLineEdit>(&dialog, QStringLiteral("DBEdit8")), "fotos");
            testsupport::click(&dialog, QStringLiteral("BitBtn2"));
            QVERIFY(!f.store.TFTPAccounts.isEditing());
            testsupport::click(&dialog, QStringLiteral("BitBtn5"));
        });
        const QStringList boxes = f.prompter.boxTexts();
        QCOMPARE(boxes.count(PasswordMovedText), keyring ? 1 : 0);
        QCOMPARE(boxes.last(), QStringLiteral("Remessa via FTP efetuada!"));
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(testsupport::readFile(ftps.home("ana/fotos/ftp.jpg")), bytes);
        const FtpAccount saved = FtpAccount::fromRecord(f.store.TFTPAccounts);
        QCOMPARE(saved.security, FtpSecurity::Explicit);
        if (keyring) {
            QVERIFY(saved.hasPassword);
            QVERIFY(saved.password.isEmpty());
            QVERIFY(absentFrom(f.catalog.path, FtpsPassword));
            QCOMPARE(Keyring().read(saved.passwordKey()).password, FtpsPassword);
        } else {
            // With no keyring to take it, it stays where it was, so that nothing is lost.
            QCOMPARE(saved.password, FtpsPassword);
        }
    }

    void aPasswordTypedInTheFtpEditorNeverReachesTheCatalogue()
    {
        const bool keyring = keyringAnswers();
        BatchFixture f;
        const QString typed = QStringLiteral("digitada-Ç-123");
        EventLog log;
        TRemeterArquivosFTP dialog(f.store, f.prompter, log);
        testsupport::runModal(dialog, [&] {
            // No account yet: the dialog starts a new one.
            QVERIFY(f.store.TFTPAccounts.isEditing());
            const auto type = [&](const char *name, const QString &text) {
                testsupport::typeInto(
                    testsupport::child<QLineEdit>(&dialog, QString::fromLatin1(name)), text);
            };
            type("DBEdit1", "casa");
            type("DBEdit2", "127.0.0.1");
            type("DBEdit4", "ana");
            type("DBEdit5", typed);
            choose(testsupport::child<QComboBox>(&dialog, QStringLiteral("ComboBox1")),
                QStringLiteral("FTPS implícito"));
            testsupport::click(&dialog, QStringLiteral("BitBtn2"));
            QVERIFY(!f.store.TFTPAccounts.isEditing());
            QCOMPARE(
                testsupport::child<QComboBox>(&dialog, QStringLiteral("ComboBox1"))->currentText(),
                QStringLiteral("FTPS implícito"));
        });
        const QString key = Keyring::passwordKey("ftp", "ana", "127.0.0.1");
        if (keyring) {
            QCOMPARE(f.prompter.boxTexts(), QStringList());
            QCOMPARE(Keyring().read(key).password, typed);
        } else {
            QCOMPARE(f.prompter.boxes().size(), 1);
            QVERIFY(f.prompter.boxTexts().first().startsWith(SessionOnlyStart));
            ScriptedPrompter nobody;
            QString why;
            QCOMPARE(sessionPasswords().find(key, "ana", "127.0.0.1", nobody, &why),
                std::optional<QString>(typed));
            QCOMPARE(secretsAsked(nobody), 0);
        }
        const FtpAccount saved = FtpAccount::fromRecord(f.store.TFTPAccounts);
        QCOMPARE(saved.security, FtpSecurity::Implicit);
        QVERIFY(saved.hasPassword);
        QVERIFY(saved.password.isEmpty());
        QVERIFY(absentFrom(f.catalog.path, typed));
    }

    void theFtpSendAsksForAMissingPasswordBeforeItsConfirmation()
    {
        if (!FtpsServer::available())
            QSKIP("pure-ftpd runs its sessions as root");
        TrustTestAuthority authority;
        FtpsServer ftps(true);
        BatchFixture f;
        const qint64 id = f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, UseProxyServer) "
            "VALUES ('casa', '127.0.0.1', :P, 'ana', 0)",
            { { "P", QString::number(ftps.server->port()) } });
        // Its password kept outside the catalogue, in no keyring this session can read.
        {
            Transaction t(f.store.Conexao);
            FtpAccountSecurity { FtpSecurity::Implicit, true }.write(f.store.Conexao, id);
            t.commit();
        }
        f.store.TFTPAccounts.requery();
        QVERIFY(f.store.TFTPAccounts.gotoRowId(id));
        const QByteArray bytes = sampleBytes(2500, 'i');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "i.jpg", &bytes);
        EventLog log;
        TRemeterArquivosFTP dialog(f.store, f.prompter, log);
        dialog.setSelectedKeys({ k });
        const auto ok = [&] {
            return testsupport::runModal(
                dialog, [&] { testsupport::click(&dialog, QStringLiteral("BitBtn5")); });
        };
        // No answer: why, and the dialog stays open; nothing confirmed.
        QCOMPARE(ok(), int(QDialog::Rejected));
        QCOMPARE(secretsAsked(f.prompter), 1);
        QCOMPARE(f.prompter.boxTexts(),
            QStringList { "Envio cancelado: a senha de ana em 127.0.0.1 não foi informada." });
        f.prompter.clear();
        f.prompter.answerSecret(FtpsPassword);
        QVERIFY2(ok() == int(QDialog::Accepted), qPrintable(f.prompter.boxTexts().join('|')));
        QCOMPARE(secretsAsked(f.prompter), 1);
        QCOMPARE(testsupport::readFile(ftps.home("ana/i.jpg")), bytes);
    }

    void aRefusedCertificateIsAcceptedFromTheWindowForItsHost()
    {
        SmtpServer smtp(tlsMailServer(true, QStringLiteral("selfsigned")));
        BatchFixture f;
        MailServerChange change;
        change.host = QStringLiteral("127.0.0.1");
        change.port = QString::number(smtp.server->port());
        change.userId = MailUser;
        change.email = QStringLiteral("ana@exemplo.com.br");
        change.security = MailSecurity::Tls;
        change.password = MailPassword;
        QVERIFY(applyMailServer(
            f.store, change, sessionPasswords(), PasswordKeeping::KeyringOrSession, f.prompter));
        f.prompter.clear();
        const QByteArray bytes = sampleBytes(1500, 'c');
        const qint64 k = f.picture(f.catalog.folder.file("fotos"), "c.jpg", &bytes);
        MailDialog m(f);

        // No: refused, the log and Cancel.
        f.prompter.answerButton(Prompter::Yes);
        f.prompter.answerButton(Prompter::No);
        QCOMPARE(m.send(k), int(QDialog::Rejected));
        const QString fingerprint
            = fingerprintText(TestCertificates::instance().fingerprint("selfsigned"));
        QVERIFY2(f.prompter.boxTexts().value(1).startsWith(
                     "O certificado do servidor 127.0.0.1 não pôde ser verificado: "),
            qPrintable(f.prompter.boxTexts().join('|')));
        QVERIFY(f.prompter.boxTexts().value(1).contains(fingerprint));
        QVERIFY(smtp.messages().isEmpty());

        // Yes: sent, and remembered: the next send asks nothing.
        f.prompter.clear();
        QVERIFY2(m.send(k) == int(QDialog::Accepted), qPrintable(f.prompter.boxTexts().join('|')));
        QCOMPARE(f.prompter.boxes().size(), 3);
        f.prompter.clear();
        QCOMPARE(m.send(k), int(QDialog::Accepted));
        QCOMPARE(f.prompter.boxTexts(),
            QStringList({ "Confirmar a operação?", "Remessa via E-mail efetuada!" }));
        QCOMPARE(smtp.messages().size(), 2);
    }
};

QTEST_MAIN(TestTransferWindows)
#include "test_transferwindows.moc"
