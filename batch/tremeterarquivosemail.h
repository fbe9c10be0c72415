#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Prompter;
class TDados;
class TViewLog;

// Dialog "Remeter arquivos por E-mail": sends one message with the files of the pictures
// it was given attached, through the mail server of the options. The typed texts stay
// from one showing to the next. Ends with OK after a successful send, Cancel otherwise.
class TRemeterArquivosEmail : public QDialog {
    Q_OBJECT
public:
    explicit TRemeterArquivosEmail(QWidget *parent = nullptr);

    void setStore(TDados *store) { m_store = store; }
    void setPrompter(Prompter *prompter) { m_prompter = prompter; }
    // The window whose log the send writes and shows after a failed run.
    void setLogWindow(TViewLog *log) { m_logWindow = log; }
    // SelectedKeys: the pictures to send, filled by the batch dialog before each showing.
    void setSelectedKeys(const PictureKeys &keys) { m_selectedKeys = keys; }
    bool runSucceeded() const { return m_runSucceeded; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void BitBtn1Click();
    void setInputEnabled(bool on);

    TDados *m_store = nullptr;
    Prompter *m_prompter = nullptr;
    TViewLog *m_logWindow = nullptr;
    PictureKeys m_selectedKeys;
    bool m_runSucceeded = false;
    bool m_sending = false;

    QLineEdit *m_to;
    QLineEdit *m_cc;
    QLineEdit *m_bcc;
    QLineEdit *m_subject;
    QPlainTextEdit *m_message;
    QLabel *m_status;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_hiddenOk;
};
