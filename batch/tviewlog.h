#pragma once

#include "batch/eventlog.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// Window "Registro de Eventos": shows the program's one event log after a transfer run
// that did not succeed. It owns that log; the transfer dialogs write to log().
class TViewLog : public QDialog {
    Q_OBJECT
public:
    explicit TViewLog(QWidget *parent = nullptr);

    EventLog &log() { return m_log; }
    // Shows the log's lines modally; returns when the person closes the window.
    void ShowLog();

private:
    EventLog m_log;
    QPlainTextEdit *m_memo;
    QPushButton *m_ok;
};
