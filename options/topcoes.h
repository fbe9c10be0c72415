#pragma once

#include "batch/transfersettings.h"

#include <QDialog>
#include <QStringList>

class DBEdit;
class PasswordEdit;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class Prompter;
class TDados;

// Dialog "Opções": the formats the open-picture dialog offers, the outgoing mail server
// row and the catalogue's location. Each group the person changed is written by
// "Aplicar" (or "OK"); nothing is written, and nothing of the catalogue locked, before.
// The main window reopens the catalogue when the location changed.
class TOpcoes : public QDialog {
    Q_OBJECT
public:
    TOpcoes(TDados &store, Prompter &prompter, QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    enum class Group { Formats, Mail, Database };

    void FormActivate();
    void FormClose();
    void AnyChange(Group group);
    void BitBtn1Click();
    void BitBtn3Click();
    void BitBtn4Click();
    // Whether the store's tables are open (not after a failed reopening).
    bool catalogueOpen() const;
    void startMailEdit();
    // "Segurança" and "Senha" as the catalogue and the keyring hold them.
    void showMailSecurity();
    // What "Aplicar" gives applyMailServer beyond the row's edits.
    MailServerChange mailChange() const;

    TDados &m_store;
    Prompter &m_prompter;
    QStringList m_formatKeys;
    // One mark per group: each is set by its own controls and cleared by "Aplicar".
    bool m_formatsChanged = false;
    bool m_mailChanged = false;
    bool m_databaseChanged = false;
    bool m_filling = false;

    QTabWidget *m_pages;
    QListWidget *m_formats;
    DBEdit *m_mail[5];
    QComboBox *m_security;
    PasswordEdit *m_password;
    QLineEdit *m_databasePath;
    QPushButton *m_locate;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_apply;
    QPushButton *m_hiddenOk;
};
