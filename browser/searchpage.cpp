#include "browser/searchpage.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLayout>
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
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->installEventFilter(this);
    (new QVBoxLayout(this))->addWidget(m_grid);
    connect(m_grid, &QTableView::doubleClicked, this,
        [this](const QModelIndex &index) { emit hitActivated(index.row()); });
}

void SearchPage::setResults(QAbstractItemModel *results)
{
    m_grid->setModel(results);
    if (!results)
        return;
    m_grid->setColumnHidden(0, true);
    m_sizePending = true;
    if (isVisible())
        sizeColumns();
}

void SearchPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_sizePending)
        sizeColumns();
}

void SearchPage::sizeColumns()
{
    m_sizePending = false;
    QAbstractItemModel *model = m_grid->model();
    if (!model)
        return;
    layout()->activate();
    QList<int> shown;
    for (int c = 0; c < model->columnCount(); ++c)
        if (!m_grid->isColumnHidden(c))
            shown << c;
    if (shown.isEmpty())
        return;
    const int n = int(shown.size());
    const int width = m_grid->width();
    const int each = (width - 17) / n;
    for (int i = 0; i + 1 < n; ++i)
        m_grid->setColumnWidth(shown.at(i), each);
    m_grid->setColumnWidth(shown.last(), width - (n - 1) * each - 17);
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
