#pragma once

#include "batch/ftpaccount.h"
#include "batch/joinkeylist.h"

class EventLog;
class ProgressSink;
class Prompter;
class TDados;

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

// Uploads the files of the pictures with the given keys to an FTP account, each under its
// FileName into the account's directory, over one control connection. Empties the log
// first and writes the server's dialogue, missing files and failures to it; each failure
// is also shown in an error box. Returns RunSucceeded: the connection was still open at
// the end and no file was refused. The keys must not be empty (callers refuse that with
// NoPictureMarkedText). A store error on the picture query throws DbError.
bool SendByFtp(TDados &store, const FtpAccount &account, const PictureKeys &keys, EventLog &log,
    Prompter &prompter, ProgressSink &status);
