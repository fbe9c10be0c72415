#include "intake/trastreamento.h"

#include "browser/lookuplists.h"
#include "core/errorboundary.h"
#include "core/eventpump.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "intake/drivepicker.h"
#include "intake/folderscan.h"
#include "store/query.h"
#include "store/tdados.h"
#include "widgets/named.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

// The status line and the "Cancelar" button, as the scan sees them.
class TRastreamento::Progress : public ProgressSink {
public:
    explicit Progress(TRastreamento &dialog) : m_dialog(dialog) { }
    void setStatus(const QString &text) override { m_dialog.StatusBar1->showMessage(text); }
    void pump() override { EventPump::pump(); }
    bool cancelRequested() override { return m_dialog.CancelRequested; }

private:
    TRastreamento &m_dialog;
};

TRastreamento::TRastreamento(TDados &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_store(store), m_prompter(prompter)
{
    setObjectName(QStringLiteral("TRastreamento"));
    setWindowTitle(QStringLiteral("Rastreamento"));
    setModal(true);

    Label1 = named(new QLabel(QStringLiteral("Unidade"), this), "Label1");
    ShellComboBox1 = named(new DrivePicker(this), "ShellComboBox1");
    Label2 = named(new QLabel(QStringLiteral("Pasta"), this), "Label2");
    Edit1 = named(new QLineEdit(this), "Edit1");
    BitBtn1 = named(new QPushButton(style()->standardIcon(QStyle::SP_DirOpenIcon),
                        QStringLiteral("Procurar"), this),
        "BitBtn1");
    CheckBox1 = named(new QCheckBox(QStringLiteral("Incluir subpastas"), this), "CheckBox1");
    CheckBox1->setChecked(true);
    Label3 = named(new QLabel(QStringLiteral("Coleção"), this), "Label3");
    DBLookupComboBox1 = named(new QComboBox(this), "DBLookupComboBox1");
    Label4 = named(new QLabel(QStringLiteral("Categoria"), this), "Label4");
    DBLookupComboBox2 = named(new QComboBox(this), "DBLookupComboBox2");
    BitBtn2 = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton),
                        QStringLiteral("Executar"), this),
        "BitBtn2");
    BitBtn3 = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                        QStringLiteral("Cancelar"), this),
        "BitBtn3");
    Animate1 = named(new QProgressBar(this), "Animate1");
    Animate1->setRange(0, 0); // no end known: the bar runs back and forth
    Animate1->setTextVisible(false);
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setMinimumHeight(StatusBar1->fontMetrics().height() + 8); // one line, even empty

    for (QComboBox *box : { DBLookupComboBox1, DBLookupComboBox2 }) {
        box->setEditable(false);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(24);
    }
    Label1->setBuddy(ShellComboBox1);
    Label2->setBuddy(Edit1);
    Label3->setBuddy(DBLookupComboBox1);
    Label4->setBuddy(DBLookupComboBox2);
    BitBtn2->setAutoDefault(false);
    BitBtn3->setAutoDefault(false);
    BitBtn1->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(ShellComboBox1, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit1, 1, 1);
    grid->addWidget(BitBtn1, 1, 2);
    grid->addWidget(CheckBox1, 2, 1, 1, 2);
    grid->addWidget(Label3, 3, 0);
    grid->addWidget(DBLookupComboBox1, 3, 1, 1, 2);
    grid->addWidget(Label4, 4, 0);
    grid->addWidget(DBLookupComboBox2, 4, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Animate1, 1);
    buttons->addStretch();
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);

    auto *body = new QVBoxLayout;
    body->addLayout(grid);
    body->addSpacing(6);
    body->addLayout(buttons);
    body->setContentsMargins(11, 11, 11, 6);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body);
    outer->addWidget(StatusBar1);
    // Wide enough for "Rastreados N arquivos N novos N já catalogados anteriormente".
    resize(std::max(600, sizeHint().width()), sizeHint().height());

    connect(ShellComboBox1, &QComboBox::activated, this,
        guarded(prompter, [this] { ShellComboBox1Click(); }));
    connect(DBLookupComboBox1, &QComboBox::activated, this,
        guarded(prompter, [this] { DBLookupComboBox1Click(); }));
    connect(DBLookupComboBox2, &QComboBox::activated, this,
        guarded(prompter, [this] { DBLookupComboBox2Click(); }));
    connect(BitBtn1, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn2Click(); }));
    connect(BitBtn3, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn3Click(); }));

    m_progress = std::make_unique<Progress>(*this);
    FormCreate();
}

