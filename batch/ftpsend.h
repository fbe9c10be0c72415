#pragma once

#include "batch/ftpaccount.h"
#include "batch/joinkeylist.h"

class EventLog;
class ProgressSink;
class Prompter;
class TDados;
class TransferPasswords;
struct SendSecurity;

// Status line texts of a send, shown through the progress sink.
namespace ftpstatus {
inline const QString Connecting = QStringLiteral("Conectando...");
inline const QString Sending = QStringLiteral("Enviando...");
inline const QString FileMissing = QStringLiteral("Arquivo não encontrado!");
inline const QString Disconnecting = QStringLiteral("Disconectando...");
inline const QString InvalidHost = QStringLiteral("Servidor inválido!");
inline const QString ConnectionFailed = QStringLiteral("Falha na conexão!");
inline const QString DirectoryFailed = QStringLiteral("Falha no diretório!");
inline const QString UploadFailed = QStringLiteral("Falha na carga de arquivo!");
inline const QString OperationFailed = QStringLiteral("Falha na operação!");
} // namespace ftpstatus

// Before the send is confirmed, the password of an account that keeps it outside the
// catalogue: the one typed this session, the keyring's, or asked through the prompter (then
// kept for the session, so that the send does not ask again). Empty when it can be had (or
// none is needed), otherwise why not (Portuguese).
QString requireFtpPassword(
    const FtpAccount &account, TransferPasswords &passwords, Prompter &prompter);

// Uploads the files of the pictures with the given keys to an FTP account, each under its
// FileName into the account's directory, over one control connection. Empties the log
// first and writes the server's dialogue, missing files and failures to it; each failure
// is also shown in an error box. Returns RunSucceeded: the connection was still open at
// the end and no file was refused. The keys must not be empty (callers refuse that with
// NoPictureMarkedText). A store error on the picture query throws DbError.
//
// A protected account checks the server's certificate. The password is the one given for
// the run (security.passwords), else the one the account carries (a Password column not yet
// moved to the keyring), else, when it keeps one outside the catalogue, the one
// security.passwords finds (typed this session, keyring, or asked); a send without it fails
// before connecting. This form runs with
// windowSendSecurity().
bool SendByFtp(TDados &store, const FtpAccount &account, const PictureKeys &keys, EventLog &log,
    Prompter &prompter, ProgressSink &status);
bool SendByFtp(TDados &store, const FtpAccount &account, const PictureKeys &keys, EventLog &log,
    Prompter &prompter, ProgressSink &status, const SendSecurity &security);
