#pragma once

class Connection;

// The transaction of a record edit. It is begun only when the edit first writes (a storage
// added by "Localizar", or the save itself), so that no lock is held on the catalogue while
// the person types and another process may commit meanwhile.
class EditTransaction {
public:
    explicit EditTransaction(Connection &connection) : m_connection(connection) { }
    ~EditTransaction();
    EditTransaction(const EditTransaction &) = delete;
    EditTransaction &operator=(const EditTransaction &) = delete;

    // An edit started: its transaction begins with its first write.
    void start() { m_pending = true; }
    // Before a write of the edit: begins the transaction when the edit has none yet.
    // Throws DbError.
    void beginNow();
    // Before the checks of a save, new records' too: the checks and the write run in one
    // write transaction (BEGIN IMMEDIATE, waiting for another process's), so that of two
    // saves of one name the second sees the first's row. Begins one when none is open.
    // Throws DbError.
    void beginSave();
    // A save its checks refused: what beginSave() began is rolled back, nothing having been
    // written in it, so that no lock is held while the person corrects the record. A
    // transaction the edit had begun before (a storage added by "Localizar") stays.
    void refuseSave();
    // Commits or rolls back the transaction open on the connection, if any; the edit ends.
    void commit();
    void rollback();
    bool pending() const { return m_pending; }

private:
    Connection &m_connection;
    bool m_pending = false;
    bool m_begun = false;
    bool m_begunForSave = false;
};
