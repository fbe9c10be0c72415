#include "batch/mailsend.h"

#include "batch/batchpictures.h"
#include "batch/eventlog.h"
#include "batch/keyring.h"
#include "batch/secretmemory.h"
#include "batch/sendsecurity.h"
#include "batch/smtpengine.h"
#include "batch/transferpasswords.h"
#include "core/appconstants.h"
#include "core/controlescape.h"
#include "core/programpaths.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "store/recordset.h"
#include "store/tdados.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Connecting and every reply; a server that accepts and never answers must not freeze
// the send.
const int SendTimeoutMs = 60000;

bool plainAddress(const QString &address)
{
    const QString a = address.trimmed();
    if (a.isEmpty() || hasControlCharacters(a))
        return false;
    for (const QChar c : a) {
        if (c.isSpace() || c == QLatin1Char('<') || c == QLatin1Char('>'))
            return false;
    }
    return true;
}

int mailPort(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 65535 ? n : 0;
}

} // namespace

SmtpAccount SmtpAccount::fromRecord(const RecordSet &account)
{
    SmtpAccount a;
    a.host = account.asString(QStringLiteral("Host"));
    a.port = account.asString(QStringLiteral("Port"));
    a.userId = account.asString(QStringLiteral("UserID"));
    a.name = account.asString(QStringLiteral("Name"));
    a.email = account.asString(QStringLiteral("Email"));
    const MailServerSecurity settings = MailServerSecurity::read(account.connection());
    a.security = settings.security;
    a.hasPassword = settings.hasPassword;
    return a;
}

QString SmtpAccount::passwordKey() const
{
    return Keyring::passwordKey(QStringLiteral("smtp"), userId, host);
}

QStringList recipientsOf(const QString &text)
{
    if (!text.contains(QLatin1Char(';')))
        return text.trimmed().isEmpty() ? QStringList() : QStringList { text };
    QStringList list;
    const QStringList pieces = text.split(QLatin1Char(';'));
    // The text after the last ";" is not ended by one.
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        const QString r = pieces[i].trimmed();
        if (!r.isEmpty())
            list << r;
    }
    return list;
}

MailFault checkMail(const SmtpAccount &account, const MailInput &input)
{
    if (account.host.trimmed().isEmpty() || hasControlCharacters(account.host)
        || mailPort(account.port) == 0 || account.userId.trimmed().isEmpty()
        || hasControlCharacters(account.userId) || !plainAddress(account.email)
        || hasControlCharacters(account.name))
        return { MailField::Account, mailtext::AccountInvalid };
    if (account.hasPassword && account.security == MailSecurity::None)
        return { MailField::Account, PasswordNeedsProtectionText };
    if (input.to.trimmed().isEmpty())
        return { MailField::To, mailtext::RecipientInvalid };
    const std::pair<MailField, const QString *> fields[] = { { MailField::To, &input.to },
        { MailField::Cc, &input.cc }, { MailField::Bcc, &input.bcc } };
    for (const auto &[field, text] : fields) {
        const QStringList list = recipientsOf(*text);
        if (field == MailField::To && list.isEmpty())
            return { field, mailtext::RecipientInvalid };
        for (const QString &r : list) {
            if (!plainAddress(r))
                return { field, mailtext::RecipientInvalid };
        }
    }
    if (hasControlCharacters(input.subject))
        return { MailField::Subject, mailtext::SubjectInvalid };
    return {};
}

MailFault requireMailPassword(
    const SmtpAccount &account, TransferPasswords &passwords, Prompter &prompter)
{
    if (!account.hasPassword)
        return {};
    QString why;
    std::optional<QString> password
        = passwords.find(account.passwordKey(), account.userId, account.host, prompter, &why);
    if (!password) {
        return { MailField::Account,
            why.isEmpty() ? QStringLiteral("A senha do servidor de e-mail não está disponível.")
                          : why };
    }
    wipeSecret(*password);
    return {};
}

bool SendByEmail(TDados &store, const SmtpAccount &account, const MailInput &input,
    const PictureKeys &keys, EventLog &log, Prompter &prompter, ProgressSink &status)
{
    return SendByEmail(store, account, input, keys, log, prompter, status, windowSendSecurity());
}

