#pragma once

#include "batch/mailsend.h"
#include "batch/transferdialog.h"

class QLineEdit;
class QPlainTextEdit;

// Dialog "Remeter arquivos por E-mail": sends one message with the files of the pictures
// it was given attached, through the mail server of the options. The typed texts stay
// from one showing to the next. Ends with OK after a successful send, Cancel otherwise.
class TRemeterArquivosEmail : public TransferDialog {
    Q_OBJECT
public:
    TRemeterArquivosEmail(
        TDados &store, Prompter &prompter, EventLog &log, QWidget *parent = nullptr);

private:
    void FormActivate() override;
    void FormClose() override;
    bool checkInput() override;
    void setRunning(bool on) override;
    bool transfer(EventLog &log, ProgressSink &progress) override;
    void setInputEnabled(bool on);
    MailInput typed() const;

    SmtpAccount m_account; // the mail server row, read by the checks

    QLineEdit *m_to;
    QLineEdit *m_cc;
    QLineEdit *m_bcc;
    QLineEdit *m_subject;
    QPlainTextEdit *m_message;
    QLabel *m_status;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
