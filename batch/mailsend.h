#pragma once

#include "batch/joinkeylist.h"
#include "batch/transfersecurity.h"

#include <QString>
#include <QStringList>

class EventLog;
class ProgressSink;
class Prompter;
class RecordSet;
class TDados;
class TransferPasswords;
struct SendSecurity;

// The outgoing mail server: the values of the SMTPAccount row, with its security settings.
struct SmtpAccount {
    QString host;
    QString port;
    QString userId; // the greeting's argument; with a password, the user who logs in
    QString name;
    QString email;
    // Beyond the row (MailServerSecurity).
    MailSecurity security = MailSecurity::None;
    bool hasPassword = false; // a log-in, its password kept outside the catalogue

    // The current row of the SMTPAccount record set and the security settings.
    static SmtpAccount fromRecord(const RecordSet &account);
    // The key of its password in the keyring.
    QString passwordKey() const;
};

// What the person typed in the e-mail dialog (or gave the command line).
struct MailInput {
    QString to;
    QString cc;
    QString bcc;
    QString subject;
    QString message; // the "Mensagem" lines, separated by line breaks
};

// Which control a refusal of checkMail concerns, so that the dialog can focus it.
enum class MailField { None, Account, To, Cc, Bcc, Subject };

struct MailFault {
    MailField field = MailField::None;
    QString text;
};

// Box texts of the refusals.
namespace mailtext {
inline const QString AccountInvalid
    = QStringLiteral("Configuração do servidor de envio de mensagens inválida!\r"
                     "Configure corretamente no item Opções.");
inline const QString RecipientInvalid = QStringLiteral("Destinatário inválido!");
inline const QString SubjectInvalid = QStringLiteral("Assunto inválido!");
} // namespace mailtext

// Status line texts of a send.
namespace mailstatus {
inline const QString Connecting = QStringLiteral("Conectando...");
inline const QString Attaching = QStringLiteral("Anexando...");
inline const QString FileMissing = QStringLiteral("Arquivo não encontrado!");
inline const QString Disconnecting = QStringLiteral("Disconectando...");
inline const QString InvalidHost = QStringLiteral("Servidor inválido!");
inline const QString ConnectionFailed = QStringLiteral("Falha na conexão!");
inline const QString OperationFailed = QStringLiteral("Falha na operação!");
} // namespace mailstatus

// The recipients of a "Para", "CC" or "CCO" text: without ";" the whole text as typed;
// otherwise the pieces that a ";" ends, trimmed, empty ones skipped. A blank text has none.
QStringList recipientsOf(const QString &text);

// The checks before a send, in order: the mail server row (host, a port from 1 to 65535,
// user and sender address, no control characters, an address without blanks, "<" or ">"),
// "Para" not blank, every recipient a plain address (no control characters, no blanks,
// "<" or ">" inside), the subject on one line. The sender's name is only checked for
// control characters. A log-in without a protected connection is refused as well
// (PasswordNeedsProtectionText). Returns the first refusal, or field None.
MailFault checkMail(const SmtpAccount &account, const MailInput &input);

// With a log-in configured, the check after checkMail that its password can be had: the
// one typed this session, the keyring's, or asked through the prompter (and then kept for
// the session, so that the send does not ask again). Returns the refusal (field Account,
// with why) when there is none, or field None.
MailFault requireMailPassword(
    const SmtpAccount &account, TransferPasswords &passwords, Prompter &prompter);

// Sends one message with the files of the pictures with the given keys attached and
// listed in the body, through the mail server of the account. Empties the log first and
// writes the server's dialogue, missing files and failures to it; each failure is also
// shown in an error box. Returns RunSucceeded: the connection was still open at the end
// and nothing failed. The keys must not be empty; a store error on the picture query
// throws DbError.
//
// A protected connection checks the server's certificate; a log-in takes its password from
// security.passwords (given, typed this session, keyring, or asked), and a send without it
// fails before connecting. This form runs with windowSendSecurity().
bool SendByEmail(TDados &store, const SmtpAccount &account, const MailInput &input,
    const PictureKeys &keys, EventLog &log, Prompter &prompter, ProgressSink &status);
bool SendByEmail(TDados &store, const SmtpAccount &account, const MailInput &input,
    const PictureKeys &keys, EventLog &log, Prompter &prompter, ProgressSink &status,
    const SendSecurity &security);
