#include "maintenance/recordsave.h"

#include "core/prompter.h"
#include "maintenance/recordtables.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QScopeGuard>

void RecordSave::editStarted()
{
    m_save.reset();
    m_edit.emplace(m_store.Conexao, Transaction::Behavior::Deferred);
}

void RecordSave::beforeWrite()
{
    if (m_edit && !m_store.Conexao.inTransaction())
        m_edit->begin();
}

bool RecordSave::check(NodeKind kind, const RecordValidation::Focus &focus)
{
    if (!m_store.Conexao.inTransaction())
        m_save.emplace(m_store.Conexao);
    RecordValidation validation(m_store, m_prompter);
    validation.setBeforeRefusal([this] {
        if (m_save) {
            m_save->rollback();
            m_save.reset();
        }
    });
    return validation.validate(kind, focus);
}

bool RecordSave::commit(NodeKind kind)
{
    try {
        if (m_save)
            m_save->commit();
        else if (m_edit)
            m_edit->commit();
    } catch (const DbError &e) {
        // Nothing of the edit is kept: a transaction left open would swallow what follows.
        m_prompter.error(e.message());
        try {
            rollback();
            recordtables::recordSetOf(m_store, kind).refresh();
        } catch (const DbError &) {
        }
        return false;
    }
    m_save.reset();
    m_edit.reset();
    return true;
}

void RecordSave::rollback()
{
    // Whatever fails, the edit has ended: the next one starts afresh.
    const auto ended = qScopeGuard([this] {
        m_save.reset();
        m_edit.reset();
    });
    if (m_save)
        m_save->rollback();
    if (m_edit)
        m_edit->rollback();
}

bool RecordSave::save(NodeKind kind)
{
    RecordSet &set = recordtables::recordSetOf(m_store, kind);
    try {
        if (!check(kind)) {
            abandon(kind);
            return false;
        }
        set.post();
    } catch (const DbError &e) {
        m_prompter.error(e.message());
        abandon(kind);
        return false;
    }
    if (commit(kind))
        return true;
    abandon(kind);
    return false;
}

void RecordSave::abandon(NodeKind kind) noexcept
{
    try {
        RecordSet &set = recordtables::recordSetOf(m_store, kind);
        if (set.isEditing())
            set.cancel();
        rollback();
    } catch (const DbError &) {
    }
}
