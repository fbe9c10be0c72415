#pragma once

#include "batch/transferdialog.h"

class DrivePicker;
class QLineEdit;
class QProgressBar;

// Dialog "Copiar arquivos para um CD": copies the files of the pictures it was given into
// one folder. The folder and the drive stay from one showing to the next. Ends with OK
// after a run that copied every file, Cancel otherwise (after the log window).
class TCopiarArquivosCD : public TransferDialog {
    Q_OBJECT
public:
    TCopiarArquivosCD(TDados &store, Prompter &prompter, EventLog &log, QWidget *parent = nullptr);

private:
    void FormActivate() override;
    bool checkInput() override;
    void setRunning(bool on) override;
    bool transfer(EventLog &log, ProgressSink &progress) override;
    void ShellComboBox1Click();
    void BitBtn1Click();
    void setInputEnabled(bool on);

    DrivePicker *m_drive;
    QLineEdit *m_folder;
    QPushButton *m_browse;
    QProgressBar *m_animation;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
