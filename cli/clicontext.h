#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <optional>

class CliCommand;
class CliSession;
class QCommandLineParser;

// What a command sees of its command line once the frame has parsed it, and the ways it
// writes: data to standard output, messages to standard error.
class CliContext {
public:
    CliContext(const CliCommand &command, const QCommandLineParser &parser,
        const QString &catalogue, FILE *in = stdin);
    ~CliContext();
    CliContext(const CliContext &) = delete;
    CliContext &operator=(const CliContext &) = delete;

    bool isSet(const QString &option) const;
    QString value(const QString &option) const;
    // Every value of an option given more than once, in order.
    QStringList values(const QString &option) const;
    // The positional arguments after the command name.
    QStringList arguments() const;
    // --catalogue as given, empty when absent (the configuration's catalogue then).
    QString catalogue() const { return m_catalogue; }
    // The password of --password-file given before the command, for a catalogue on a
    // server; empty: the keyring's, then libpq's own (~/.pgpass).
    void setCataloguePassword(const QString &password) { m_cataloguePassword = password; }

    // The program's paths, prompter and store for this run, made on first use.
    CliSession &session();

    // Writes UTF-8 text as it is.
    void out(const QString &text);
    void err(const QString &text);
    // A usage error found by the command itself: message and usage on stderr; ExitUsage.
    int usageError(const QString &message);

    // Standard input as the command reads it ("-" for keys, a message or a password).
    FILE *input() const { return m_in; }

    // Picture keys from `args`: each a positive integer, or "-" for the keys on standard
    // input, one a line (blank lines ignored). A bad key is reported as a usage error and
    // gives nothing.
    std::optional<QList<qint64>> keys(const QStringList &args);

private:
    const CliCommand &m_command;
    const QCommandLineParser &m_parser;
    QString m_catalogue;
    QString m_cataloguePassword;
    FILE *m_in;
    std::unique_ptr<CliSession> m_session;
};
