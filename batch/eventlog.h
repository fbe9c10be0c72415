#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// What happened during the latest transfer run (copy, FTP, e-mail): text lines in memory,
// oldest first. Each run empties it when it starts and appends as it goes; nothing else
// removes a line. The program has one, owned by the log window (TViewLog::log()); the
// command-line tool makes its own and prints every line as it arrives.
class EventLog : public QObject {
    Q_OBJECT
public:
    explicit EventLog(QObject *parent = nullptr) : QObject(parent) { }

    void ClearLog();
    // Appends the text unchanged; a text holding line breaks (CR LF, CR or LF) becomes one
    // line per piece. A break at the very end ends the last line and adds no empty one.
    void AddLogLine(const QString &text);
    const QStringList &lines() const { return m_lines; }

signals:
    void cleared();
    void lineAdded(const QString &line);

private:
    QStringList m_lines;
};
