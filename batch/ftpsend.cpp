#include "batch/ftpsend.h"

#include "batch/batchpictures.h"
#include "batch/eventlog.h"
#include "batch/ftpengine.h"
#include "batch/secretmemory.h"
#include "batch/sendsecurity.h"
#include "batch/transferpasswords.h"
#include "core/controlescape.h"
#include "core/progresssink.h"
#include "core/prompter.h"

#include <QFileInfo>

namespace {
const int SendTimeoutMs = 5000;
}

QString requireFtpPassword(
    const FtpAccount &account, TransferPasswords &passwords, Prompter &prompter)
{
    if (!account.password.isEmpty() || !account.hasPassword)
        return {};
    QString why;
    std::optional<QString> found
        = passwords.find(account.passwordKey(), account.userId, account.host, prompter, &why);
    if (!found)
        return why.isEmpty() ? QStringLiteral("A senha da conta FTP não está disponível.") : why;
    wipeSecret(*found);
    return {};
}

bool SendByFtp(TDados &store, const FtpAccount &account, const PictureKeys &keys, EventLog &log,
    Prompter &prompter, ProgressSink &status)
{
    return SendByFtp(store, account, keys, log, prompter, status, windowSendSecurity());
}

bool SendByFtp(TDados &store, const FtpAccount &account, const PictureKeys &keys, EventLog &log,
    Prompter &prompter, ProgressSink &status, const SendSecurity &security)
{
    status.pump();
    log.ClearLog();
    // Throws before anything is sent when the list is empty or holds a bad key.
    JoinKeyList(keys);

    // Outlives the engine, whose connections consult it.
    CertificateTrust trust;
    FtpEngine engine;
    engine.setPump([&status] { status.pump(); });
    engine.events.status = [&log](const QString &text) { log.AddLogLine(text); };
    engine.events.invalidHost = [&] {
        prompter.beep();
        status.setStatus(ftpstatus::InvalidHost);
        status.pump();
    };
    engine.events.connectionFailed = [&] {
        prompter.beep();
        status.setStatus(ftpstatus::ConnectionFailed);
        status.pump();
    };
    engine.events.failure = [&](FtpEngine::Operation op) {
        prompter.beep();
        status.setStatus(op == FtpEngine::Operation::ChangeDirectory ? ftpstatus::DirectoryFailed
                : op == FtpEngine::Operation::Upload                 ? ftpstatus::UploadFailed
                                                                     : ftpstatus::OperationFailed);
        status.pump();
        if (engine.connected())
            engine.disconnect();
    };
    const auto report = [&](const QString &text) {
        log.AddLogLine(text);
        prompter.error(text);
    };

    if (account.useProxyServer)
        engine.setProxy(account.proxyServer, portNumber(account.proxyPort));
    else
        engine.setProxy(QString(), 0);
    engine.setHost(account.host);
    engine.setPort(portNumber(account.port));
    engine.setTimeout(SendTimeoutMs);
    engine.setReportLevel(1);
    engine.setUserId(account.userId);
    engine.setSecurity(account.security);

    // A value that would smuggle commands onto the connection stops the run before it.
    const QString fault = account.firstFault();
    if (!fault.isEmpty()) {
        prompter.beep();
        report(fault);
        return false;
    }

    QString password = account.password;
    TransferPasswords *passwords = security.passwords;
    if (passwords && passwords->hasGiven()) {
        password = passwords->given();
    } else if (password.isEmpty() && account.hasPassword) {
        QString why = QStringLiteral("A senha da conta não está disponível.");
        const std::optional<QString> found = passwords
            ? passwords->find(account.passwordKey(), account.userId, account.host, prompter, &why)
            : std::nullopt;
        if (!found) {
            prompter.beep();
            report(why);
            return false;
        }
        password = *found;
    }
    engine.setPassword(password);
    wipeSecret(password);
    if (account.security != FtpSecurity::None) {
        trust = sendTrust(store, security);
        engine.setTrust(&trust);
    }

    status.setStatus(ftpstatus::Connecting);
    status.pump();
    connectEngine(engine, security, trust, store, prompter, account.passwordKey(), [&] {
        status.setStatus(ftpstatus::Connecting);
        status.pump();
    }, report);

    if (engine.connected() && !account.directory.trimmed().isEmpty()) {
        try {
            engine.changeDirectory(account.directory);
        } catch (const TransferError &e) {
            report(e.message());
        }
    }

    bool refusedName = false;
    if (engine.connected()) {
        const QList<BatchPicture> pictures = readBatchPictures(store, keys);
        for (const BatchPicture &picture : pictures) {
            const QString path = PictureFilePath(picture);
            if (QFileInfo(path).isFile()) {
                status.setStatus(ftpstatus::Sending);
                status.pump();
                const QString remoteName = QFileInfo(path).fileName();
                if (hasControlCharacters(remoteName)) {
                    // Refused before the engine sees it, so the other files still go.
                    refusedName = true;
                    prompter.beep();
                    status.setStatus(ftpstatus::UploadFailed);
                    report(QStringLiteral("Nome de arquivo inválido: ")
                        + escapeControlCharacters(path));
                    continue;
                }
                try {
                    engine.upload(path, remoteName);
                } catch (const TransferError &e) {
                    report(e.message());
                }
            } else {
                log.AddLogLine(escapeControlCharacters(path) + QStringLiteral(" não encontrado!"));
                status.setStatus(ftpstatus::FileMissing);
                status.pump();
            }
        }
    }

    if (!engine.connected())
        return false;
    status.setStatus(ftpstatus::Disconnecting);
    status.pump();
    engine.disconnect();
    return !refusedName;
}
