#include "browser/storagepage.h"

#include "store/tdados.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStorageInfo>
#include <QTableView>
#include <QVBoxLayout>

StoragePage::StoragePage(Prompter &prompter, QWidget *parent)
    : RecordPage(NodeKind::Storage, "TabSheet4", prompter, parent)
{
    m_name = new DBEdit(this);
    m_name->setObjectName(QStringLiteral("DBEdit10"));
    m_notes = new DBMemo(this);
    m_notes->setObjectName(QStringLiteral("DBMemo6"));
    m_notes->setFixedHeight(70);
    m_unit = new QComboBox(this);
    m_unit->setObjectName(QStringLiteral("ShellComboBox1"));
    m_unit->setEditable(true);
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            m_unit->addItem(volume.rootPath());
    m_system = new DBCheckBox(QStringLiteral("Sistema"), this);
    m_system->setObjectName(QStringLiteral("DBCheckBox3"));
    DBNavigator *navigator = makeNavigator("DBNavigator4");

    QGridLayout *form = makeForm();
    form->addWidget(caption(QStringLiteral("Local"), m_name), 0, 0);
    form->addWidget(m_name, 0, 1);
    form->addWidget(caption(QStringLiteral("Notas"), m_notes, Qt::AlignTop), 1, 0);
    form->addWidget(m_notes, 1, 1);
    form->addWidget(caption(QStringLiteral("Unidade"), m_unit), 2, 0);
    form->addWidget(m_unit, 2, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(m_system);
    row->addStretch(1);
    row->addWidget(navigator);
    form->addLayout(row, 3, 1);
    form->setColumnStretch(1, 1);
    auto *page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(makeGrid("DBGrid3"), 100);
    page->addStretch(1); // takes the room of a hidden grid, so the fields stay together

    setEditableControls({ m_name, m_notes, m_unit });
    setReadOnlyControls({ m_system });
    setKeyControls({ m_name });
    setNameField(m_name);
    reportBindingErrors();
}

void StoragePage::bind(TDados &store)
{
    setRecordSet(&store.TStorages);
    m_name->bind(&store.TStorages, QStringLiteral("Name"));
    m_notes->bind(&store.TStorages, QStringLiteral("Notes"));
    m_system->bind(&store.TStorages, QStringLiteral("System"));
}

void StoragePage::showUnit(const QString &unit)
{
    m_unit->setEditText(unit.endsWith(QLatin1Char('/')) ? unit : unit + QLatin1Char('/'));
}

QString StoragePage::unitPath() const
{
    return m_unit->currentText();
}
