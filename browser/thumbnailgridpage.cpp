#include "browser/thumbnailgridpage.h"

#include "browser/thumbnaildelegate.h"
#include "browser/thumbnailgridmodel.h"
#include "widgets/named.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSet>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

namespace {

// A list in icon mode laid out statically goes Home and End by its layout batches; the grid
// goes to its first and last picture.
class GridView : public QListView {
public:
    using QListView::QListView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        const int rows = model() ? model()->rowCount() : 0;
        if (rows > 0 && action == MoveHome)
            return model()->index(0, 0);
        if (rows > 0 && action == MoveEnd)
            return model()->index(rows - 1, 0);
        return QListView::moveCursor(action, modifiers);
    }
};

QString picturesText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 imagem") : QStringLiteral("%1 imagens").arg(n);
}
} // namespace

ThumbnailGridPage::ThumbnailGridPage(const QString &pageName, const QString &prefix, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(pageName);
    const auto name = [&prefix](const char *part) { return prefix + QLatin1String(part); };
    m_model = new ThumbnailGridModel(this);
    m_delegate = new ThumbnailDelegate(this);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 0);
    m_insert = new QToolButton(this);
    m_insert->setObjectName(name("Insert"));
    m_insert->setText(QStringLiteral("Inserir no Lote"));
    m_insert->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_insert->setToolTip(QStringLiteral("Insere no lote as imagens selecionadas"));
    m_count = new QLabel(this);
    m_count->setObjectName(name("Count"));
    auto *sizeLabel = new QLabel(QStringLiteral("Tamanho:"), this);
    m_size = new QSlider(Qt::Horizontal, this);
    m_size->setObjectName(name("Size"));
    m_size->setRange(0, int(std::size(kSides)) - 1);
    m_size->setPageStep(1);
    m_size->setTickPosition(QSlider::TicksBelow);
    m_size->setFixedWidth(90);
    m_size->setValue(m_size->maximum());
    m_size->setToolTip(QStringLiteral("Tamanho das miniaturas (Ctrl + roda do mouse)"));
    sizeLabel->setBuddy(m_size);
    bar->addWidget(m_insert);
    bar->addSpacing(8);
    bar->addWidget(m_count, 1);
    bar->addWidget(sizeLabel);
    bar->addWidget(m_size);

    m_grid = new GridView(this);
    m_grid->setObjectName(name("Grid"));
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setMovement(QListView::Static);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setFlow(QListView::LeftToRight);
    m_grid->setWrapping(true);
    m_grid->setUniformItemSizes(true);
    // A node of a hundred thousand pictures is laid out a few thousand at a time, after its
    // first screen is painted.
    m_grid->setLayoutMode(QListView::Batched);
    m_grid->setBatchSize(4000);
    m_grid->setSpacing(0);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setSelectionRectVisible(true);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    m_grid->setItemDelegate(m_delegate);
    m_grid->setModel(m_model);
    m_grid->installEventFilter(this);
    m_grid->viewport()->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(bar);
    layout->addWidget(m_grid, 1);

    m_menu = new QMenu(this);
    m_menu->setObjectName(name("Menu"));
    QAction *insertSelected = m_menu->addAction(QStringLiteral("Inserir no Lote"));
    insertSelected->setObjectName(name("InsertSelected"));
    QAction *insertAll = m_menu->addAction(QStringLiteral("Inserir Todas no Lote"));
    insertAll->setObjectName(name("InsertAll"));
    m_menu->addSeparator();
    QAction *selectAll = m_menu->addAction(QStringLiteral("Selecionar Todas"));
    selectAll->setObjectName(name("SelectAll"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(insertSelected, &QAction::triggered, this,
        [this] { emit addToBatchRequested(selectedKeys()); });
    connect(insertAll, &QAction::triggered, this, [this] { emit addToBatchRequested(allKeys()); });
    connect(selectAll, &QAction::triggered, m_grid, &QListView::selectAll);
    connect(m_menu, &QMenu::aboutToShow, this,
        [this, insertSelected] { insertSelected->setEnabled(m_grid->selectionModel()->hasSelection()); });
    connect(m_insert, &QToolButton::clicked, this,
        [this] { emit addToBatchRequested(selectedKeys()); });
    connect(m_grid, &QWidget::customContextMenuRequested, this, &ThumbnailGridPage::openMenu);
    connect(m_grid, &QListView::doubleClicked, this, [this](const QModelIndex &index) {
        emit pictureActivated(m_model->key(index.row()));
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &ThumbnailGridPage::updateCount);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ThumbnailGridPage::updateCount);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ThumbnailGridPage::updateCount);
    connect(m_size, &QSlider::valueChanged, this, &ThumbnailGridPage::applySize);
    applySize();
}

