#include "intake/mounttable.h"

#include "intake/mountedvolumes.h"

#include <QFile>
#include <QList>

MountTable MountTable::below(const QByteArray &root)
{
    MountTable table;
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QByteArray prefix = root + '/';
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QByteArray point = MountedVolumes::unescape(fields.at(4));
        if (point.startsWith(prefix) && point.size() > prefix.size())
            table.m_points.insert(point);
    }
    return table;
}
