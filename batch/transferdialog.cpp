#include "batch/transferdialog.h"

#include "batch/eventlog.h"
#include "core/eventpump.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "store/dberror.h"

#include <QLabel>

// The dialog's status line, when it has one, and the event pump.
class TransferDialog::Progress : public ProgressSink {
public:
    explicit Progress(TransferDialog &dialog) : m_dialog(dialog) { }
    void setStatus(const QString &text) override
    {
        if (m_dialog.m_statusLine)
            m_dialog.m_statusLine->setText(text);
    }
    void pump() override { EventPump::pump(); }

private:
    TransferDialog &m_dialog;
};

TransferDialog::TransferDialog(const QString &objectName, const QString &caption,
    const Texts &texts, TDados &store, Prompter &prompter, EventLog &log, QWidget *parent)
    : BatchOperationDialog(objectName, caption, texts, store, prompter, parent),
      m_log(log),
      m_progress(std::make_unique<Progress>(*this))
{
}

TransferDialog::~TransferDialog() = default;

bool TransferDialog::runOperation()
{
    try {
        return transfer(m_log, *m_progress);
    } catch (const DbError &e) {
        // The run ends as a failed one: its log tells why, and the log window shows it.
        m_log.AddLogLine(e.message());
        prompter().error(e.message());
        return false;
    }
}

void TransferDialog::runFailed()
{
    emit showLogRequested();
    done(QDialog::Rejected);
}
