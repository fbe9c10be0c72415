#include "store/transaction.h"

#include "store/connection.h"

Transaction::Transaction(Connection &connection) : m_connection(connection)
{
    m_connection.beginTransaction();
    m_active = true;
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

void Transaction::commit()
{
    m_connection.commit();
    m_active = false;
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    m_connection.rollback();
}
