#include "batch/tbatchprocess.h"

#include "batch/batchoperationdialog.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "store/query.h"
#include "store/tdados.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

TBatchProcess::TBatchProcess(TDados &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_store(store), m_prompter(prompter)
{
    setObjectName(QStringLiteral("TBatchProcess"));
    setWindowTitle(QStringLiteral("Processamento em Lote"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("CheckListBox1"));
    m_list->setUniformItemSizes(true);

    const auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton *operationButtons[4] = {
        button("BitBtn1", QStringLiteral("Mudar Coleção / Categoria")),
        button("BitBtn2", QStringLiteral("Remeter arquivos via FTP")),
        button("BitBtn3", QStringLiteral("Remeter arquivos por E-mail")),
        button("BitBtn4", QStringLiteral("Copiar arquivos para um CD")),
    };
    QPushButton *cancel = button("BitBtn5", QStringLiteral("Cancelar Processo em Lote"));
    cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    cancel->setDefault(true);
    QPushButton *empty = button("BitBtn6", QStringLiteral("Esvaziar arquivos do Lote"));
    empty->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    // Enter presses the button that has the focus; "Cancelar" only when none has it.
    for (QPushButton *b : { operationButtons[0], operationButtons[1], operationButtons[2],
             operationButtons[3], cancel, empty })
        b->setAutoDefault(true);
    m_hiddenOk = button("Button1", QStringLiteral("OK"));
    auto *note = new QLabel(QStringLiteral("Somente as imagens marcadas serão processadas."), this);
    note->setObjectName(QStringLiteral("Label1"));

    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : operationButtons)
        buttons->addWidget(b);
    buttons->addSpacing(12);
    buttons->addWidget(cancel);
    buttons->addWidget(empty);
    buttons->addWidget(m_hiddenOk);
    buttons->addStretch(1);
    buttons->addWidget(note);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    setFixedSize(560, 340);

    for (int i = 0; i < 4; ++i)
        connect(operationButtons[i], &QPushButton::clicked, this,
            guarded(prompter, [this, i] { runOperation(OperationButton(i)); }));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(empty, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);
    // FormCreate.
    m_hiddenOk->hide();
}

void TBatchProcess::setOperation(OperationButton button, BatchOperationDialog &dialog)
{
    m_operations[int(button)] = &dialog;
}

void TBatchProcess::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorBoundary::run(m_prompter, [this] { FormActivate(); });
}

// Fills the check list each time the dialog is shown: one ticked item per picture found,
// in the catalogue's order; keys of deleted pictures find nothing and get no item.
void TBatchProcess::FormActivate()
{
    m_list->clear();
    if (m_batchKeys.isEmpty())
        return;
    Query q(m_store.Conexao);
    q.setSql(picturesOfKeysSql(m_batchKeys));
    q.open();
    m_list->setUpdatesEnabled(false);
    const auto drawn = qScopeGuard([this] { m_list->setUpdatesEnabled(true); });
    while (q.isOpen() && !q.eof()) {
        auto *item = new QListWidgetItem(q.asString(QStringLiteral("Name")));
        item->setData(Qt::UserRole, q.asInt(QStringLiteral("RecId")));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        m_list->addItem(item);
        q.next();
    }
    q.close();
}

PictureKeys TBatchProcess::tickedKeys() const
{
    PictureKeys keys;
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem *item = m_list->item(i);
        if (item->checkState() == Qt::Checked)
            keys.append(item->data(Qt::UserRole).toLongLong());
    }
    return keys;
}

void TBatchProcess::runOperation(OperationButton button)
{
    BatchOperationDialog *dialog = m_operations[int(button)];
    if (!dialog)
        return;
    const PictureKeys keys = tickedKeys();
    // No operation runs with nothing marked: its statement would have an empty key list.
    if (keys.isEmpty()) {
        m_prompter.beep();
        m_prompter.error(NoPictureMarkedText);
        return;
    }
    dialog->setSelectedKeys(keys);
    if (dialog->exec() == QDialog::Accepted)
        m_hiddenOk->click();
}
