#pragma once

#include <QString>
#include <optional>

class Connection;

// How a send protects its connection to the mail server.
enum class MailSecurity {
    None, // plain SMTP, as the mail server row alone sends
    StartTls, // plain connection upgraded by STARTTLS before anything else; never without it
    Tls, // TLS from the first byte (smtps, usually port 465)
};

// How a send protects its connections to an FTP account (control and data alike).
enum class FtpSecurity {
    None, // plain FTP in active mode, as the FTPAccounts row alone sends
    Explicit, // AUTH TLS on the plain port, then protected data connections (PROT P)
    Implicit, // TLS from the first byte (ftps, usually port 990)
};

// The refusal of a log-in on a plain connection: a password never travels unprotected.
inline const QString PasswordNeedsProtectionText
    = QStringLiteral("A senha do servidor de e-mail só é enviada por uma conexão protegida: "
                     "escolha STARTTLS ou SSL/TLS em Segurança (Opções, Servidor de e-mail).");

// The words the catalogue stores and the command line takes: none, starttls, tls;
// none, explicit, implicit.
QString securityWord(MailSecurity security);
QString securityWord(FtpSecurity security);
std::optional<MailSecurity> mailSecurityFromWord(const QString &word);
std::optional<FtpSecurity> ftpSecurityFromWord(const QString &word);
// The choices of the "Segurança" pickers: "Nenhuma", "STARTTLS", "SSL/TLS"; "Nenhuma",
// "FTPS explícito", "FTPS implícito".
QString securityLabel(MailSecurity security);
QString securityLabel(FtpSecurity security);

// The mail server's settings beyond its SMTPAccount row (table MailServerSecurity).
struct MailServerSecurity {
    MailSecurity security = MailSecurity::None;
    // The server is logged in to with UserID and a password kept outside the catalogue.
    bool hasPassword = false;

    // The row of the catalogue; the defaults when the table or the row is missing.
    static MailServerSecurity read(Connection &connection);
    // Writes the row, creating the table when the catalogue lacks it; the caller holds the
    // write transaction.
    void write(Connection &connection) const;
};

// One FTP account's settings beyond its FTPAccounts row (table FTPAccountSecurity).
struct FtpAccountSecurity {
    FtpSecurity security = FtpSecurity::None;
    // The account's password is kept outside the catalogue (its Password column is empty).
    bool hasPassword = false;

    static FtpAccountSecurity read(Connection &connection, qint64 account);
    void write(Connection &connection, qint64 account) const;
};