TRastreamento::~TRastreamento() = default;

void TRastreamento::FormCreate()
{
    Edit1->clear();
    Animate1->hide();
}

void TRastreamento::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorBoundary::run(m_prompter, [this] { FormActivate(); });
}

void TRastreamento::FormActivate()
{
    m_closePending = false;
    ShellComboBox1->reload();
    m_scan = std::make_unique<FolderScan>(m_store, m_prompter, *m_progress);
    m_scan->setTreesCurrent = [this](bool current) { emit treesCurrentChanged(current); };
    m_scan->driveEntryText = [this] { return ShellComboBox1->currentText(); };
    m_scan->finishing = [this] { BitBtn3->setEnabled(false); };
    // The category picker lists only the chosen collection's categories.
    m_store.TCategories.setSort(QStringLiteral("Collection"));
    m_store.TCategories.setMaster(
        &m_store.TCollections, QStringLiteral("RecId"), QStringLiteral("Collection"));
    m_linked = true;
    fillCollections();
    setCollectionKey(m_store.DefaultCollectionId);
    setCategoryKey(m_store.DefaultCategoryId);
    setIdle(true);
    Animate1->hide();
    StatusBar1->clearMessage();
}

void TRastreamento::FormClose()
{
    m_scan.reset();
    if (!m_linked)
        return;
    m_linked = false;
    m_store.TCategories.clearMaster();
    m_store.TCategories.setSort(QStringLiteral("Collection;Name"));
}

void TRastreamento::done(int result)
{
    if (m_scanning) {
        // The scan runs inside the "Executar" handler: the window closes when it has ended.
        m_closePending = true;
        return;
    }
    ErrorBoundary::run(m_prompter, [this] { FormClose(); });
    QDialog::done(result);
}

void TRastreamento::reject()
{
    // Escape and the window's close button act as "Cancelar".
    BitBtn3Click();
}

