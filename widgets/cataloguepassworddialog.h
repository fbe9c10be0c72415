#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

// "Senha do catálogo": asks for the password of a catalogue on a server, naming the user
// and the server, with the choice of keeping it in the keyring. A problem (the password
// was refused) is said above the field.
class CataloguePasswordDialog : public QDialog {
    Q_OBJECT
public:
    CataloguePasswordDialog(const QString &user, const QString &server, const QString &problem,
        QWidget *parent = nullptr);

    QString password() const;
    bool keep() const;

private:
    QLineEdit *m_password;
    QCheckBox *m_keep;
};
