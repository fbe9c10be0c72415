#include "browser/categorypage.h"

#include "browser/lookuplists.h"
#include "store/tdados.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

CategoryPage::CategoryPage(Prompter &prompter, QWidget *parent)
    : RecordPage(NodeKind::Category, "TabSheet2", prompter, parent)
{
    m_collection = new DBLookupComboBox(this);
    m_collection->setObjectName(QStringLiteral("DBLookupComboBox1"));
    m_name = new DBEdit(this);
    m_name->setObjectName(QStringLiteral("DBEdit2"));
    m_notes = new DBMemo(this);
    m_notes->setObjectName(QStringLiteral("DBMemo2"));
    m_notes->setFixedHeight(70);
    m_system = new DBCheckBox(QStringLiteral("Sistema"), this);
    m_system->setObjectName(QStringLiteral("DBCheckBox2"));
    DBNavigator *navigator = makeNavigator("DBNavigator2");

    QGridLayout *form = makeForm();
    form->addWidget(caption(QStringLiteral("Coleção"), m_collection), 0, 0);
    form->addWidget(m_collection, 0, 1);
    form->addWidget(caption(QStringLiteral("Categoria"), m_name), 1, 0);
    form->addWidget(m_name, 1, 1);
    form->addWidget(caption(QStringLiteral("Notas"), m_notes, Qt::AlignTop), 2, 0);
    form->addWidget(m_notes, 2, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(m_system);
    row->addStretch(1);
    row->addWidget(navigator);
    form->addLayout(row, 3, 1);
    form->setColumnStretch(1, 1);
    auto *page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(makeGrid("DBGrid2"), 100);
    page->addStretch(1); // takes the room of a hidden grid, so the fields stay together

    setEditableControls({ m_collection, m_name, m_notes });
    setReadOnlyControls({ m_system });
    setKeyControls({ m_collection, m_name });
    setNameField(m_name);
    reportBindingErrors();
}

void CategoryPage::bind(TDados &store)
{
    setRecordSet(&store.TCategories);
    m_collection->bind(&store.TCategories, QStringLiteral("Collection"));
    m_name->bind(&store.TCategories, QStringLiteral("Name"));
    m_notes->bind(&store.TCategories, QStringLiteral("Notes"));
    m_system->bind(&store.TCategories, QStringLiteral("System"));
    m_collection->setListProvider(lookupList(store, &LookupLists::collections));
}
