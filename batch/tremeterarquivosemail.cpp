#include "batch/tremeterarquivosemail.h"

#include "batch/mailsend.h"
#include "batch/tviewlog.h"
#include "core/eventpump.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

class StatusLine : public ProgressSink {
public:
    explicit StatusLine(QLabel *label) : m_label(label) { }
    void setStatus(const QString &text) override { m_label->setText(text); }
    void pump() override { EventPump::pump(); }

private:
    QLabel *m_label;
};

} // namespace

TRemeterArquivosEmail::TRemeterArquivosEmail(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TRemeterArquivosEmail"));
    setWindowTitle(QStringLiteral("Remeter arquivos por E-mail"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

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
    m_hiddenOk = button("Button1", "OK");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);
    bottom->addWidget(m_hiddenOk);

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
    m_hiddenOk->hide();
    connect(m_ok, &QPushButton::clicked, this, &TRemeterArquivosEmail::BitBtn1Click);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);
}

void TRemeterArquivosEmail::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TRemeterArquivosEmail::FormActivate()
{
    m_status->setText(QStringLiteral("Aguarde..."));
    m_runSucceeded = false;
}

void TRemeterArquivosEmail::setInputEnabled(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *> {
             m_to, m_cc, m_bcc, m_subject, m_message, m_ok, m_cancel })
        w->setEnabled(on);
}

void TRemeterArquivosEmail::BitBtn1Click()
{
    if (!m_store || !m_prompter)
        return;
    m_prompter->beep();
    SmtpAccount account;
    try {
        RecordSet &row = m_store->TSMTPAccount;
        row.first();
        account = SmtpAccount::fromRecord(row);
    } catch (const DbError &e) {
        m_prompter->error(e.message());
        return;
    }
    const MailInput input { m_to->text(), m_cc->text(), m_bcc->text(), m_subject->text(),
        m_message->toPlainText() };
    const MailFault fault = checkMail(account, input);
    if (fault.field != MailField::None) {
        QWidget *focus = fault.field == MailField::To ? m_to
            : fault.field == MailField::Cc            ? m_cc
            : fault.field == MailField::Bcc           ? m_bcc
            : fault.field == MailField::Subject       ? m_subject
                                                      : nullptr;
        if (focus)
            focus->setFocus();
        m_prompter->error(fault.text);
        return;
    }
    if (m_selectedKeys.isEmpty()) {
        m_prompter->error(NoPictureMarkedText);
        return;
    }
    m_runSucceeded = false;
    if (!m_prompter->confirm(QStringLiteral("Confirmar a operação?")))
        return;

    m_status->show();
    setInputEnabled(false);
    m_sending = true;
    StatusLine status(m_status);
    EventLog fallbackLog;
    EventLog &log = m_logWindow ? m_logWindow->log() : fallbackLog;
    try {
        m_runSucceeded
            = SendByEmail(*m_store, account, input, m_selectedKeys, log, *m_prompter, status);
    } catch (const DbError &e) {
        log.AddLogLine(e.message());
        m_prompter->error(e.message());
        m_runSucceeded = false;
    }
    m_sending = false;
    setInputEnabled(true);

    if (m_runSucceeded) {
        m_prompter->beep();
        m_prompter->message(QStringLiteral("Remessa via E-mail efetuada!"));
        m_hiddenOk->click();
    } else {
        if (m_logWindow)
            m_logWindow->ShowLog();
        done(QDialog::Rejected);
    }
}

void TRemeterArquivosEmail::done(int result)
{
    // No way out while a send runs: Escape and the close box wait for its end.
    if (m_sending)
        return;
    m_status->hide();
    QDialog::done(result);
}
