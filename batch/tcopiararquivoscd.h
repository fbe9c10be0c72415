#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>

class DrivePicker;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class Prompter;
class TDados;
class TViewLog;

// Dialog "Copiar arquivos para um CD": copies the files of the pictures it was given into
// one folder. The folder and the drive stay from one showing to the next. Ends with OK
// after a run that copied every file, Cancel otherwise (after the log window).
class TCopiarArquivosCD : public QDialog {
    Q_OBJECT
public:
    explicit TCopiarArquivosCD(QWidget *parent = nullptr);

    void setStore(TDados *store) { m_store = store; }
    void setPrompter(Prompter *prompter) { m_prompter = prompter; }
    void setLogWindow(TViewLog *log) { m_logWindow = log; }
    // SelectedKeys: the pictures to copy, filled by the batch dialog before each showing.
    void setSelectedKeys(const PictureKeys &keys) { m_selectedKeys = keys; }
    bool runSucceeded() const { return m_runSucceeded; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void ShellComboBox1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void setInputEnabled(bool on);

    TDados *m_store = nullptr;
    Prompter *m_prompter = nullptr;
    TViewLog *m_logWindow = nullptr;
    PictureKeys m_selectedKeys;
    bool m_runSucceeded = false;
    bool m_copying = false;

    DrivePicker *m_drive;
    QLineEdit *m_folder;
    QPushButton *m_browse;
    QProgressBar *m_animation;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_hiddenOk;
};
