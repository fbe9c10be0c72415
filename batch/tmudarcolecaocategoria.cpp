#include "batch/tmudarcolecaocategoria.h"

#include "batch/movepictures.h"
#include "browser/lookuplists.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "store/tdados.h"
#include "widgets/named.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString kRecId = QStringLiteral("RecId");

} // namespace

TMudarColecaoCategoria::TMudarColecaoCategoria(TDados &store, Prompter &prompter, QWidget *parent)
    : BatchOperationDialog(QStringLiteral("TMudarColecaoCategoria"),
        QStringLiteral("Mudar Coleção / Categoria  "),
        { QStringLiteral("Confirmar a operação?"), QStringLiteral("Mudança efetuada!") }, store,
        prompter, parent)
{
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
    collectionLabel->setBuddy(m_collection);
    categoryLabel->setBuddy(m_category);
    // Enter presses the focused button; the hidden one is pressed by the code only.
    m_ok->setAutoDefault(true);
    m_cancel->setAutoDefault(true);

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
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(bottom);
    QSizePolicy keep = m_wait->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_wait->setSizePolicy(keep);
    setFixedSize(380, 150);

    connect(m_collection, &QComboBox::activated, this,
        guarded(prompter, [this] { DBLookupComboBox1Click(); }));
    setOperationButtons(m_ok, m_cancel);

    // FormCreate.
    m_wait->hide();
}

void TMudarColecaoCategoria::FormActivate()
{
    setControlsEnabled(true);
    TDados &d = store();
    // While the dialog is open the categories table shows the current collection's.
    d.TCategories.setSort(QStringLiteral("Collection"));
    d.TCategories.setMaster(&d.TCollections, kRecId, QStringLiteral("Collection"));
    m_linked = true;
    fillCollections();
    m_collection->setCurrentIndex(m_collection->findData(d.DefaultCollectionId));
    if (m_collection->currentIndex() >= 0)
        d.TCollections.gotoRowId(d.DefaultCollectionId);
    fillCategories();
    m_category->setCurrentIndex(m_category->findData(d.DefaultCategoryId));
}

void TMudarColecaoCategoria::FormClose()
{
    m_wait->hide();
    if (!m_linked)
        return;
    m_linked = false;
    store().TCategories.clearMaster();
    store().TCategories.setSort(QStringLiteral("Collection;Name"));
}

void TMudarColecaoCategoria::fillCollections()
{
    m_collection->clear();
    for (const LookupItem &item : LookupLists::collections(store().Conexao))
        m_collection->addItem(item.text, item.key.toLongLong());
    m_collection->setCurrentIndex(-1);
}

void TMudarColecaoCategoria::fillCategories()
{
    // The rows of the categories table as it follows the current collection.
    m_category->clear();
    RecordSet &categories = store().TCategories;
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
    if (const qint64 key = collectionKey())
        store().TCollections.gotoRowId(key);
    fillCategories();
}

void TMudarColecaoCategoria::setControlsEnabled(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *> { m_collection, m_category, m_ok, m_cancel })
        w->setEnabled(on);
}

bool TMudarColecaoCategoria::checkInput()
{
    // A collection without categories leaves nothing to file the pictures under.
    if (collectionKey() <= 0 || categoryKey() <= 0) {
        prompter().error(InvalidCategoryText);
        m_category->setFocus();
        return false;
    }
    prompter().beep();
    return true;
}

void TMudarColecaoCategoria::setRunning(bool on)
{
    if (on)
        m_wait->show();
    setControlsEnabled(!on);
}

// An engine error of the update reaches the error boundary: the change did not happen, and
// the dialog stays as it stands, waiting, until its close box ends it with Cancel.
bool TMudarColecaoCategoria::runOperation()
{
    MovePictures(store(), selectedKeys(), collectionKey(), categoryKey());
    return true;
}
