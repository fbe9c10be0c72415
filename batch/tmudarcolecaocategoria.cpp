#include "batch/tmudarcolecaocategoria.h"

#include "batch/movepictures.h"
#include "browser/lookuplists.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace {

template<typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

const QString kRecId = QStringLiteral("RecId");

} // namespace

TMudarColecaoCategoria::TMudarColecaoCategoria(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TMudarColecaoCategoria"));
    setWindowTitle(QStringLiteral("Mudar Coleção / Categoria  "));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    auto *collectionLabel = named(new QLabel(QStringLiteral("Nova Coleção"), this), "Label1");
    m_collection = named(new QComboBox(this), "DBLookupComboBox1");
    auto *categoryLabel = named(new QLabel(QStringLiteral("Nova Categoria"), this), "Label2");
    m_category = named(new QComboBox(this), "DBLookupComboBox2");
    m_wait = named(new QLabel(QStringLiteral("Aguarde..."), this), "Label3");
    m_ok = named(new QPushButton(
                     style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this),
        "BitBtn1");
    m_cancel = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                         QStringLiteral("Cancelar"), this),
        "BitBtn2");
    m_hiddenOk = named(new QPushButton(QStringLiteral("OK"), this), "Button1");
    collectionLabel->setBuddy(m_collection);
    categoryLabel->setBuddy(m_category);
    // Enter presses the focused button; the hidden one is pressed by the code only.
    m_ok->setAutoDefault(true);
    m_cancel->setAutoDefault(true);
    m_hiddenOk->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->addWidget(collectionLabel, 0, 0);
    grid->addWidget(m_collection, 0, 1);
    grid->addWidget(categoryLabel, 1, 0);
    grid->addWidget(m_category, 1, 1);
    grid->setColumnStretch(1, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_wait, 1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);
    bottom->addWidget(m_hiddenOk);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(bottom);
    QSizePolicy keep = m_wait->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_wait->setSizePolicy(keep);
    setFixedSize(380, 150);

    connect(m_collection, &QComboBox::activated, this, [this] { DBLookupComboBox1Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);

    // FormCreate.
    m_wait->hide();
    m_hiddenOk->hide();
}

void TMudarColecaoCategoria::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TMudarColecaoCategoria::showError(const QString &message)
{
    if (m_prompter)
        m_prompter->error(message);
}

void TMudarColecaoCategoria::FormActivate()
{
    setControlsEnabled(true);
    if (!m_store)
        return;
    try {
        // While the dialog is open the categories table shows the current collection's.
        m_store->TCategories.setSort(QStringLiteral("Collection"));
        m_store->TCategories.setMaster(
            &m_store->TCollections, kRecId, QStringLiteral("Collection"));
        m_linked = true;
        fillCollections();
        m_collection->setCurrentIndex(m_collection->findData(m_store->DefaultCollectionId));
        if (m_collection->currentIndex() >= 0)
            m_store->TCollections.gotoRowId(m_store->DefaultCollectionId);
        fillCategories();
        m_category->setCurrentIndex(m_category->findData(m_store->DefaultCategoryId));
    } catch (const DbError &e) {
        showError(e.message());
    }
}

void TMudarColecaoCategoria::FormClose()
{
    m_wait->hide();
    if (!m_store || !m_linked)
        return;
    m_linked = false;
    try {
        m_store->TCategories.clearMaster();
        m_store->TCategories.setSort(QStringLiteral("Collection;Name"));
    } catch (const DbError &e) {
        showError(e.message());
    }
}

void TMudarColecaoCategoria::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TMudarColecaoCategoria::fillCollections()
{
    m_collection->clear();
    for (const LookupItem &item : LookupLists::collections(m_store->Conexao))
        m_collection->addItem(item.text, item.key.toLongLong());
    m_collection->setCurrentIndex(-1);
}

void TMudarColecaoCategoria::fillCategories()
{
    // The rows of the categories table as it follows the current collection.
    m_category->clear();
    RecordSet &categories = m_store->TCategories;
    categories.requery();
    for (categories.first(); !categories.eof(); categories.next())
        m_category->addItem(categories.asString(QStringLiteral("Name")), categories.asInt(kRecId));
    m_category->setCurrentIndex(m_category->count() > 0 ? 0 : -1);
}

qint64 TMudarColecaoCategoria::collectionKey() const
{
    return m_collection->currentIndex() < 0 ? 0 : m_collection->currentData().toLongLong();
}

qint64 TMudarColecaoCategoria::categoryKey() const
{
    return m_category->currentIndex() < 0 ? 0 : m_category->currentData().toLongLong();
}

void TMudarColecaoCategoria::DBLookupComboBox1Click()
{
    if (!m_store)
        return;
    try {
        if (const qint64 key = collectionKey())
            m_store->TCollections.gotoRowId(key);
        fillCategories();
    } catch (const DbError &e) {
        showError(e.message());
    }
}

void TMudarColecaoCategoria::setControlsEnabled(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *> { m_collection, m_category, m_ok, m_cancel })
        w->setEnabled(on);
}

void TMudarColecaoCategoria::BitBtn1Click()
{
    if (!m_store || !m_prompter)
        return;
    if (m_selectedKeys.isEmpty()) {
        m_prompter->error(NoPictureMarkedText);
        return;
    }
    // A collection without categories leaves nothing to file the pictures under.
    if (collectionKey() <= 0 || categoryKey() <= 0) {
        m_prompter->error(InvalidCategoryText);
        m_category->setFocus();
        return;
    }
    m_prompter->beep();
    if (!m_prompter->confirm(QStringLiteral("Confirmar a operação?")))
        return;
    m_wait->show();
    setControlsEnabled(false);
    try {
        MovePictures(*m_store, m_selectedKeys, collectionKey(), categoryKey());
    } catch (const DbError &e) {
        // The change did not happen: the dialog stays as it is, and only its close box
        // ends it, with Cancel.
        showError(e.message());
        return;
    }
    setControlsEnabled(true);
    m_prompter->beep();
    m_prompter->message(QStringLiteral("Mudança efetuada!"));
    m_hiddenOk->click();
}
