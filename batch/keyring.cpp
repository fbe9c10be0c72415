#include "batch/keyring.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <qt6keychain/keychain.h>

#include <memory>

namespace {

// Runs a job to its end; the caller owns it.
void runJob(QKeychain::Job &job)
{
    job.setAutoDelete(false);
    // Plain files are no keyring: a password that cannot be kept safely is not kept.
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

Keyring::Reply replyOf(const QKeychain::Job &job)
{
    Keyring::Reply reply;
    switch (job.error()) {
    case QKeychain::NoError: reply.status = Keyring::Status::Ok; break;
    case QKeychain::EntryNotFound: reply.status = Keyring::Status::NotFound; break;
    default:
        // A refused unlock, no session bus, no Secret Service: all mean no keyring here.
        reply.status = Keyring::Status::Unavailable;
        reply.error = job.errorString();
        break;
    }
    return reply;
}

} // namespace

Keyring::Keyring(const QString &service) : m_service(service) { }

Keyring::Reply Keyring::read(const QString &key) const
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(key);
    runJob(job);
    Reply reply = replyOf(job);
    if (reply.status == Status::Ok)
        reply.password = job.textData();
    return reply;
}

Keyring::Reply Keyring::write(const QString &key, const QString &password) const
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(key);
    job.setTextData(password);
    runJob(job);
    return replyOf(job);
}

Keyring::Reply Keyring::remove(const QString &key) const
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(key);
    runJob(job);
    Reply reply = replyOf(job);
    if (reply.status == Status::NotFound)
        reply.status = Status::Ok;
    return reply;
}

QString Keyring::passwordKey(const QString &kind, const QString &user, const QString &host)
{
    return kind + QLatin1Char(':') + user.trimmed() + QLatin1Char('@') + host.trimmed().toLower();
}
