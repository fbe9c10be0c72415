#include "batch/transfersettings.h"

#include "batch/ftpaccount.h"
#include "batch/keyring.h"
#include "batch/transferpasswords.h"
#include "core/controlescape.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/recordset.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <optional>

namespace {

const QString PasswordInvalidText = QStringLiteral("Senha inválida!");

QString noKeyringText(const QString &error)
{
    return QStringLiteral("Nenhum chaveiro do sistema responde (%1): a senha não foi gravada.")
        .arg(escapeControlCharacters(error));
}

QString sessionOnlyText(const QString &error)
{
    return QStringLiteral("Nenhum chaveiro do sistema responde (%1): a senha fica guardada só "
                          "até o programa ser fechado.")
        .arg(escapeControlCharacters(error));
}

// Keeps a new password: in the keyring, else (as keeping allows) for the session. Returns
// false after telling why when it can be kept nowhere; *sessionOnly says where it went.
bool keepPassword(const QString &key, const QString &password, TransferPasswords &passwords,
    PasswordKeeping keeping, Prompter &prompter, QString *sessionOnlyError)
{
    const Keyring::Reply reply = passwords.keyring().write(key, password);
    if (reply.status == Keyring::Status::Ok) {
        // What this session typed earlier is superseded.
        passwords.forgetSession(key);
        return true;
    }
    if (keeping == PasswordKeeping::KeyringOnly) {
        prompter.error(noKeyringText(reply.error));
        return false;
    }
    *sessionOnlyError = reply.error.isEmpty() ? QStringLiteral("?") : reply.error;
    return true;
}

// While it lives, what the connection deletes or overwrites is zeroed in the file, so that a
// password taken out of a row leaves no copy in the file's free space.
class SecureDelete {
public:
    explicit SecureDelete(Connection &connection) : m_connection(connection)
    {
        Statement query(connection, QStringLiteral("PRAGMA secure_delete"));
        Statement::Reset done(query);
        m_before = query.step() ? query.integer(0) : 0;
        m_connection.exec(QStringLiteral("PRAGMA secure_delete = 1"));
    }
    ~SecureDelete()
    {
        try {
            m_connection.exec(QStringLiteral("PRAGMA secure_delete = %1").arg(m_before));
        } catch (const DbError &) {
        }
    }
    SecureDelete(const SecureDelete &) = delete;
    SecureDelete &operator=(const SecureDelete &) = delete;

private:
    Connection &m_connection;
    qint64 m_before = 0;
};

void forgetPassword(const QString &key, TransferPasswords &passwords)
{
    passwords.forgetSession(key);
    // Nothing to remove, or no keyring to remove it from: either way it is not used again,
    // since the settings say there is no password.
    passwords.keyring().remove(key);
}

} // namespace

bool applyMailServer(TDados &store, const MailServerChange &change, TransferPasswords &passwords,
    PasswordKeeping keeping, Prompter &prompter)
{
    RecordSet &row = store.TSMTPAccount;
    Connection &connection = store.Conexao;
    try {
        if (!row.isEditing())
            row.first();
        const auto after = [&row](const char *field, const std::optional<QString> &value) {
            return value ? *value : row.asString(QString::fromLatin1(field));
        };
        const QString host = after("Host", change.host);
        const QString user = after("UserID", change.userId);
        MailServerSecurity settings = MailServerSecurity::read(connection);
        if (change.security)
            settings.security = *change.security;
        if (change.password)
            settings.hasPassword = !change.password->isEmpty();
        if (change.password && hasControlCharacters(*change.password)) {
            prompter.error(PasswordInvalidText);
            return false;
        }
        // A log-in is a user with a password: a password alone would be kept under no one.
        if (change.password && !change.password->isEmpty() && user.trimmed().isEmpty()) {
            prompter.error(PasswordNeedsUserText);
            return false;
        }
        if (settings.hasPassword && settings.security == MailSecurity::None) {
            prompter.error(PasswordNeedsProtectionText);
            return false;
        }
        const QString key = Keyring::passwordKey(QStringLiteral("smtp"), user, host);
        QString sessionOnlyError;
        if (change.password && !change.password->isEmpty()
            && !keepPassword(key, *change.password, passwords, keeping, prompter,
                &sessionOnlyError))
            return false;

        std::optional<Transaction> transaction;
        if (!connection.inTransaction())
            transaction.emplace(connection);
        if (!row.isEditing())
            row.edit();
        const std::pair<const char *, const std::optional<QString> *> fields[] = {
            { "Host", &change.host }, { "Port", &change.port }, { "UserID", &change.userId },
            { "Name", &change.name }, { "Email", &change.email }
        };
        for (const auto &[field, value] : fields) {
            if (*value)
                row.setValue(QString::fromLatin1(field), **value);
        }
        row.post();
        settings.write(connection);
        if (transaction)
            transaction->commit();

        if (!sessionOnlyError.isEmpty()) {
            passwords.keepForSession(key, *change.password);
            prompter.warning(sessionOnlyText(sessionOnlyError));
        }
        if (change.password && change.password->isEmpty())
            forgetPassword(key, passwords);
        return true;
    } catch (const DbError &e) {
        if (row.isEditing())
            row.cancel();
        prompter.error(e.message());
        return false;
    }
}

bool saveFtpAccount(TDados &store, const FtpAccountChange &change, TransferPasswords &passwords,
    PasswordKeeping keeping, Prompter &prompter)
{
    RecordSet &accounts = store.TFTPAccounts;
    Connection &connection = store.Conexao;
    bool posted = false;
    try {
        const FtpAccount account = FtpAccount::fromRecord(accounts);
        FtpAccountSecurity settings { account.security, account.hasPassword };
        if (change.security)
            settings.security = *change.security;
        if (change.password && hasControlCharacters(*change.password)) {
            prompter.error(PasswordInvalidText);
            return false;
        }
        const QString key = account.passwordKey();
        const QString clearText = account.password;
        QString sessionOnlyError;
        bool moved = false;
        if (change.password) {
            settings.hasPassword = !change.password->isEmpty();
            if (settings.hasPassword
                && !keepPassword(key, *change.password, passwords, keeping, prompter,
                    &sessionOnlyError))
                return false;
        } else if (!clearText.isEmpty()) {
            // The first save moves a password the catalogue kept in clear; without a keyring
            // it stays where it is, so that nothing is lost.
            moved = passwords.keyring().write(key, clearText).status == Keyring::Status::Ok;
            if (moved)
                settings.hasPassword = true;
        }

        const bool clearColumn = (change.password || moved) && !clearText.isEmpty();
        std::optional<SecureDelete> zeroed;
        if (clearColumn)
            zeroed.emplace(connection);
        Transaction transaction(connection);
        if (!accounts.isEditing())
            accounts.edit();
        if (clearColumn)
            accounts.setNull(QStringLiteral("Password"));
        accounts.post();
        posted = true;
        settings.write(connection, accounts.rowId());
        transaction.commit();

        if (!sessionOnlyError.isEmpty()) {
            passwords.keepForSession(key, *change.password);
            prompter.warning(sessionOnlyText(sessionOnlyError));
        }
        if (change.password && change.password->isEmpty())
            forgetPassword(key, passwords);
        if (moved)
            prompter.information(PasswordMovedText);
        return true;
    } catch (const DbError &e) {
        // A post undone with its transaction leaves the set showing what the file holds.
        if (posted) {
            try {
                accounts.refresh();
            } catch (const DbError &) {
            }
        }
        prompter.error(e.message());
        return false;
    }
}
