#include "batch/movepictures.h"

#include "batch/batchpictures.h"
#include "store/query.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <optional>

bool isCategoryOf(TDados &store, qint64 collection, qint64 category)
{
    Query q(store.Conexao);
    q.setSql(QStringLiteral("SELECT RecId FROM Categories WHERE RecId = :K AND Collection = :C"));
    q.setParam(QStringLiteral("K"), category);
    q.setParam(QStringLiteral("C"), collection);
    q.open();
    const bool found = q.isOpen() && !q.isEmpty();
    q.close();
    return found;
}

int MovePictures(TDados &store, const PictureKeys &keys, qint64 collection, qint64 category,
    PictureKeys *unknown)
{
    const QString joined = JoinKeyList(keys);
    // What is told missing is what the update did not find: no one deletes in between.
    std::optional<Transaction> transaction;
    if (unknown) {
        transaction.emplace(store.Conexao);
        *unknown = keysWithoutRow(keys, readBatchPictures(store, keys));
    }
    Command &cmd = store.SQLCmd;
    cmd.setSql(
        QStringLiteral("UPDATE Pictures SET Collection = :VAL1, Category = :VAL2 WHERE RecId IN (")
        + joined + QLatin1Char(')'));
    cmd.setParam(QStringLiteral("VAL1"), collection);
    cmd.setParam(QStringLiteral("VAL2"), category);
    const int changed = cmd.execute();
    if (transaction)
        transaction->commit();
    return changed;
}
