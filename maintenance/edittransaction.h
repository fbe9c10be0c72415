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
    // Commits or rolls back the transaction open on the connection, if any; the edit ends.
    void commit();
    void rollback();
    bool pending() const { return m_pending; }

private:
    Connection &m_connection;
    bool m_pending = false;
    bool m_begun = false;
};
