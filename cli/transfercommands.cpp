#include "cli/transfercommands.h"

#include "batch/copytofolder.h"
#include "batch/eventlog.h"
#include "batch/ftpaccount.h"
#include "batch/ftpsend.h"
#include "batch/joinkeylist.h"
#include "batch/mailsend.h"
#include "batch/movepictures.h"
#include "batch/sendsecurity.h"
#include "batch/transferpasswords.h"
#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/transferoptions.h"
#include "core/ownedtemporary.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "store/tdados.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

// The sends log every failure they also show in a box; here the log is what the person
// reads (on standard error), so the boxes stay silent instead of saying it twice.
class LoggedPrompter : public Prompter {
public:
    Button box(Icon, const QString &, Buttons buttons) override
    {
        return buttons.testFlag(Yes) ? Yes : Ok;
    }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString pickFolder(const QString &, const QString &) override { return QString(); }
    QString pickFile(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    void beep() override { }
};

// The picture keys every command here ends with.
CliArgument keysArgument()
{
    return { QStringLiteral("CHAVE"), QStringLiteral("RecId de uma imagem (\"-\": lê da entrada)"),
        CliArgument::Count::Many };
}

// Keys of the command line; empty (with its message) when there are none.
std::optional<PictureKeys> pictureKeys(CliContext &cx, const QStringList &args)
{
    std::optional<QList<qint64>> keys = cx.keys(args);
    if (!keys)
        return std::nullopt;
    if (keys->isEmpty()) {
        cx.err(NoPictureMarkedText + QLatin1Char('\n'));
        return PictureKeys();
    }
    return *keys;
}

// What a send of the command line may use to protect itself: the password of
// --password-file (or the keyring; nobody is asked) and the certificates of
// --accept-certificate (none is offered for acceptance). Nothing on a usage error or an
// unreadable password file, with *exit set.
struct CliSendSecurity {
    TransferPasswords passwords;
    SendSecurity security;
};

std::unique_ptr<CliSendSecurity> sendSecurity(CliContext &cx, int *exit)
{
    auto s = std::make_unique<CliSendSecurity>();
    const std::optional<QList<QByteArray>> certificates = transferoptions::acceptedCertificates(cx);
    if (!certificates) {
        *exit = ExitUsage;
        return nullptr;
    }
    bool failed = false;
    const std::optional<QString> password = transferoptions::readPassword(cx, &failed);
    if (failed) {
        *exit = ExitFailure;
        return nullptr;
    }
    s->passwords.setMayAsk(false);
    s->passwords.setMissingHint(QStringLiteral("Informe-a com --password-file."));
    if (password)
        s->passwords.setGiven(*password);
    s->security.passwords = &s->passwords;
    s->security.certificatesForRun = *certificates;
    return s;
}

// Every log line on standard error as the run writes it.
void echoLog(CliContext &cx, EventLog &log)
{
    QObject::connect(&log, &EventLog::lineAdded,
        [&cx](const QString &line) { cx.err(line + QLatin1Char('\n')); });
}

class FtpSendCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("ftp-send"); }
    QString summary() const override
    {
        return QStringLiteral("envia os arquivos das imagens a uma conta FTP");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("CONTA"), QStringLiteral("RecId da conta FTP") },
            keysArgument() };
    }
    QList<QCommandLineOption> options() const override
    {
        return { transferoptions::passwordFile(), transferoptions::acceptCertificate() };
    }
    int run(CliContext &cx) override
    {
        const QStringList args = cx.arguments();
        bool ok = false;
        const qint64 accountId = args.value(0).toLongLong(&ok);
        if (!ok || accountId <= 0)
            return cx.usageError(
                QStringLiteral("ftp-send: conta inválida: \"%1\"").arg(args.value(0)));
        if (transferoptions::passwordFromInput(cx) && args.mid(1).contains(QStringLiteral("-")))
            return cx.usageError(QStringLiteral(
                "ftp-send: --password-file - e chaves da entrada padrão não podem vir juntas"));
        const std::optional<PictureKeys> keys = pictureKeys(cx, args.mid(1));
        if (!keys)
            return ExitUsage;
        if (keys->isEmpty())
            return ExitFailure;
        int exit = ExitOk;
        const std::unique_ptr<CliSendSecurity> security = sendSecurity(cx, &exit);
        if (!security)
            return exit;
        if (!cx.session().openStore())
            return ExitFailure;
        TDados &store = cx.session().store();
        if (!store.TFTPAccounts.gotoRowId(accountId)) {
            cx.err(QStringLiteral("Conta FTP não encontrada: %1\n").arg(accountId));
            return ExitFailure;
        }
        EventLog log;
        echoLog(cx, log);
        LoggedPrompter prompter;
        NullProgress status;
        if (!SendByFtp(store, FtpAccount::fromRecord(store.TFTPAccounts), *keys, log, prompter,
                status, security->security))
            return ExitFailure;
        cx.out(QStringLiteral("Remessa via FTP efetuada!\n"));
        return ExitOk;
    }
};

class MailCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("mail"); }
    QString summary() const override
    {
        return QStringLiteral("envia os arquivos das imagens anexados a uma mensagem");
    }
    QList<CliArgument> arguments() const override { return { keysArgument() }; }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("to"), QStringLiteral("destinatários (\"Para\"; obrigatória)"),
                QStringLiteral("ENDEREÇOS") },
            { QStringLiteral("cc"), QStringLiteral("cópias (\"CC\")"),
                QStringLiteral("ENDEREÇOS") },
            { QStringLiteral("bcc"), QStringLiteral("cópias ocultas (\"CCO\")"),
                QStringLiteral("ENDEREÇOS") },
            { QStringLiteral("subject"), QStringLiteral("assunto"), QStringLiteral("TEXTO") },
            { QStringLiteral("message"),
                QStringLiteral("arquivo com o texto da mensagem (\"-\": a entrada)"),
                QStringLiteral("ARQUIVO") },
            transferoptions::passwordFile(),
            transferoptions::acceptCertificate(),
        };
    }
    int run(CliContext &cx) override
    {
        const QStringList args = cx.arguments();
        const QString messageFile = cx.value(QStringLiteral("message"));
        if (!cx.isSet(QStringLiteral("to")))
            return cx.usageError(QStringLiteral("mail: falta --to"));
        const bool messageFromInput = cx.isSet(QStringLiteral("message"))
            && messageFile == QLatin1String("-");
        const int fromInput = int(messageFromInput) + int(transferoptions::passwordFromInput(cx))
            + int(args.contains(QStringLiteral("-")));
        if (fromInput > 1)
            return cx.usageError(QStringLiteral("mail: só uma entre --message -, --password-file - "
                                                "e chaves pode ler a entrada padrão"));
        const std::optional<PictureKeys> keys = pictureKeys(cx, args);
        if (!keys)
            return ExitUsage;
        if (keys->isEmpty())
            return ExitFailure;
        int exit = ExitOk;
        const std::unique_ptr<CliSendSecurity> security = sendSecurity(cx, &exit);
        if (!security)
            return exit;

        MailInput input { cx.value(QStringLiteral("to")), cx.value(QStringLiteral("cc")),
            cx.value(QStringLiteral("bcc")), cx.value(QStringLiteral("subject")), QString() };
        if (cx.isSet(QStringLiteral("message"))) {
            QFile file;
            const bool opened = messageFile == QLatin1String("-")
                ? file.open(stdin, QIODevice::ReadOnly)
                : (file.setFileName(messageFile), file.open(QIODevice::ReadOnly));
            if (!opened) {
                cx.err(QStringLiteral("%1: %2\n").arg(messageFile, file.errorString()));
                return ExitFailure;
            }
            input.message = QString::fromUtf8(file.readAll());
            // The last line break of a file ends its last line; it adds no empty one.
            if (input.message.endsWith(QLatin1Char('\n')))
                input.message.chop(1);
            if (input.message.endsWith(QLatin1Char('\r')))
                input.message.chop(1);
        }
        if (!cx.session().openStore())
            return ExitFailure;
        TDados &store = cx.session().store();
        store.TSMTPAccount.first();
        const SmtpAccount account = SmtpAccount::fromRecord(store.TSMTPAccount);
        const MailFault fault = checkMail(account, input);
        if (fault.field != MailField::None) {
            cx.err(QString(fault.text).replace(QLatin1Char('\r'), QLatin1Char('\n'))
                + QLatin1Char('\n'));
            return ExitFailure;
        }
        EventLog log;
        echoLog(cx, log);
        LoggedPrompter prompter;
        NullProgress status;
        if (!SendByEmail(store, account, input, *keys, log, prompter, status, security->security))
            return ExitFailure;
        cx.out(QStringLiteral("Remessa via E-mail efetuada!\n"));
        return ExitOk;
    }
};

