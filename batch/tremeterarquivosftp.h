#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>

class DBCheckBox;
class DBEdit;
class QComboBox;
class QLabel;
class QPushButton;
class Prompter;
class TDados;
class TViewLog;

// Dialog "Remeter arquivos via FTP": keeps the FTP accounts (the FTPAccounts rows, edited
// in place through data-aware controls) and uploads the files of the pictures it was
// given to the account shown. Ends with OK after a successful send, Cancel otherwise.
class TRemeterArquivosFTP : public QDialog {
    Q_OBJECT
public:
    explicit TRemeterArquivosFTP(QWidget *parent = nullptr);

    void setStore(TDados *store);
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
    void FormClose();
    void RefreshAccountControls();
    void AnyChange();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void DBLookupComboBox1Click(int index);

    bool editPending() const;
    // Reads the accounts into the picker and selects the key (0: none).
    void setPickerKey(qint64 key);
    qint64 pickerKey() const { return m_pickerKey; }
    void setAccountControlsEnabled(bool on);
    // The first failing "Gravar" check: focus, beep, box; false when one failed.
    bool checkAccount();

    TDados *m_store = nullptr;
    Prompter *m_prompter = nullptr;
    TViewLog *m_logWindow = nullptr;
    PictureKeys m_selectedKeys;
    bool m_runSucceeded = false;
    bool m_sending = false;
    qint64 m_pickerKey = 0;

    QComboBox *m_picker;
    DBEdit *m_profile;
    DBEdit *m_host;
    DBEdit *m_port;
    DBEdit *m_user;
    DBEdit *m_password;
    DBEdit *m_directory;
    DBCheckBox *m_proxy;
    DBEdit *m_proxyServer;
    DBEdit *m_proxyPort;
    QPushButton *m_new;
    QPushButton *m_save;
    QPushButton *m_cancelEdit;
    QPushButton *m_delete;
    QLabel *m_status;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_hiddenOk;
};
