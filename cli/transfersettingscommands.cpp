#include "cli/transfersettingscommands.h"

#include "batch/ftpaccount.h"
#include "batch/mailsend.h"
#include "batch/transferpasswords.h"
#include "batch/transfersettings.h"
#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/transferoptions.h"
#include "core/controlescape.h"
#include "store/dberror.h"
#include "store/tdados.h"

namespace {

const QString SecurityName = QStringLiteral("security");

QString line(const QString &key, const QString &value)
{
    return key + QLatin1Char('\t') + escapeControlCharacters(value) + QLatin1Char('\n');
}

class MailServerCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("mail-server"); }
    QString summary() const override
    {
        return QStringLiteral("mostra ou altera o servidor de envio de mensagens");
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("host"), QStringLiteral("servidor SMTP"), QStringLiteral("SERVIDOR") },
            { QStringLiteral("port"), QStringLiteral("porta"), QStringLiteral("PORTA") },
            { QStringLiteral("user"),
                QStringLiteral("usuário (a identificação; com senha, quem se autentica)"),
                QStringLiteral("USUÁRIO") },
            { QStringLiteral("name"), QStringLiteral("nome do remetente"), QStringLiteral("NOME") },
            { QStringLiteral("email"), QStringLiteral("endereço do remetente"),
                QStringLiteral("ENDEREÇO") },
            { SecurityName, QStringLiteral("segurança: none, starttls ou tls"),
                QStringLiteral("MODO") },
            transferoptions::passwordFile(),
        };
    }
    int run(CliContext &cx) override
    {
        MailServerChange change;
        const std::pair<const char *, std::optional<QString> *> texts[] = { { "host", &change.host },
            { "port", &change.port }, { "user", &change.userId }, { "name", &change.name },
            { "email", &change.email } };
        for (const auto &[option, member] : texts) {
            if (cx.isSet(QString::fromLatin1(option)))
                *member = cx.value(QString::fromLatin1(option));
        }
        if (change.port && portNumber(*change.port) == 0)
            return cx.usageError(
                QStringLiteral("mail-server: porta inválida: \"%1\"").arg(*change.port));
        if (cx.isSet(SecurityName)) {
            change.security = mailSecurityFromWord(cx.value(SecurityName));
            if (!change.security)
                return cx.usageError(QStringLiteral("mail-server: segurança inválida: \"%1\" "
                                                    "(none, starttls ou tls)")
                                         .arg(cx.value(SecurityName)));
        }
        bool failed = false;
        change.password = transferoptions::readPassword(cx, &failed);
        if (failed)
            return ExitFailure;
        if (!cx.session().openStore())
            return ExitFailure;
        TDados &store = cx.session().store();
        const bool changes = change.host || change.port || change.userId || change.name
            || change.email || change.security || change.password;
        if (!changes)
            return print(cx, store);
        TransferPasswords passwords;
        return applyMailServer(store, change, passwords, PasswordKeeping::KeyringOnly,
                   cx.session().prompter())
            ? ExitOk
            : ExitFailure;
    }

private:
    static int print(CliContext &cx, TDados &store)
    {
        try {
            store.TSMTPAccount.first();
            const SmtpAccount a = SmtpAccount::fromRecord(store.TSMTPAccount);
            cx.out(line(QStringLiteral("host"), a.host) + line(QStringLiteral("port"), a.port)
                + line(QStringLiteral("user"), a.userId) + line(QStringLiteral("name"), a.name)
                + line(QStringLiteral("email"), a.email)
                + line(QStringLiteral("security"), securityWord(a.security))
                + line(QStringLiteral("password"),
                    a.hasPassword ? QStringLiteral("set") : QStringLiteral("none")));
        } catch (const DbError &e) {
            cx.session().prompter().error(e.message());
            return ExitFailure;
        }
        return ExitOk;
    }
};

class FtpAccountCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("ftp-account"); }
    QString summary() const override
    {
        return QStringLiteral("mostra ou altera a segurança e a senha de uma conta FTP");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("CONTA"), QStringLiteral("RecId da conta FTP") } };
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { SecurityName, QStringLiteral("segurança: none, explicit ou implicit"),
                QStringLiteral("MODO") },
            transferoptions::passwordFile(),
        };
    }
    int run(CliContext &cx) override
    {
        const QString idText = cx.arguments().value(0);
        bool ok = false;
        const qint64 id = idText.toLongLong(&ok);
        if (!ok || id <= 0)
            return cx.usageError(QStringLiteral("ftp-account: conta inválida: \"%1\"").arg(idText));
        FtpAccountChange change;
        if (cx.isSet(SecurityName)) {
            change.security = ftpSecurityFromWord(cx.value(SecurityName));
            if (!change.security)
                return cx.usageError(QStringLiteral("ftp-account: segurança inválida: \"%1\" "
                                                    "(none, explicit ou implicit)")
                                         .arg(cx.value(SecurityName)));
        }
        bool failed = false;
        change.password = transferoptions::readPassword(cx, &failed);
        if (failed)
            return ExitFailure;
        if (!cx.session().openStore())
            return ExitFailure;
        TDados &store = cx.session().store();
        try {
            if (!store.TFTPAccounts.gotoRowId(id)) {
                cx.err(QStringLiteral("Conta FTP não encontrada: %1\n").arg(id));
                return ExitFailure;
            }
            if (!change.security && !change.password)
                return print(cx, store);
        } catch (const DbError &e) {
            cx.session().prompter().error(e.message());
            return ExitFailure;
        }
        TransferPasswords passwords;
        return saveFtpAccount(store, change, passwords, PasswordKeeping::KeyringOnly,
                   cx.session().prompter())
            ? ExitOk
            : ExitFailure;
    }

private:
    static int print(CliContext &cx, TDados &store)
    {
        const FtpAccount a = FtpAccount::fromRecord(store.TFTPAccounts);
        const QString password = !a.password.isEmpty() ? QStringLiteral("catalogue")
            : a.hasPassword                            ? QStringLiteral("set")
                                                       : QStringLiteral("none");
        cx.out(line(QStringLiteral("profile"),
                   store.TFTPAccounts.asString(QStringLiteral("Profile")))
            + line(QStringLiteral("host"), a.host) + line(QStringLiteral("port"), a.port)
            + line(QStringLiteral("user"), a.userId)
            + line(QStringLiteral("directory"), a.directory)
            + line(QStringLiteral("proxy"),
                a.useProxyServer ? QStringLiteral("yes") : QStringLiteral("no"))
            + line(QStringLiteral("proxy-server"), a.proxyServer)
            + line(QStringLiteral("proxy-port"), a.proxyPort)
            + line(QStringLiteral("security"), securityWord(a.security))
            + line(QStringLiteral("password"), password));
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeMailServerCommand()
{
    return std::make_unique<MailServerCommand>();
}

std::unique_ptr<CliCommand> makeFtpAccountCommand()
{
    return std::make_unique<FtpAccountCommand>();
}
