#pragma once

#include "batch/transfersecurity.h"

#include <QString>
#include <optional>

class Prompter;
class TDados;
class TransferPasswords;

// Where a password given to the settings may be kept when no keyring answers.
enum class PasswordKeeping {
    KeyringOnly, // refused then (the command line: nothing is remembered)
    KeyringOrSession, // kept in memory for this session (the window, which asks again later)
};

// What the options' "Servidor de e-mail" page or `quillomar-cli mail-server` changes; an
// empty member stays as it is.
struct MailServerChange {
    std::optional<QString> host;
    std::optional<QString> port;
    std::optional<QString> userId;
    std::optional<QString> name;
    std::optional<QString> email;
    std::optional<MailSecurity> security;
    // A new password; an empty one removes the log-in.
    std::optional<QString> password;
};

// Writes the mail server as "Aplicar" does, in one write transaction (the caller's when one
// is open): the SMTPAccount row through TSMTPAccount (posting the edit the options dialog
// keeps), its MailServerSecurity row, and the password in the keyring, never in the
// catalogue. A log-in on a plain connection is refused (PasswordNeedsProtectionText), and
// so is a password without a user to log in with (PasswordNeedsUserText); a
// password no keyring takes is refused or kept for the session as keeping says. A refusal
// or a store error is shown through the prompter and nothing is written; false then.
bool applyMailServer(TDados &store, const MailServerChange &change, TransferPasswords &passwords,
    PasswordKeeping keeping, Prompter &prompter);

// What the FTP account editor or `quillomar-cli ftp-account` changes beyond the row.
struct FtpAccountChange {
    std::optional<FtpSecurity> security;
    // A new password; an empty one leaves the account without one.
    std::optional<QString> password;
};

// Saves the current FTPAccounts row as "Gravar" does (posting a pending edit of
// TFTPAccounts) with its FTPAccountSecurity row, in one write transaction. The password goes
// to the keyring, never to the catalogue: a new one given here, or the clear-text one the
// row still holds from before, which then leaves its Password column (told once through
// the prompter). Without a keyring a new password is refused or kept for the session as
// keeping says, and a clear-text one stays where it is until a keyring answers. A refusal
// or a store error is shown through the prompter; false then, and the edit stays pending.
bool saveFtpAccount(TDados &store, const FtpAccountChange &change, TransferPasswords &passwords,
    PasswordKeeping keeping, Prompter &prompter);

// The refusal of a mail server password given with no user to log in with.
inline const QString PasswordNeedsUserText
    = QStringLiteral("A senha do servidor de e-mail precisa de um usuário: preencha Usuário "
                     "ou apague a senha.");

// The one-time notice of a password moved out of the catalogue.
inline const QString PasswordMovedText
    = QStringLiteral("A senha desta conta FTP estava gravada no catálogo e passou para o "
                     "chaveiro do sistema; o catálogo não a guarda mais.");
