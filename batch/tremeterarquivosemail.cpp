#include "batch/tremeterarquivosemail.h"

#include "batch/transferpasswords.h"
#include "core/prompter.h"
#include "store/tdados.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TRemeterArquivosEmail::TRemeterArquivosEmail(
    TDados &store, Prompter &prompter, EventLog &log, QWidget *parent)
    : TransferDialog(QStringLiteral("TRemeterArquivosEmail"),
        QStringLiteral("Remeter arquivos por E-mail"),
        { QStringLiteral("Confirmar a operação?"), QStringLiteral("Remessa via E-mail efetuada!") },
        store, prompter, log, parent)
{
    const auto edit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    m_to = edit("Edit1");
    QPalette cream = m_to->palette();
    cream.setColor(QPalette::Base, QColor(255, 251, 240));
    m_to->setPalette(cream);
    m_cc = edit("Edit2");
    m_bcc = edit("Edit3");
    m_subject = edit("Edit4");
    m_message = new QPlainTextEdit(this);
    m_message->setObjectName(QStringLiteral("Memo1"));
    m_message->setTabChangesFocus(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Para"), m_to);
    form->addRow(QStringLiteral("CC"), m_cc);
    form->addRow(QStringLiteral("CCO"), m_bcc);
    form->addRow(QStringLiteral("Assunto"), m_subject);
    form->addRow(QStringLiteral("Mensagem"), m_message);

    m_status = new QLabel(QStringLiteral("Aguarde..."), this);
    m_status->setObjectName(QStringLiteral("Label6"));
    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_ok = button("BitBtn1", "OK");
    m_cancel = button("BitBtn2", "Cancelar");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(bottom);
    resize(480, 380);

    // FormCreate: the texts start empty and then persist between showings. The hidden
    // status line keeps its room, so the buttons keep their place.
    QSizePolicy keep = m_status->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_status->setSizePolicy(keep);
    m_status->hide();
    setStatusLine(m_status);
    setOperationButtons(m_ok, m_cancel);
}

void TRemeterArquivosEmail::FormActivate()
{
    m_status->setText(QStringLiteral("Aguarde..."));
}

void TRemeterArquivosEmail::FormClose()
{
    m_status->hide();
}

void TRemeterArquivosEmail::setInputEnabled(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *> {
             m_to, m_cc, m_bcc, m_subject, m_message, m_ok, m_cancel })
        w->setEnabled(on);
}

MailInput TRemeterArquivosEmail::typed() const
{
    return { m_to->text(), m_cc->text(), m_bcc->text(), m_subject->text(),
        m_message->toPlainText() };
}

bool TRemeterArquivosEmail::checkInput()
{
    prompter().beep();
    RecordSet &row = store().TSMTPAccount;
    row.first();
    m_account = SmtpAccount::fromRecord(row);
    MailFault fault = checkMail(m_account, typed());
    // The password of a log-in is asked now, so that giving none leaves the dialog open.
    if (fault.field == MailField::None)
        fault = requireMailPassword(m_account, sessionPasswords(), prompter());
    if (fault.field == MailField::None)
        return true;
    QWidget *focus = fault.field == MailField::To ? m_to
        : fault.field == MailField::Cc            ? m_cc
        : fault.field == MailField::Bcc           ? m_bcc
        : fault.field == MailField::Subject       ? m_subject
                                                  : nullptr;
    if (focus)
        focus->setFocus();
    prompter().error(fault.text);
    return false;
}

void TRemeterArquivosEmail::setRunning(bool on)
{
    if (on)
        m_status->show();
    setInputEnabled(!on);
}

bool TRemeterArquivosEmail::transfer(EventLog &log, ProgressSink &progress)
{
    return SendByEmail(store(), m_account, typed(), selectedKeys(), log, prompter(), progress);
}
