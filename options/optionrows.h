#pragma once

#include <QList>
#include <QString>

class Prompter;
class TDados;
struct MailServerChange;

// Whether the open-picture dialog offers a format (the Used mark of its Formats row).
struct FormatUse {
    QString extension;
    bool used = false;
};

// What the options dialog's "Aplicar" writes into the catalogue, in one short write
// transaction, so that the lock lasts only while the rows are written: the Used marks of
// the formats given (none when null) and, when `mail` is given, the mail server as
// applyMailServer writes it (the SMTPAccount row being edited, its security, its password
// in the keyring or, without one, for the session). A format row that fails is told with
// the engine's text and the others are still written. False when the transaction could not
// even begin or the mail server was refused: the transaction is rolled back, nothing was
// written, the changes stay to be applied.
bool saveOptionRows(TDados &store, Prompter &prompter, const QList<FormatUse> *formats,
    const MailServerChange *mail);
