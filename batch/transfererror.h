#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// A failure raised by a transfer engine (FTP or SMTP); message() is the text the log and
// the error box show.
class TransferError : public std::exception {
public:
    explicit TransferError(const QString &message)
        : m_message(message), m_utf8(message.toUtf8()) { }
    QString message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
