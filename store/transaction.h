#pragma once

class Connection;

// A write transaction on the catalogue that rolls back on destruction unless committed, so
// a failure never leaves half a change behind (as SQLiteCpp's Transaction, with its
// behaviour argument).
class Transaction {
public:
    enum class Behavior {
        // A file's write lock is taken at once (BEGIN IMMEDIATE): a read inside cannot
        // turn into a write that deadlocks with another process's. A server's transaction
        // locks only the rows it writes and what its writer guards (Connection::lockUntilEnd).
        Immediate,
        // Nothing is begun, and no lock taken, until begin(): a record edit begins with its
        // first write, so another process may commit while the person types. (SQL's own
        // BEGIN DEFERRED would hold a read lock from the first read on, which blocks that.)
        Deferred,
    };

    explicit Transaction(Connection &connection, Behavior behavior = Behavior::Immediate);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Takes the write lock now (BEGIN IMMEDIATE) unless this transaction has begun or
    // ended already. Throws DbError (also when another transaction is open).
    void begin();
    // Commits what was begun; throws DbError on failure (the destructor then rolls back).
    // A deferred transaction that never began has nothing to commit.
    void commit();
    // Rolls back now; safe to call when never begun or already ended.
    void rollback();
    // Begun and neither committed nor rolled back.
    bool active() const { return m_active; }

private:
    Connection &m_connection;
    bool m_active = false;
    bool m_ended = false;
};
