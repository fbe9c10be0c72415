#pragma once

#include "batch/batchoperationdialog.h"

#include <memory>

class EventLog;
class ProgressSink;
class QLabel;

// A batch operation that transfers the pictures' files: the copy to a folder, the FTP send,
// the e-mail send. Its run writes the program's one event log and reports through one
// progress sink (the dialog's status line, if it has one, and the event pump). A store error
// of the run is one more line of the log and an error box, and the run has failed; after a
// run that failed the dialog asks for the log window, then closes with Cancel.
class TransferDialog : public BatchOperationDialog {
    Q_OBJECT
public:
    ~TransferDialog() override;

signals:
    // The log window is to show the log (TViewLog::ShowLog); it returns once it is closed.
    void showLogRequested();

protected:
    TransferDialog(const QString &objectName, const QString &caption, const Texts &texts,
        TDados &store, Prompter &prompter, EventLog &log, QWidget *parent);

    // Where the run's status texts show; without one the run only lets messages through.
    void setStatusLine(QLabel *label) { m_statusLine = label; }
    // The transfer of the files of selectedKeys(); true when it succeeded.
    virtual bool transfer(EventLog &log, ProgressSink &progress) = 0;

private:
    class Progress;

    bool runOperation() final;
    void runFailed() final;

    EventLog &m_log;
    QLabel *m_statusLine = nullptr;
    std::unique_ptr<Progress> m_progress;
};