bool SendByEmail(TDados &store, const SmtpAccount &account, const MailInput &input,
    const PictureKeys &keys, EventLog &log, Prompter &prompter, ProgressSink &status,
    const SendSecurity &security)
{
    status.pump();
    log.ClearLog();
    QStringList attachmentPaths;
    QStringList attachmentLines;
    // Throws before anything is sent when the list is empty or holds a bad key.
    JoinKeyList(keys);

    const auto report = [&](const QString &text) {
        log.AddLogLine(text);
        prompter.error(text);
    };
    // Nothing that would smuggle header lines or commands leaves the program.
    const MailFault fault = checkMail(account, input);
    if (fault.field != MailField::None) {
        prompter.beep();
        report(fault.text);
        return false;
    }

    // Outlives the engine, whose connections consult it.
    CertificateTrust trust;
    SmtpEngine engine;
    engine.setPump([&status] { status.pump(); });
    engine.events.status = [&log](const QString &text) { log.AddLogLine(text); };
    engine.events.invalidHost = [&] {
        prompter.beep();
        status.setStatus(mailstatus::InvalidHost);
        status.pump();
    };
    engine.events.connectionFailed = [&] {
        prompter.beep();
        status.setStatus(mailstatus::ConnectionFailed);
        status.pump();
    };
    engine.events.failure = [&] {
        prompter.beep();
        status.setStatus(mailstatus::OperationFailed);
        status.pump();
        if (engine.connected())
            engine.disconnect();
    };
    engine.setHost(account.host);
    engine.setPort(mailPort(account.port));
    engine.setUserId(account.userId);
    engine.setReportLevel(1);
    engine.setTimeout(SendTimeoutMs);
    engine.setSecurity(account.security);

    TransferPasswords *passwords = security.passwords;
    const bool logIn = account.hasPassword || (passwords && passwords->hasGiven());
    if (logIn && account.security == MailSecurity::None) {
        prompter.beep();
        report(PasswordNeedsProtectionText);
        return false;
    }
    if (logIn) {
        QString why = QStringLiteral("A senha do servidor de e-mail não está disponível.");
        std::optional<QString> password = passwords
            ? passwords->find(account.passwordKey(), account.userId, account.host, prompter, &why)
            : std::nullopt;
        if (!password) {
            prompter.beep();
            report(why);
            return false;
        }
        engine.setLogIn(account.userId.trimmed(), *password);
        wipeSecret(*password);
    }
    if (account.security != MailSecurity::None) {
        trust = sendTrust(store, security);
        engine.setTrust(&trust);
    }

    status.setStatus(mailstatus::Connecting);
    status.pump();
    connectEngine(engine, security, trust, store, prompter, account.passwordKey(), [&] {
        status.setStatus(mailstatus::Connecting);
        status.pump();
    }, report);

    bool attachFailed = false;
    if (engine.connected()) {
        for (const BatchPicture &picture : readBatchPictures(store, keys)) {
            const QString path = PictureFilePath(picture);
            const QFileInfo info(path);
            if (info.isFile()) {
                status.setStatus(mailstatus::Attaching);
                status.pump();
                if (!info.isReadable()) {
                    attachFailed = true;
                    report(escapeControlCharacters(path)
                        + QStringLiteral(": arquivo sem permissão de leitura."));
                    continue;
                }
                attachmentPaths << path;
                attachmentLines << picture.fileName + QStringLiteral(" (")
                        + QString::number(picture.fileSize) + QStringLiteral(" bytes)");
            } else {
                log.AddLogLine(escapeControlCharacters(path) + QStringLiteral(" não encontrado!"));
                status.setStatus(mailstatus::FileMissing);
                status.pump();
            }
        }
    }

    attachmentLines << QString() << QString(68, QLatin1Char('_'))
                    << appconst::ApplicationTitle + QStringLiteral(" version ")
            + store.paths().ProgramVersion
                    << appconst::HomePageAddress;

    if (engine.connected()) {
        SmtpEngine::Message m;
        m.senderAddress = account.email;
        m.senderName = account.name;
        m.subject = input.subject;
        m.to = recipientsOf(input.to);
        m.cc = recipientsOf(input.cc);
        m.bcc = recipientsOf(input.bcc);
        m.attachments = attachmentPaths;
        if (!input.message.isEmpty())
            m.bodyLines = input.message.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        if (!attachmentPaths.isEmpty())
            m.bodyLines << QString() << QStringLiteral("Anexos: ") << QString() << attachmentLines;
        try {
            engine.send(m);
        } catch (const TransferError &e) {
            report(e.message());
        }
    }

    if (!engine.connected())
        return false;
    status.setStatus(mailstatus::Disconnecting);
    status.pump();
    engine.disconnect();
    return !attachFailed;
}
