#pragma once

class Connection;

// Begins a write transaction (BEGIN IMMEDIATE) and rolls it back on destruction unless
// commit() ran, so a failure never leaves half a change behind.
class Transaction {
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Commits; throws DbError on failure (the destructor then rolls back).
    void commit();
    // Rolls back now; safe to call when already ended.
    void rollback();
    bool active() const { return m_active; }

private:
    Connection &m_connection;
    bool m_active = false;
};
