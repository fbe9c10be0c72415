#pragma once

#include "browser/nodekind.h"
#include "maintenance/recordvalidation.h"
#include "store/transaction.h"

#include <optional>

class Prompter;
class TDados;

// The saving of an edited or new record, as the detail pages' post button does it and as
// `quillomar-cli new`, `rename` and `relink` do it: the checks and the write in one write
// transaction, so that of two saves of one name the second sees the first's row. An edit
// takes no lock while the person types: its transaction begins with its first write.
class RecordSave {
public:
    RecordSave(TDados &store, Prompter &prompter) : m_store(store), m_prompter(prompter) { }

    // An existing record's edit started; a new record's transaction begins with its save.
    void editStarted();
    // Before a write of the edit other than the save (a storage added by "Localizar"):
    // the edit's transaction begins. Throws DbError.
    void beforeWrite();
    // Before the record set posts: the checks, under the write lock the save then writes
    // under (taken here when no transaction is open). False when a check refused: it has
    // beeped, shown its box and moved the focus, and the lock taken here was let go before
    // the box showed; a transaction the edit had begun before stays. Throws DbError.
    bool check(NodeKind kind, const RecordValidation::Focus &focus = {});
    // After the record set posted: commits, and the edit ends. On failure the engine's text
    // is shown and nothing of the edit is kept (rolled back, the row read again): false.
    bool commit(NodeKind kind);
    // Nothing of the edit is kept (the cancel button); the edit ends. Throws DbError.
    void rollback();
    // The whole save without a window: check, post and commit. A refused or failed save has
    // been told through the prompter and leaves neither the edit nor a transaction open.
    bool save(NodeKind kind);
    // Drops a pending edit of the kind's record set and the edit's transaction, whatever
    // fails meanwhile (after a refused or failed save, or a row that could not be filled).
    void abandon(NodeKind kind) noexcept;

private:
    TDados &m_store;
    Prompter &m_prompter;
    std::optional<Transaction> m_edit; // deferred: begun by the edit's first write
    std::optional<Transaction> m_save; // begun by the checks of a save
};
