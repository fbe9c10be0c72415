#include "store/transaction.h"

#include "store/connection.h"

Transaction::Transaction(Connection &connection, Behavior behavior) : m_connection(connection)
{
    if (behavior == Behavior::Immediate)
        begin();
}

Transaction::~Transaction()
{
    if (m_active) {
        try {
            m_connection.rollback();
        } catch (...) { // a destructor must not throw; the engine ends it on close anyway
        }
    }
}

void Transaction::begin()
{
    if (m_active || m_ended)
        return;
    m_connection.beginTransaction();
    m_active = true;
}

void Transaction::commit()
{
    m_ended = true;
    if (!m_active)
        return;
    m_connection.commit();
    m_active = false;
}

void Transaction::rollback()
{
    m_ended = true;
    if (!m_active)
        return;
    m_active = false;
    m_connection.rollback();
}
