#include "batch/transferpasswords.h"

#include "batch/secretmemory.h"
#include "core/controlescape.h"
#include "core/prompter.h"

TransferPasswords::TransferPasswords(const Keyring &keyring) : m_keyring(keyring) { }

TransferPasswords::~TransferPasswords()
{
    wipeSecret(m_given);
    for (QString &p : m_session)
        wipeSecret(p);
}

void TransferPasswords::setGiven(const QString &password)
{
    wipeSecret(m_given);
    m_given = password;
    m_hasGiven = !password.isEmpty();
    if (m_hasGiven)
        protectSecretsInMemory();
}

void TransferPasswords::keepForSession(const QString &key, const QString &password)
{
    protectSecretsInMemory();
    m_session.insert(key, password);
}

void TransferPasswords::forgetSession(const QString &key)
{
    auto it = m_session.find(key);
    if (it == m_session.end())
        return;
    wipeSecret(*it);
    m_session.erase(it);
}

std::optional<QString> TransferPasswords::find(const QString &key, const QString &user,
    const QString &host, Prompter &prompter, QString *why)
{
    if (m_hasGiven)
        return m_given;
    const auto kept = m_session.constFind(key);
    if (kept != m_session.constEnd())
        return *kept;
    const QString who = QStringLiteral("%1 em %2").arg(
        escapeControlCharacters(user.trimmed()), escapeControlCharacters(host.trimmed()));
    const Keyring::Reply reply = m_keyring.read(key);
    if (reply.status == Keyring::Status::Ok) {
        protectSecretsInMemory();
        return reply.password;
    }
    const QString missing = reply.status == Keyring::Status::NotFound
        ? QStringLiteral("A senha de %1 não está no chaveiro do sistema.").arg(who)
        : QStringLiteral("A senha de %1 não pôde ser lida: nenhum chaveiro do sistema "
                         "responde (%2).")
              .arg(who, escapeControlCharacters(reply.error));
    if (!m_mayAsk) {
        *why = m_missingHint.isEmpty() ? missing : missing + QLatin1Char(' ') + m_missingHint;
        return std::nullopt;
    }
    std::optional<QString> typed
        = prompter.inputSecret(QStringLiteral("Senha"), QStringLiteral("Senha de %1:").arg(who));
    if (!typed || typed->isEmpty()) {
        *why = QStringLiteral("Envio cancelado: a senha de %1 não foi informada.").arg(who);
        return std::nullopt;
    }
    keepForSession(key, *typed);
    return typed;
}

TransferPasswords &sessionPasswords()
{
    static TransferPasswords passwords;
    return passwords;
}
