#include "maintenance/edittransaction.h"

#include "store/connection.h"
#include "store/dberror.h"

EditTransaction::~EditTransaction()
{
    if (m_begun && m_connection.isOpen() && m_connection.inTransaction()) {
        try {
            m_connection.rollback();
        } catch (const DbError &) {
        }
    }
}

void EditTransaction::beginNow()
{
    if (!m_pending || m_connection.inTransaction())
        return;
    m_connection.beginTransaction();
    m_begun = true;
}

void EditTransaction::beginSave()
{
    if (m_connection.inTransaction())
        return;
    m_connection.beginTransaction();
    m_begun = true;
    m_begunForSave = true;
}

void EditTransaction::refuseSave()
{
    if (!m_begunForSave)
        return;
    m_begunForSave = false;
    m_begun = false;
    if (m_connection.isOpen() && m_connection.inTransaction())
        m_connection.rollback();
}

void EditTransaction::commit()
{
    m_pending = false;
    m_begun = false;
    m_begunForSave = false;
    if (m_connection.isOpen() && m_connection.inTransaction())
        m_connection.commit();
}

void EditTransaction::rollback()
{
    m_pending = false;
    m_begun = false;
    m_begunForSave = false;
    if (m_connection.isOpen() && m_connection.inTransaction())
        m_connection.rollback();
}
