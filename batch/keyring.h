#pragma once

#include <QString>

// The desktop's keyring (the Secret Service, through QtKeychain) as the transfers keep their
// passwords in it. Every call waits for its answer in a local event loop, so the command
// line and the window use it alike; the window keeps repainting meanwhile. Nothing ever
// falls back to a file: where no keyring answers, the call says Unavailable.
class Keyring {
public:
    enum class Status {
        Ok,
        NotFound, // the keyring answered and holds nothing under that key
        Unavailable, // no keyring reachable (no session bus, no Secret Service, locked)
    };
    struct Reply {
        Status status = Status::Unavailable;
        QString password; // with Ok from read()
        QString error; // the keyring's own text with Unavailable
    };

    // Entries are stored under the service name and the key; the program's is "Quillomar".
    explicit Keyring(const QString &service = QStringLiteral("Quillomar"));

    Reply read(const QString &key) const;
    Reply write(const QString &key, const QString &password) const;
    // Removing a key that is not there is Ok.
    Reply remove(const QString &key) const;

    // The key of an account's password: KIND ("smtp", "ftp"), ":" and USER@HOST, the host
    // in lower case. A password belongs to the server it was given for: another host or
    // user name never finds it.
    static QString passwordKey(const QString &kind, const QString &user, const QString &host);

private:
    QString m_service;
};
