#pragma once

#include "batch/transfersecurity.h"

#include <QString>

class RecordSet;

// The control of the account editor a refusal of its checks concerns, so it can be focused.
enum class FtpField {
    None,
    Profile,
    Host,
    Port,
    UserId,
    Password,
    ProxyServer,
    ProxyPort,
    Directory
};

struct FtpFault {
    FtpField field = FtpField::None;
    QString text;
};

// The values of one FTPAccounts row that a send uses, with its security settings.
struct FtpAccount {
    QString host;
    QString port; // as stored; a whole number from 1 to 65535 to be usable
    QString userId;
    QString password;
    bool useProxyServer = false;
    QString proxyServer;
    QString proxyPort;
    QString directory;
    // Beyond the row (FTPAccountSecurity); a row without settings is plain FTP and carries
    // its password in its Password column, as the Parts' accounts do.
    qint64 recId = 0;
    FtpSecurity security = FtpSecurity::None;
    bool hasPassword = false; // kept outside the catalogue

    // The current row of an FTPAccounts record set (its edit buffer while editing) and its
    // security settings.
    static FtpAccount fromRecord(const RecordSet &accounts);
    // The key of its password in the keyring.
    QString passwordKey() const;

    // The first value that must not reach the server, as the box text the account editor
    // shows for its field ("Porta inválida!", "Usuário inválido!", ...); empty when all
    // may be sent. Control characters would add commands of their own to the connection.
    QString firstFault() const;
    // The account editor's "Gravar" checks, in their order: the profile name first, then
    // what a send refuses, the proxy's values checked even while it is off, since the row
    // keeps them for when it is on. No field when the account may be saved.
    FtpFault saveFault(const QString &profile) const;
};

// The port as a number when the text (blanks around it aside) is a whole number from 1 to
// 65535, otherwise 0.
int portNumber(const QString &text);
