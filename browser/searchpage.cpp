#include "browser/searchpage.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>

SearchPage::SearchPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet11"));
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("DBGridSearch"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->installEventFilter(this);
    (new QVBoxLayout(this))->addWidget(m_grid);
    connect(m_grid, &QTableView::doubleClicked, this,
        [this](const QModelIndex &index) { emit hitActivated(index.row()); });
}

void SearchPage::setResults(QAbstractItemModel *results)
{
    m_grid->setModel(results);
}

QAbstractItemModel *SearchPage::results() const
{
    return m_grid->model();
}

bool SearchPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_grid->currentIndex().isValid()) {
            emit hitActivated(m_grid->currentIndex().row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
