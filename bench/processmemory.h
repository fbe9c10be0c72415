#pragma once

#include <QFile>

// Memory figures of this process image from /proc: getrusage's maximum would include the
// parent's before exec, so each benchmark size measured in a child reads its own.
namespace processmemory {

// A "VmHWM:"/"VmRSS:"-style line of /proc/self/status, in KiB; 0 when unreadable.
inline long statusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    return 0;
}

inline long peakRssKb()
{
    return statusKiB("VmHWM:");
}
inline long currentRssKb()
{
    return statusKiB("VmRSS:");
}

} // namespace processmemory
