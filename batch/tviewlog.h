#pragma once

#include "batch/eventlog.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// Window "Registro de Eventos": shows the program's one event log after a transfer run
// that did not succeed. The log is made with the program before the windows (the transfer
// dialogs, made before this window, write to it); this window shows it.
class TViewLog : public QDialog {
    Q_OBJECT
public:
    explicit TViewLog(EventLog &log, QWidget *parent = nullptr);

    EventLog &log() { return m_log; }
    // Shows the log's lines modally; returns when the person closes the window.
    void ShowLog();

private:
    EventLog &m_log;
    QPlainTextEdit *m_memo;
    QPushButton *m_ok;
};
