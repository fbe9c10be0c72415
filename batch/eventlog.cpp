#include "batch/eventlog.h"

#include <QRegularExpression>

void EventLog::ClearLog()
{
    m_lines.clear();
    emit cleared();
}

void EventLog::AddLogLine(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList pieces = text.split(lineBreak);
    if (pieces.size() > 1 && pieces.last().isEmpty())
        pieces.removeLast();
    for (const QString &line : std::as_const(pieces)) {
        m_lines.append(line);
        emit lineAdded(line);
    }
}
