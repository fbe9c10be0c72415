#include "batch/batchoperationdialog.h"

#include "core/errorboundary.h"
#include "core/prompter.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>

BatchOperationDialog::BatchOperationDialog(const QString &objectName, const QString &caption,
    const Texts &texts, TDados &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_store(store), m_prompter(prompter), m_texts(texts)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);
    m_hiddenOk = new QPushButton(QStringLiteral("OK"), this);
    m_hiddenOk->setObjectName(QStringLiteral("Button1"));
    m_hiddenOk->setAutoDefault(false);
    m_hiddenOk->hide();
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);
}

void BatchOperationDialog::setOperationButtons(QPushButton *ok, QPushButton *cancel)
{
    connect(ok, &QPushButton::clicked, this, guarded(m_prompter, [this] { okClicked(); }));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void BatchOperationDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_runSucceeded = false;
    ErrorBoundary::run(m_prompter, [this] { FormActivate(); });
}

void BatchOperationDialog::done(int result)
{
    if (m_running)
        return;
    ErrorBoundary::run(m_prompter, [this] { FormClose(); });
    QDialog::done(result);
}

void BatchOperationDialog::okClicked()
{
    if (!checkInput())
        return;
    if (m_selectedKeys.isEmpty()) {
        m_prompter.error(NoPictureMarkedText);
        return;
    }
    m_runSucceeded = false;
    if (!m_prompter.confirm(m_texts.confirmation))
        return;
    {
        m_running = true;
        const auto ended = qScopeGuard([this] { m_running = false; });
        setRunning(true);
        m_runSucceeded = runOperation();
    }
    setRunning(false);
    if (!m_runSucceeded) {
        runFailed();
        return;
    }
    m_prompter.beep();
    m_prompter.message(m_texts.success);
    m_hiddenOk->click();
}

void BatchOperationDialog::runFailed()
{
    done(QDialog::Rejected);
}