void TRastreamento::closeEvent(QCloseEvent *event)
{
    if (m_scanning) {
        m_closePending = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TRastreamento::setIdle(bool idle)
{
    for (QWidget *w : { static_cast<QWidget *>(ShellComboBox1), static_cast<QWidget *>(Edit1),
             static_cast<QWidget *>(BitBtn1), static_cast<QWidget *>(CheckBox1),
             static_cast<QWidget *>(DBLookupComboBox1), static_cast<QWidget *>(DBLookupComboBox2),
             static_cast<QWidget *>(BitBtn2) })
        w->setEnabled(idle);
    BitBtn3->setEnabled(true);
}

void TRastreamento::fillCollections()
{
    DBLookupComboBox1->clear();
    for (const LookupItem &item : LookupLists::collections(m_store.Conexao))
        DBLookupComboBox1->addItem(item.text, item.key.toLongLong());
    DBLookupComboBox1->setCurrentIndex(-1);
}

void TRastreamento::fillCategories()
{
    DBLookupComboBox2->clear();
    // The rows the linked Categories table shows: those of the current collection.
    const qint64 collection
        = m_store.TCollections.isOpen() ? m_store.TCollections.asInt(QStringLiteral("RecId")) : 0;
    Query query(m_store.Conexao);
    query.setSql(QStringLiteral("SELECT RecId, Name FROM Categories WHERE Collection = :COLECAO "
                                "ORDER BY Collection, RecId"));
    query.setParam(QStringLiteral("COLECAO"), collection);
    query.open();
    while (!query.eof()) {
        DBLookupComboBox2->addItem(
            query.asString(QStringLiteral("Name")), query.asInt(QStringLiteral("RecId")));
        query.next();
    }
    query.close();
    DBLookupComboBox2->setCurrentIndex(-1);
}

qint64 TRastreamento::collectionKey() const
{
    return DBLookupComboBox1->currentIndex() < 0 ? 0
                                                 : DBLookupComboBox1->currentData().toLongLong();
}

qint64 TRastreamento::categoryKey() const
{
    return DBLookupComboBox2->currentIndex() < 0 ? 0
                                                 : DBLookupComboBox2->currentData().toLongLong();
}

void TRastreamento::setCollectionKey(qint64 key)
{
    const int index = key > 0 ? DBLookupComboBox1->findData(key) : -1;
    DBLookupComboBox1->setCurrentIndex(index);
    // Choosing a collection moves the Collections table, and the categories follow it.
    if (index >= 0)
        m_store.TCollections.gotoRowId(key);
    fillCategories();
}

void TRastreamento::setCategoryKey(qint64 key)
{
    const int index = key > 0 ? DBLookupComboBox2->findData(key) : -1;
    DBLookupComboBox2->setCurrentIndex(index);
    if (index >= 0)
        m_store.TCategories.gotoRowId(key);
}

void TRastreamento::ShellComboBox1Click()
{
    Edit1->setText(ShellComboBox1->path());
}

void TRastreamento::DBLookupComboBox1Click()
{
    const qint64 key = collectionKey();
    if (key > 0)
        m_store.TCollections.gotoRowId(key);
    fillCategories();
    // A category of the chosen collection stays chosen (its first), so "Executar" goes on;
    // only a collection without categories leaves none.
    setCategoryKey(
        DBLookupComboBox2->count() > 0 ? DBLookupComboBox2->itemData(0).toLongLong() : 0);
}

void TRastreamento::DBLookupComboBox2Click()
{
    const qint64 key = categoryKey();
    if (key > 0)
        m_store.TCategories.gotoRowId(key);
}

void TRastreamento::BitBtn1Click()
{
    const QString typed = Edit1->text();
    const QString start
        = !typed.isEmpty() && QFileInfo(typed).isDir() ? typed : ShellComboBox1->path();
    const QString folder
        = m_prompter.pickFolder(QStringLiteral("Selecione a pasta a examinar:"), start);
    if (folder.isEmpty())
        return;
    ShellComboBox1->setPath(folder);
    Edit1->setText(folder);
}

void TRastreamento::BitBtn2Click()
{
    if (!m_scan)
        return;
    FolderScan::Request request;
    request.folder = Edit1->text();
    request.includeSubfolders = CheckBox1->isChecked();
    request.collection = collectionKey();
    request.category = categoryKey();
    const FolderScan::Check check = FolderScan::checkRequest(m_store, request);
    if (check != FolderScan::Check::Ok) {
        m_prompter.beep();
        m_prompter.error(FolderScan::checkMessage(check));
        switch (check) {
        case FolderScan::Check::InvalidPath: Edit1->setFocus(); break;
        case FolderScan::Check::InvalidCollection: DBLookupComboBox1->setFocus(); break;
        default: DBLookupComboBox2->setFocus(); break;
        }
        return;
    }
    m_prompter.beep();
    if (m_prompter.confirm(QStringLiteral("Confirmar a execução?")))
        ScanFolder(Edit1->text());
}

void TRastreamento::BitBtn3Click()
{
    if (BitBtn2->isEnabled()) {
        QDialog::reject();
        return;
    }
    m_prompter.beep();
    CancelRequested = m_prompter.confirm(QStringLiteral("Cancelar a operação?"));
}

void TRastreamento::ScanFolder(const QString &path)
{
    if (!m_scan || m_scanning)
        return;
    FolderScan::Request request;
    request.folder = path;
    request.includeSubfolders = CheckBox1->isChecked();
    request.collection = collectionKey();
    request.category = categoryKey();

    setIdle(false);
    Animate1->show();
    CancelRequested = false;
    m_scanning = true;
    FolderScan::Outcome outcome = FolderScan::Outcome::NotStarted;
    // What fails before the scan's own guard is told by the general error display and ends
    // only the scan: the dialog is idle again below, and a close asked meanwhile happens.
    ErrorBoundary::run(m_prompter, [&] { outcome = m_scan->ScanFolder(request); });
    m_scanning = false;

    Animate1->hide();
    if (outcome == FolderScan::Outcome::Completed || outcome == FolderScan::Outcome::Failed) {
        m_prompter.beep();
        m_prompter.message(FolderScan::endMessage());
    }
    setIdle(true);
    if (m_closePending) {
        m_closePending = false;
        done(QDialog::Rejected);
    }
}
