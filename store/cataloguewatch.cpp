#include "store/cataloguewatch.h"

#include "store/connection.h"
#include "store/pgengine.h"

#include <QSocketNotifier>
#include <libpq-fe.h>

CatalogueWatch::CatalogueWatch(QObject *parent) : QObject(parent) { }

CatalogueWatch::~CatalogueWatch()
{
    stop();
}

void CatalogueWatch::stop()
{
    m_notifier.reset();
    PQfinish(m_conn);
    m_conn = nullptr;
}

void CatalogueWatch::watch(const Connection &connection)
{
    stop();
    const auto *server = dynamic_cast<const PgConnection *>(connection.engine());
    if (!server)
        return;
    const QByteArray dbname = server->location().toUtf8();
    const QByteArray pass = server->password().toUtf8();
    const char *keywords[] = { "dbname", "application_name", "connect_timeout",
        pass.isEmpty() ? nullptr : "password", nullptr };
    const char *values[] = { dbname.constData(), "quillomar-watch", "15", pass.constData(), nullptr };
    m_ownBackend = PQbackendPID(server->handle());
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        stop();
        return;
    }
    const QByteArray listen = QByteArray("LISTEN ") + PgConnection::changeChannel();
    PGresult *r = PQexec(m_conn, listen.constData());
    const bool listening = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!listening || PQsetnonblocking(m_conn, 1) != 0) {
        stop();
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(PQsocket(m_conn), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CatalogueWatch::readNotices);
}

void CatalogueWatch::readNotices()
{
    if (!PQconsumeInput(m_conn)) {
        // The server went away: the next watch() (the catalogue opened again) starts anew.
        stop();
        return;
    }
    bool others = false;
    while (PGnotify *notice = PQnotifies(m_conn)) {
        others = others || notice->be_pid != m_ownBackend;
        PQfreemem(notice);
    }
    if (others)
        emit changedElsewhere();
}
