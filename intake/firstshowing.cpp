#include "intake/firstshowing.h"

#include "core/prompter.h"
#include "intake/picturefactstable.h"
#include "intake/reviewrecords.h"
#include "store/dberror.h"
#include "store/recordset.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QFileInfo>

#include <optional>

namespace {

bool isEditing(const RecordSet &set)
{
    return set.state() == RecordSet::State::Edit || set.state() == RecordSet::State::Insert;
}

QVariant storedModified(Connection &connection, qint64 recId)
{
    Statement look(connection, QStringLiteral("SELECT Modified FROM Pictures WHERE RecId = ?1"));
    Statement::Reset done(look);
    look.bindInteger(1, recId);
    return look.step() ? look.value(0) : QVariant();
}

} // namespace

void FirstShowing::record(
    TDados &store, const PictureReview::Result &result, bool idle, Prompter &prompter)
{
    if (store.Conexao.isReadOnly() || !ReviewRecords::examined(result))
        return;
    const bool larger = result.outcome == PictureReview::Outcome::Larger;
    RecordSet &pictures = store.TPictures;
    if (!idle) {
        if (!larger)
            return;
        try {
            for (const auto &[column, value] : PictureReview::details(result, false))
                pictures.setValue(column, value);
        } catch (const DbError &e) {
            prompter.error(e.message());
        }
        return;
    }

    std::optional<Transaction> transaction;
    try {
        const qint64 recId = pictures.asInt(QStringLiteral("RecId"));
        // A picture that fits (or cannot be drawn) keeps Review true and is loaded at every
        // showing: what its file says is recorded once for the file as it is.
        const PictureFactsTable::Drawn drawn = result.outcome == PictureReview::Outcome::Fits
            ? PictureFactsTable::Drawn::Fits
            : PictureFactsTable::Drawn::No;
        if (!larger && PictureFactsTable::examinedAsNow(store.Conexao, recId) == drawn)
            return;
        transaction.emplace(store.Conexao);
        if (larger) {
            pictures.edit();
            for (const auto &[column, value] : PictureReview::details(result, true))
                pictures.setValue(column, value);
            pictures.post();
        }
        ReviewRecords records(store.Conexao);
        records.record({ recId, storedModified(store.Conexao, recId) }, result, false);
        transaction->commit();
    } catch (const DbError &e) {
        // Whatever was posted stays; a row left in edit would lock the page.
        try {
            if (isEditing(pictures))
                pictures.cancel();
            if (transaction && transaction->active())
                transaction->commit();
        } catch (const DbError &) {
        }
        prompter.error(e.message());
    }
}

bool FirstShowing::needsReview(TDados &store, qint64 recId, bool review, const QString &path)
{
    if (review)
        return true;
    if (store.Conexao.isReadOnly() || !QFileInfo(path).isFile())
        return false;
    if (!PictureFactsTable::exists(store.Conexao))
        return true;
    Statement look(store.Conexao, QStringLiteral("SELECT 1 FROM PictureFacts WHERE Picture = ?1"));
    Statement::Reset done(look);
    look.bindInteger(1, recId);
    return !look.step();
}
