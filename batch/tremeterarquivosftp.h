#pragma once

#include "batch/transferdialog.h"

class DBCheckBox;
class DBEdit;
class PasswordEdit;
class QComboBox;
class QLabel;

// Dialog "Remeter arquivos via FTP": keeps the FTP accounts (the FTPAccounts rows, edited
// in place through data-aware controls) and uploads the files of the pictures it was
// given to the account shown. Ends with OK after a successful send, Cancel otherwise.
class TRemeterArquivosFTP : public TransferDialog {
    Q_OBJECT
public:
    TRemeterArquivosFTP(
        TDados &store, Prompter &prompter, EventLog &log, QWidget *parent = nullptr);

private:
    void FormActivate() override;
    void FormClose() override;
    bool checkInput() override;
    void setRunning(bool on) override;
    bool transfer(EventLog &log, ProgressSink &progress) override;
    void RefreshAccountControls();
    void AnyChange();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void DBLookupComboBox1Click(int index);

    bool editPending() const;
    // Reads the accounts into the picker and selects the key (0: none).
    void setPickerKey(qint64 key);
    qint64 pickerKey() const { return m_pickerKey; }
    void setAccountControlsEnabled(bool on);
    // The first failing "Gravar" check: focus, beep, box; false when one failed.
    bool checkAccount();
    // "Segurança" and "Senha" of the account shown, from its settings beyond the row.
    void showAccountSecurity();
    // A change of "Segurança" or "Senha" starts the edit, as typing in a bound field does.
    void SecurityChange();

    qint64 m_pickerKey = 0;
    bool m_startingEdit = false;

    QComboBox *m_picker;
    DBEdit *m_profile;
    DBEdit *m_host;
    DBEdit *m_port;
    DBEdit *m_user;
    QComboBox *m_security;
    PasswordEdit *m_password;
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
};
