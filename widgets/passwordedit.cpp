#include "widgets/passwordedit.h"

#include "widgets/asteriskecho.h"

namespace {
// Stands for the kept password: a private-use character nobody types.
const QChar KeptMark(0xE000);
const int KeptMarkLength = 8;
} // namespace

PasswordEdit::PasswordEdit(QWidget *parent) : QLineEdit(parent)
{
    showAsterisks(this, this);
    connect(this, &QLineEdit::textEdited, this, &PasswordEdit::edited);
}

void PasswordEdit::showKept(bool kept)
{
    m_kept = kept;
    m_typed = false;
    setText(kept ? QString(KeptMarkLength, KeptMark) : QString());
}

void PasswordEdit::edited(const QString &text)
{
    if (m_kept) {
        m_kept = false;
        QString typed = text;
        typed.remove(KeptMark);
        // What is left of the mask goes: a deletion in it empties the field, a key typed
        // starts the new password.
        if (typed != text)
            setText(typed);
    }
    m_typed = true;
    emit passwordEdited();
}
