#pragma once

#include "batch/keyring.h"

#include <QHash>
#include <QString>
#include <optional>

class Prompter;

// Where the sends find the password of the mail server or of an FTP account, in order: the
// one given for this run (the command line's --password-file), the ones typed earlier in
// this session, the keyring, and last the person, asked through the prompter with a masked
// input where someone can answer (the window). What was typed stays in memory for the
// session, never on disk.
class TransferPasswords {
public:
    explicit TransferPasswords(const Keyring &keyring = Keyring());
    // Wipes what it kept.
    ~TransferPasswords();
    TransferPasswords(const TransferPasswords &) = delete;
    TransferPasswords &operator=(const TransferPasswords &) = delete;

    // For this run, whatever account asks; an empty one means none.
    void setGiven(const QString &password);
    bool hasGiven() const { return m_hasGiven; }
    const QString &given() const { return m_given; }
    // Whether the person may be asked (off on the command line).
    void setMayAsk(bool on) { m_mayAsk = on; }
    // Added to the text that says a password could not be found ("Informe-a com ...").
    void setMissingHint(const QString &hint) { m_missingHint = hint; }

    // The password of the user on the host, kept under the key (Keyring::passwordKey);
    // nothing, with why in *why (Portuguese), when none could be found or the person gave
    // none.
    std::optional<QString> find(const QString &key, const QString &user, const QString &host,
        Prompter &prompter, QString *why);
    // Keeps a password for the rest of the session (no keyring to hold it).
    void keepForSession(const QString &key, const QString &password);
    // After the server refused a log-in: what was kept for the key is asked again next time.
    void forgetSession(const QString &key);

    const Keyring &keyring() const { return m_keyring; }

private:
    Keyring m_keyring;
    QString m_given;
    bool m_hasGiven = false;
    bool m_mayAsk = true;
    QString m_missingHint;
    QHash<QString, QString> m_session;
};

// The process's passwords of this session: the window's, for the sends it runs.
TransferPasswords &sessionPasswords();
