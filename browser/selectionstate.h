#pragma once

#include "browser/nodekind.h"

#include <QObject>

// The main window's selection and editing state: which record the person selected in a
// tree (SelectedNodeKind, SelectedNodeKey), whether a record navigator is inserting or
// editing (InsertInProgress, EditInProgress), and whether the trees show the current
// catalogue (TreesCurrent). The browser sets the selection; record editing sets the flags.
class SelectionState : public QObject {
    Q_OBJECT
public:
    explicit SelectionState(QObject *parent = nullptr) : QObject(parent) { }

    NodeKind kind() const { return m_node.kind; }
    qint64 key() const { return m_node.key; }
    NodeCode node() const { return m_node; }
    bool isEmpty() const { return !m_node.isValid(); }
    void select(NodeCode node);
    void clear() { select({}); }

    bool insertInProgress() const { return m_insert; }
    bool editInProgress() const { return m_edit; }
    bool editing() const { return m_insert || m_edit; }
    void setInsertInProgress(bool on);
    void setEditInProgress(bool on);

    bool treesCurrent() const { return m_treesCurrent; }
    void setTreesCurrent(bool current) { m_treesCurrent = current; }

signals:
    void selectionChanged();
    void editingChanged();

private:
    NodeCode m_node;
    bool m_insert = false;
    bool m_edit = false;
    bool m_treesCurrent = false;
};
