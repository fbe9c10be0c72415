#pragma once

#include <QList>
#include <QString>

// Picture keys as every batch operation receives them: RecId values, integers by
// construction, in the order the batch dialog handed them over.
using PictureKeys = QList<qint64>;

// The box every batch operation shows instead of running with no picture marked.
inline const QString NoPictureMarkedText = QStringLiteral("Nenhuma imagem marcada!");

// The joined key text placed between "RecId IN (" and ")": the keys in decimal, in order,
// separated by ",", e.g. 12,7,30. An empty list or a key that is not a positive integer
// throws std::invalid_argument, so that no statement is ever built from it: callers
// refuse an empty list first (with NoPictureMarkedText).
QString JoinKeyList(const PictureKeys &keys);

// "SELECT * FROM Pictures WHERE RecId IN (" + JoinKeyList(keys) + ")", the one statement
// of the batch operations; throws as JoinKeyList does.
QString picturesOfKeysSql(const PictureKeys &keys);