ThumbnailGridPage::~ThumbnailGridPage() = default;

void ThumbnailGridPage::setCatalogue(const QString &catalogueFile, const QString &thumbnailFolder)
{
    m_model->setCatalogue(catalogueFile, thumbnailFolder);
}

void ThumbnailGridPage::showKeys(QVector<qint64> keys)
{
    m_model->setKeys(std::move(keys));
    m_grid->scrollToTop();
}

void ThumbnailGridPage::showHits(QAbstractItemModel *hits)
{
    if (!hits) {
        clear();
        return;
    }
    // Keys of the rows the hits hold now; the next ones as the grid or the hits read them.
    auto seen = std::make_shared<int>(0);
    const auto take = [hits, seen] {
        QVector<qint64> keys;
        const int rows = hits->rowCount();
        keys.reserve(qMax(0, rows - *seen));
        for (; *seen < rows; ++*seen)
            keys.append(hits->index(*seen, 0).data().toLongLong());
        return keys;
    };
    m_model->setKeys(take());
    m_model->setMoreKeys(
        [hits, take] {
            if (hits->rowCount() == 0 || hits->canFetchMore({}))
                hits->fetchMore({});
            return take();
        },
        [hits, seen] { return hits->canFetchMore({}) || hits->rowCount() > *seen; });
    m_grid->scrollToTop();
}

void ThumbnailGridPage::clear()
{
    m_model->clear();
}

QVector<qint64> ThumbnailGridPage::selectedKeys() const
{
    QVector<QPair<int, int>> ranges;
    for (const QItemSelectionRange &r : m_grid->selectionModel()->selection())
        ranges.append({ r.top(), r.bottom() });
    std::sort(ranges.begin(), ranges.end());
    QVector<qint64> keys;
    QSet<qint64> seen;
    for (const auto &[top, bottom] : ranges)
        for (int row = top; row <= bottom; ++row) {
            const qint64 key = m_model->key(row);
            if (!seen.contains(key)) {
                seen.insert(key);
                keys.append(key);
            }
        }
    return keys;
}

QVector<qint64> ThumbnailGridPage::allKeys() const
{
    return m_model->allKeys();
}

int ThumbnailGridPage::sizeStep() const
{
    return m_size->value();
}

void ThumbnailGridPage::setSizeStep(int step)
{
    m_size->setValue(step);
}

void ThumbnailGridPage::applySize()
{
    const int side = kSides[m_size->value()];
    m_delegate->setThumbnailSide(side);
    m_model->setThumbnailSide(side);
    m_grid->setGridSize(m_delegate->cellSize(m_grid->fontMetrics()));
    // The cells change size: the layout is made again around the current picture.
    m_grid->doItemsLayout();
    if (m_grid->currentIndex().isValid())
        m_grid->scrollTo(m_grid->currentIndex());
}

void ThumbnailGridPage::updateCount()
{
    const qsizetype all = m_model->rowCount();
    qsizetype selected = 0;
    for (const QItemSelectionRange &r : m_grid->selectionModel()->selection())
        selected += r.height();
    QString text = picturesText(all);
    if (selected > 0)
        text += selected == 1 ? QStringLiteral(", 1 selecionada")
                              : QStringLiteral(", %1 selecionadas").arg(selected);
    m_count->setText(text);
    m_insert->setEnabled(selected > 0);
}

void ThumbnailGridPage::openMenu(const QPoint &pos)
{
    const QModelIndex index = m_grid->indexAt(pos);
    // A right click on a picture outside the selection selects it, as file managers do.
    if (index.isValid() && !m_grid->selectionModel()->isSelected(index))
        m_grid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_menu->popup(m_grid->viewport()->mapToGlobal(pos));
}

bool ThumbnailGridPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_grid->currentIndex().isValid()) {
            emit pictureActivated(m_model->key(m_grid->currentIndex().row()));
            return true;
        }
    }
    if (watched == m_grid->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int dy = wheel->angleDelta().y();
            if (dy != 0)
                m_size->setValue(m_size->value() + (dy > 0 ? 1 : -1));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
