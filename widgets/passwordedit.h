#pragma once

#include <QLineEdit>

// The field of a password kept outside the catalogue (the keyring): it never shows that
// password, only a mask of "*" while one is kept. Typing replaces the mask with what is
// typed; deleting any of it empties the field, which asks for the password's removal;
// leaving it keeps the password.
class PasswordEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit PasswordEdit(QWidget *parent = nullptr);

    // Shows whether a password is kept and forgets what was typed.
    void showKept(bool kept);
    // The mask is still shown: nothing was typed over a kept password.
    bool kept() const { return m_kept; }
    // The person typed or deleted since showKept: text() is then the new password (empty:
    // none).
    bool typed() const { return m_typed; }

signals:
    // The person changed the field (not showKept).
    void passwordEdited();

private:
    void edited(const QString &text);

    bool m_kept = false;
    bool m_typed = false;
};
