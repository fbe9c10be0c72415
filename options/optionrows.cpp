#include "options/optionrows.h"

#include "batch/transferpasswords.h"
#include "batch/transfersettings.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <optional>

bool saveOptionRows(TDados &store, Prompter &prompter, const QList<FormatUse> *formats,
    const MailServerChange *mail)
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
    if (mail
        && !applyMailServer(
            store, *mail, sessionPasswords(), PasswordKeeping::KeyringOrSession, prompter)) {
        transaction.reset();
        // The formats' cursor may show a mark the rollback undid.
        if (formats) {
            try {
                store.TFormats.refresh();
            } catch (const DbError &) {
            }
        }
        return false;
    }
    try {
        transaction->commit();
    } catch (const DbError &e) {
        prompter.error(e.message());
    }
    return true;
}
