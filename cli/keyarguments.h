#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

// Longest line of keys read from standard input, blanks included.
constexpr qsizetype kMaxKeyLine = 1024;

// Picture keys given on a command line: positive integers, or "-" (at most once) for the
// keys on `in`, one a line; surrounding blanks and blank lines are ignored. Reading stops at
// the first line that is not a key or is longer than kMaxKeyLine; `error` then names it and
// the list is empty.
QList<qint64> readKeyArguments(const QStringList &args, FILE *in, QString *error);
