#pragma once

#include "browser/nodekind.h"

#include <QString>
#include <functional>

class Prompter;
class TDados;

// The checks a collection, category, picture or storage must pass before it is saved:
// empty names and keys, then the uniqueness queries on the store's scratch query, which take
// names as equal when they differ only in letter case, over all of Unicode. They read the
// row being edited, which the page's controls write as the person types. A save runs them
// inside its write transaction (RecordSave::check), each holding the lock of the name it
// looks for first (CatalogueLocks), so two saves of one name cannot both pass.
class RecordValidation {
public:
    // Where a failed check sends the keyboard focus: the column of the offending control.
    using Focus = std::function<void(const QString &column)>;

    RecordValidation(TDados &store, Prompter &prompter) : m_store(store), m_prompter(prompter) { }

    // Runs right before a failed check is told (its beep and box): a save ends its write
    // transaction there, so that nothing stays locked while the box is open.
    void setBeforeRefusal(std::function<void()> hook) { m_beforeRefusal = std::move(hook); }

    // True when the record of that kind may be saved. Otherwise the first failing check
    // has beeped, shown its error box and moved the focus.
    bool validate(NodeKind kind, const Focus &focus = {});

    bool ValidateCollection(const Focus &focus);
    bool ValidateCategory(const Focus &focus);
    bool ValidatePicture(const Focus &focus);
    bool ValidateStorage(const Focus &focus);

private:
    bool fail(const QString &message, const QString &column, const Focus &focus);
    // True when a row that `select` (with its parameters) picks holds `name` in `column`,
    // letter case ignored over all of Unicode; a query that does not open is reported and
    // finds none.
    bool taken(
        const QString &select, const QString &column, const QString &name, QVariantMap params);

    TDados &m_store;
    Prompter &m_prompter;
    std::function<void()> m_beforeRefusal;
};
