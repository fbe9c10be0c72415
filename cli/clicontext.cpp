#include "cli/clicontext.h"

#include "cli/clicommand.h"
#include "cli/clicommands.h"
#include "cli/clisession.h"
#include "cli/keyarguments.h"

#include <QCommandLineParser>

CliContext::CliContext(
    const CliCommand &command, const QCommandLineParser &parser, const QString &catalogue, FILE *in)
    : m_command(command), m_parser(parser), m_catalogue(catalogue), m_in(in)
{
}

CliContext::~CliContext() = default;

bool CliContext::isSet(const QString &option) const
{
    return m_parser.isSet(option);
}

QString CliContext::value(const QString &option) const
{
    return m_parser.value(option);
}

QStringList CliContext::values(const QString &option) const
{
    return m_parser.values(option);
}

QStringList CliContext::arguments() const
{
    return m_parser.positionalArguments();
}

CliSession &CliContext::session()
{
    if (!m_session) {
        m_session = std::make_unique<CliSession>(m_catalogue);
        m_session->setCataloguePassword(m_cataloguePassword);
    }
    return *m_session;
}

void CliContext::out(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
}

void CliContext::err(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
    std::fflush(stderr);
}

int CliContext::usageError(const QString &message)
{
    err(message + QStringLiteral("\n\n") + commandUsage(m_command));
    return ExitUsage;
}

std::optional<QList<qint64>> CliContext::keys(const QStringList &args)
{
    QString error;
    QList<qint64> keys = readKeyArguments(args, m_in, &error);
    if (!error.isEmpty()) {
        usageError(m_command.name() + QStringLiteral(": ") + error);
        return std::nullopt;
    }
    return keys;
}
