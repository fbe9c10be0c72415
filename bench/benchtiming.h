#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The median of the rounds' figures (-1 for none).
double median(std::vector<double> v);

// Runs argv with standard input from `in` (nothing when empty) and standard output
// discarded; its wall time in ms, -1 on failure. Earlier writes are flushed first, so that
// they are not paid on this run's time.
double timedRun(const QStringList &args, const QString &in = QString());
