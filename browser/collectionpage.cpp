#include "browser/collectionpage.h"

#include "store/tdados.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

CollectionPage::CollectionPage(Prompter &prompter, QWidget *parent)
    : RecordPage(NodeKind::Collection, "TabSheet1", prompter, parent)
{
    m_name = new DBEdit(this);
    m_name->setObjectName(QStringLiteral("DBEdit1"));
    m_notes = new DBMemo(this);
    m_notes->setObjectName(QStringLiteral("DBMemo1"));
    m_notes->setFixedHeight(70);
    m_system = new DBCheckBox(QStringLiteral("Sistema"), this);
    m_system->setObjectName(QStringLiteral("DBCheckBox1"));
    DBNavigator *navigator = makeNavigator("DBNavigator1");

    QGridLayout *form = makeForm();
    form->addWidget(caption(QStringLiteral("Coleção"), m_name), 0, 0);
    form->addWidget(m_name, 0, 1);
    form->addWidget(caption(QStringLiteral("Notas"), m_notes, Qt::AlignTop), 1, 0);
    form->addWidget(m_notes, 1, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(m_system);
    row->addStretch(1);
    row->addWidget(navigator);
    form->addLayout(row, 2, 1);
    form->setColumnStretch(1, 1);
    auto *page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(makeGrid("DBGrid1"), 100);
    page->addStretch(1); // takes the room of a hidden grid, so the fields stay together

    setEditableControls({ m_name, m_notes });
    setReadOnlyControls({ m_system });
    setKeyControls({ m_name });
    setNameField(m_name);
    reportBindingErrors();
}

void CollectionPage::bind(TDados &store)
{
    setRecordSet(&store.TCollections);
    m_name->bind(&store.TCollections, QStringLiteral("Name"));
    m_notes->bind(&store.TCollections, QStringLiteral("Notes"));
    m_system->bind(&store.TCollections, QStringLiteral("System"));
}
