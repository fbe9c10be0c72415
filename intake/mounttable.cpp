#include "intake/mounttable.h"

#include <QFile>
#include <QList>

namespace {

// Mount points are written in /proc/self/mountinfo with \ooo escapes for blanks and the like.
QByteArray unescapeMountPath(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field.at(i);
    }
    return out;
}

} // namespace

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
        const QByteArray point = unescapeMountPath(fields.at(4));
        if (point.startsWith(prefix) && point.size() > prefix.size())
            table.m_points.insert(point);
    }
    return table;
}
