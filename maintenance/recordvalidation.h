#pragma once

#include "browser/nodekind.h"

#include <QString>
#include <functional>

class Prompter;
class TDados;

// The checks a collection, category, picture or storage must pass before it is saved:
// empty names and keys, then the uniqueness queries on the store's scratch query. They read
// the row being edited, which the page's controls write as the person types.
class RecordValidation {
public:
    // Where a failed check sends the keyboard focus: the column of the offending control.
    using Focus = std::function<void(const QString &column)>;

    RecordValidation(TDados &store, Prompter &prompter) : m_store(store), m_prompter(prompter) { }

    // True when the record of that kind may be saved. Otherwise the first failing check
    // has beeped, shown its error box and moved the focus.
    bool validate(NodeKind kind, const Focus &focus = {});

    bool ValidateCollection(const Focus &focus);
    bool ValidateCategory(const Focus &focus);
    bool ValidatePicture(const Focus &focus);
    bool ValidateStorage(const Focus &focus);

private:
    bool fail(const QString &message, const QString &column, const Focus &focus);
    // True when the query finds a row; a query that does not open is reported and finds none.
    bool taken(const QString &sql, const QVariantMap &params);

    TDados &m_store;
    Prompter &m_prompter;
};
