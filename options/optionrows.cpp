#include "options/optionrows.h"

#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <optional>

bool saveOptionRows(TDados &store, Prompter &prompter, const QList<FormatUse> *formats, bool mail)
{
    if (!formats && !mail)
        return true;
    std::optional<Transaction> transaction;
    try {
        transaction.emplace(store.Conexao);
    } catch (const DbError &e) {
        prompter.error(e.message());
        return false;
    }
    if (formats) {
        RecordSet &rows = store.TFormats;
        for (const FormatUse &format : *formats) {
            try {
                if (rows.locate(QStringLiteral("Extension"), format.extension, true)) {
                    rows.edit();
                    rows.setValue(QStringLiteral("Used"), format.used);
                    rows.post();
                }
            } catch (const DbError &e) {
                if (rows.state() == RecordSet::State::Edit)
                    rows.cancel();
                prompter.error(e.message());
            }
        }
    }
    if (mail) {
        try {
            store.TSMTPAccount.post();
        } catch (const DbError &e) {
            prompter.error(e.message());
        }
    }
    try {
        transaction->commit();
    } catch (const DbError &e) {
        prompter.error(e.message());
    }
    return true;
}
