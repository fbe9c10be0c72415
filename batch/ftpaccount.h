#pragma once

#include <QString>

class RecordSet;

// The values of one FTPAccounts row that a send uses.
struct FtpAccount {
    QString host;
    QString port; // as stored; a whole number from 1 to 65535 to be usable
    QString userId;
    QString password;
    bool useProxyServer = false;
    QString proxyServer;
    QString proxyPort;
    QString directory;

    // The current row of an FTPAccounts record set (its edit buffer while editing).
    static FtpAccount fromRecord(const RecordSet &accounts);

    // The first value that must not reach the server, as the box text the account editor
    // shows for its field ("Porta inválida!", "Usuário inválido!", ...); empty when all
    // may be sent. Control characters would add commands of their own to the connection.
    QString firstFault() const;
};

// The port as a number when the text (blanks around it aside) is a whole number from 1 to
// 65535, otherwise 0.
int portNumber(const QString &text);
