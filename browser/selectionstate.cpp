#include "browser/selectionstate.h"

void SelectionState::select(NodeCode node)
{
    if (!node.isValid())
        node = {};
    if (node == m_node)
        return;
    m_node = node;
    emit selectionChanged();
}

void SelectionState::setInsertInProgress(bool on)
{
    if (on == m_insert)
        return;
    m_insert = on;
    emit editingChanged();
}

void SelectionState::setEditInProgress(bool on)
{
    if (on == m_edit)
        return;
    m_edit = on;
    emit editingChanged();
}