// Each key that names no picture, on standard error; true when there is none.
bool tellUnknown(CliContext &cx, const PictureKeys &unknown)
{
    for (const qint64 key : unknown)
        cx.err(QStringLiteral("Não há imagem com a chave %1.\n").arg(key));
    return unknown.isEmpty();
}

// A positive integer option; 0 when it is not one.
qint64 keyOption(CliContext &cx, const QString &name)
{
    bool ok = false;
    const qint64 key = cx.value(name).trimmed().toLongLong(&ok);
    return ok && key > 0 ? key : 0;
}

class MoveCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("move"); }
    QString summary() const override
    {
        return QStringLiteral("muda a coleção e a categoria das imagens");
    }
    QList<CliArgument> arguments() const override { return { keysArgument() }; }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("collection"), QStringLiteral("RecId da nova coleção (obrigatória)"),
                QStringLiteral("ID") },
            { QStringLiteral("category"),
                QStringLiteral("RecId da nova categoria, uma da coleção (obrigatória)"),
                QStringLiteral("ID") },
        };
    }
    int run(CliContext &cx) override
    {
        const QString collectionName = QStringLiteral("collection");
        const QString categoryName = QStringLiteral("category");
        if (!cx.isSet(collectionName) || !cx.isSet(categoryName))
            return cx.usageError(QStringLiteral("move: faltam --collection e --category"));
        const qint64 collection = keyOption(cx, collectionName);
        const qint64 category = keyOption(cx, categoryName);
        if (!collection)
            return cx.usageError(
                QStringLiteral("move: coleção inválida: \"%1\"").arg(cx.value(collectionName)));
        if (!category)
            return cx.usageError(
                QStringLiteral("move: categoria inválida: \"%1\"").arg(cx.value(categoryName)));
        const std::optional<PictureKeys> keys = pictureKeys(cx, cx.arguments());
        if (!keys)
            return ExitUsage;
        if (keys->isEmpty())
            return ExitFailure;
        if (!cx.session().openStore())
            return ExitFailure;
        TDados &store = cx.session().store();
        if (!isCategoryOf(store, collection, category)) {
            cx.err(InvalidCategoryText + QLatin1Char('\n'));
            return ExitFailure;
        }
        PictureKeys unknown;
        MovePictures(store, *keys, collection, category, &unknown);
        if (!tellUnknown(cx, unknown))
            return ExitFailure;
        cx.out(QStringLiteral("Mudança efetuada!\n"));
        return ExitOk;
    }
};

class CopyCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("copy"); }
    QString summary() const override
    {
        return QStringLiteral("copia os arquivos das imagens para uma pasta");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("PASTA"), QStringLiteral("pasta de destino, já existente") },
            keysArgument() };
    }
    int run(CliContext &cx) override
    {
        const QStringList args = cx.arguments();
        const QString folder = args.value(0);
        const std::optional<PictureKeys> keys = pictureKeys(cx, args.mid(1));
        if (!keys)
            return ExitUsage;
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            cx.err(QStringLiteral("Caminho inválido!\n"));
            return ExitFailure;
        }
        if (keys->isEmpty())
            return ExitFailure;
        if (!cx.session().openStore())
            return ExitFailure;
        TDados &store = cx.session().store();
        EventLog log;
        echoLog(cx, log);
        LoggedPrompter prompter;
        NullProgress progress;
        PictureKeys unknown;
        const OwnedTemporary::SignalCleanup cleanup;
        const bool copied = CopyToFolder(store, *keys, folder, log, prompter, progress, &unknown);
        if (!tellUnknown(cx, unknown) || !copied)
            return ExitFailure;
        cx.out(QStringLiteral("Cópia efetuada!\n"));
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeMoveCommand()
{
    return std::make_unique<MoveCommand>();
}

std::unique_ptr<CliCommand> makeCopyCommand()
{
    return std::make_unique<CopyCommand>();
}

std::unique_ptr<CliCommand> makeFtpSendCommand()
{
    return std::make_unique<FtpSendCommand>();
}

std::unique_ptr<CliCommand> makeMailCommand()
{
    return std::make_unique<MailCommand>();
}
