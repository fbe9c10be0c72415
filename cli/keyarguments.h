#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

// Picture keys given on a command line: positive integers, or "-" (at most once) for the
// keys on `in`, one a line; surrounding blanks and blank lines are ignored. On a bad key
// `error` names it and the list is empty.
QList<qint64> readKeyArguments(const QStringList &args, FILE *in, QString *error);
