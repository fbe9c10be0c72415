#include "maintenance/tduplicatas.h"

#include "core/errorboundary.h"
#include "core/prompter.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "store/thumbnailstore.h"
#include "widgets/named.h"

#include <QAbstractItemModel>
#include <QCache>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {
constexpr int kThumbSide = 48;
enum Column { ColPicture, ColStorage, ColFolder, ColState, ColumnCount };
} // namespace

// The groups as a two-level model: a row per group, its pictures below. Thumbnails are read
// when a row is first drawn, and kept for the rows drawn last.
class TDuplicatas::GroupsModel : public QAbstractItemModel {
public:
    explicit GroupsModel(TDados &store) : m_store(store) { m_thumbs.setMaxCost(600); }

    void setReport(DuplicateReport report)
    {
        beginResetModel();
        m_report = std::move(report);
        m_thumbs.clear();
        // The thumbnails the catalogue keeps, here before any row is drawn: a few
        // statements for every group, none per row.
        QList<qint64> pictures;
        for (const auto &group : m_report.groups) {
            for (const auto &p : group.pictures)
                pictures << p.picture;
        }
        try {
            m_store.thumbnails()->refresh(pictures);
        } catch (const DbError &) {
            // The copies here, if any, are shown.
        }
        endResetModel();
    }
    void clear() { setReport({}); }
    const DuplicateReport &report() const { return m_report; }

    // The group of a row (a group's own or one of its pictures'); -1 for none.
    int groupOf(const QModelIndex &index) const
    {
        if (!index.isValid())
            return -1;
        return index.internalId() == 0 ? index.row() : int(index.internalId() - 1);
    }
    // The picture of a row; null for a group's row.
    const DuplicateReport::Picture *pictureOf(const QModelIndex &index) const
    {
        if (!index.isValid() || index.internalId() == 0)
            return nullptr;
        const int g = int(index.internalId() - 1);
        if (g >= m_report.groups.size() || index.row() >= m_report.groups[g].pictures.size())
            return nullptr;
        return &m_report.groups[g].pictures[index.row()];
    }
    QList<qint64> keysOfGroup(int g) const
    {
        QList<qint64> keys;
        if (g >= 0 && g < m_report.groups.size())
            for (const DuplicateReport::Picture &p : m_report.groups[g].pictures)
                keys << p.picture;
        return keys;
    }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override
    {
        if (row < 0 || column < 0 || column >= ColumnCount)
            return {};
        if (!parent.isValid())
            return row < m_report.groups.size() ? createIndex(row, column, quintptr(0))
                                                : QModelIndex();
        if (parent.internalId() != 0 || row >= m_report.groups[parent.row()].pictures.size())
            return {};
        return createIndex(row, column, quintptr(parent.row() + 1));
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        if (!child.isValid() || child.internalId() == 0)
            return {};
        return createIndex(int(child.internalId() - 1), 0, quintptr(0));
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        if (!parent.isValid())
            return int(m_report.groups.size());
        if (parent.internalId() != 0 || parent.column() != 0)
            return 0;
        return int(m_report.groups[parent.row()].pictures.size());
    }
    int columnCount(const QModelIndex & = {}) const override { return ColumnCount; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case ColPicture: return QStringLiteral("Imagem");
        case ColStorage: return QStringLiteral("Local");
        case ColFolder: return QStringLiteral("Pasta");
        case ColState: return QStringLiteral("Disco");
        }
        return {};
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (const DuplicateReport::Picture *p = pictureOf(index))
            return pictureData(*p, index.column(), role);
        return groupData(index.row(), index.column(), role);
    }

private:
    QVariant groupData(int g, int column, int role) const
    {
        const QList<DuplicateReport::Picture> &pictures = m_report.groups[g].pictures;
        int offline = 0;
        for (const DuplicateReport::Picture &p : pictures)
            offline += p.online ? 0 : 1;
        switch (role) {
        case Qt::DisplayRole: {
            if (column != ColPicture)
                return {};
            // The group's row spans the columns: how many, and how many are out of reach.
            QString text = (m_report.similar ? QStringLiteral("Grupo %1: %2 imagens parecidas")
                                             : QStringLiteral("Grupo %1: %2 cópias idênticas"))
                               .arg(g + 1)
                               .arg(pictures.size());
            if (offline > 0)
                text += offline == 1 ? QStringLiteral(", 1 em disco não conectado")
                                     : QStringLiteral(", %1 em discos não conectados").arg(offline);
            return text;
        }
        case Qt::DecorationRole:
            if (column == ColPicture && !pictures.isEmpty())
                return thumbnail(pictures.first().picture);
            return {};
        case Qt::FontRole:
            if (column == ColPicture) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        default: return {};
        }
    }
    QVariant pictureData(const DuplicateReport::Picture &p, int column, int role) const
    {
        switch (role) {
        case Qt::DisplayRole:
            switch (column) {
            case ColPicture: return p.fileName;
            case ColStorage: return p.storageName;
            case ColFolder: return p.folder;
            case ColState:
                return p.online ? QStringLiteral("conectado") : QStringLiteral("não conectado");
            }
            return {};
        case Qt::DecorationRole: return column == ColPicture ? thumbnail(p.picture) : QVariant();
        case Qt::ToolTipRole:
            if (column == ColFolder)
                return p.folder;
            return p.online ? QVariant() : QVariant(p.offlineText);
        case Qt::ForegroundRole:
            if (!p.online)
                return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            return {};
        case Qt::UserRole: return p.picture;
        default: return {};
        }
    }
    // The picture's thumbnail file, fitted into a square the height of a row (so names line
    // up whatever the picture's shape); nothing when it has none.
    QVariant thumbnail(qint64 picture) const
    {
        if (QPixmap *cached = m_thumbs.object(picture))
            return cached->isNull() ? QVariant() : QVariant(*cached);
        QImageReader reader(m_store.GetThumbnailName(picture));
        QPixmap pixmap;
        const QSize size = reader.size();
        if (size.isValid()) {
            reader.setScaledSize(size.scaled(kThumbSide, kThumbSide, Qt::KeepAspectRatio)
                                     .boundedTo(size)
                                     .expandedTo(QSize(1, 1)));
            const QImage image = reader.read();
            if (!image.isNull()) {
                pixmap = QPixmap(kThumbSide, kThumbSide);
                pixmap.fill(Qt::transparent);
                QPainter painter(&pixmap);
                painter.drawImage(
                    (kThumbSide - image.width()) / 2, (kThumbSide - image.height()) / 2, image);
            }
        }
        m_thumbs.insert(picture, new QPixmap(pixmap));
        return pixmap.isNull() ? QVariant() : QVariant(pixmap);
    }

    TDados &m_store;
    DuplicateReport m_report;
    mutable QCache<qint64, QPixmap> m_thumbs;
};

TDuplicatas::TDuplicatas(TDados &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent),
      m_store(store),
      m_prompter(prompter),
      m_model(std::make_unique<GroupsModel>(store))
{
    setObjectName(QStringLiteral("TDuplicatas"));
    setWindowTitle(QStringLiteral("Duplicatas"));
    setModal(false);
    setSizeGripEnabled(true);

    CheckBox1
        = named(new QCheckBox(QStringLiteral("Incluir imagens parecidas"), this), "CheckBox1");
    CheckBox1->setToolTip(QStringLiteral("Também cópias redimensionadas ou recomprimidas"));
    Label1 = named(new QLabel(QStringLiteral("Diferença máxima"), this), "Label1");
    SpinEdit1 = named(new QSpinBox(this), "SpinEdit1");
    SpinEdit1->setRange(0, 16);
    SpinEdit1->setValue(6);
    SpinEdit1->setSuffix(QStringLiteral(" bits"));
    SpinEdit1->setToolTip(
        QStringLiteral("Quanto as imagens podem diferir (0: só as de aparência igual)"));
    Label1->setBuddy(SpinEdit1);
    BitBtn1 = named(new QPushButton(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                        QStringLiteral("Procurar"), this),
        "BitBtn1");
    TreeView1 = named(new QTreeView(this), "TreeView1");
    TreeView1->setModel(m_model.get());
    TreeView1->setIconSize(QSize(kThumbSide, kThumbSide));
    TreeView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    TreeView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setAllColumnsShowFocus(true);
    TreeView1->header()->setStretchLastSection(false);
    TreeView1->header()->setSectionResizeMode(ColFolder, QHeaderView::Stretch);
    TreeView1->setColumnWidth(ColPicture, 240);
    TreeView1->setColumnWidth(ColStorage, 130);
    TreeView1->setColumnWidth(ColState, 110);
    BitBtn2 = named(new QPushButton(QStringLiteral("Inserir grupo no lote"), this), "BitBtn2");
    BitBtn3 = named(new QPushButton(QStringLiteral("Inserir seleção no lote"), this), "BitBtn3");
    BitBtn4 = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                        QStringLiteral("Fechar"), this),
        "BitBtn4");
    for (QPushButton *b : { BitBtn1, BitBtn2, BitBtn3, BitBtn4 })
        b->setAutoDefault(false);
    Animate1 = named(new QProgressBar(this), "Animate1");
    Animate1->setRange(0, 0);
    Animate1->setTextVisible(false);
    Animate1->setMaximumWidth(160);
    Animate1->hide();
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setMinimumHeight(StatusBar1->fontMetrics().height() + 8);

    auto *top = new QHBoxLayout;
    top->addWidget(CheckBox1);
    top->addSpacing(12);
    top->addWidget(Label1);
    top->addWidget(SpinEdit1);
    top->addStretch();
    top->addWidget(Animate1);
    top->addWidget(BitBtn1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BitBtn2);
    bottom->addWidget(BitBtn3);
    bottom->addStretch();
    bottom->addWidget(BitBtn4);
    auto *body = new QVBoxLayout;
    body->setContentsMargins(11, 11, 11, 6);
    body->addLayout(top);
    body->addWidget(TreeView1, 1);
    body->addLayout(bottom);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(StatusBar1);
    resize(760, 480);

    connect(CheckBox1, &QCheckBox::toggled, this, guarded(prompter, [this] { CheckBox1Click(); }));
    connect(BitBtn1, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn2Click(); }));
    connect(BitBtn3, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn3Click(); }));
    connect(BitBtn4, &QPushButton::clicked, this, &QDialog::close);
    // A double click, or Enter, on a picture.
    connect(TreeView1, &QTreeView::activated, this,
        guarded(prompter, [this](const QModelIndex &index) { TreeView1DblClick(index); }));
    connect(TreeView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { updateButtons(); });
    connect(TreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this] { updateButtons(); });
    connect(&m_watcher, &QFutureWatcher<DuplicateReport>::finished, this,
        guarded(prompter, [this] { searchDone(); }));
    connect(&store.Conexao, &Connection::aboutToClose, this, [this] { catalogueClosing(); });
    CheckBox1Click();
    updateButtons();
}

TDuplicatas::~TDuplicatas()
{
    // A search still running ends on its own; its report goes nowhere.
    if (m_running)
        m_running->store(true);
    m_watcher.disconnect(this);
}

void TDuplicatas::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorBoundary::run(m_prompter, [this] { FormActivate(); });
}

// The first showing searches at once; later ones keep what was found until "Procurar".
void TDuplicatas::FormActivate()
{
    if (!m_searchedOnce && !searching())
        BitBtn1Click();
}

void TDuplicatas::CheckBox1Click()
{
    Label1->setEnabled(CheckBox1->isChecked());
    SpinEdit1->setEnabled(CheckBox1->isChecked() && !searching());
}

void TDuplicatas::setRunning(bool running)
{
    CheckBox1->setEnabled(!running);
    SpinEdit1->setEnabled(!running && CheckBox1->isChecked());
    BitBtn1->setEnabled(!running);
    Animate1->setVisible(running);
    if (running)
        StatusBar1->showMessage(QStringLiteral("Procurando imagens repetidas..."));
    updateButtons();
}

void TDuplicatas::BitBtn1Click()
{
    if (searching() || !m_store.connected())
        return;
    m_searchedOnce = true;
    DuplicateReport::Request request;
    request.catalogue = m_store.Conexao.filePath();
    request.similar = CheckBox1->isChecked();
    request.distance = SpinEdit1->value();
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_running = cancel;
    setRunning(true);
    m_watcher.setFuture(QtConcurrent::run(
        [request, cancel] { return DuplicateReport::make(request, cancel.get()); }));
}

void TDuplicatas::searchDone()
{
    const std::shared_ptr<std::atomic_bool> cancel = std::move(m_running);
    m_running.reset();
    setRunning(false);
    DuplicateReport report = m_watcher.result();
    // Made of a catalogue closed meanwhile: its keys name nothing now.
    if (report.cancelled || (cancel && cancel->load())
        || report.catalogue != m_store.Conexao.filePath()) {
        StatusBar1->clearMessage();
        emit searchFinished();
        return;
    }
    if (!report.error.isEmpty()) {
        StatusBar1->clearMessage();
        m_prompter.error(report.error);
        emit searchFinished();
        return;
    }
    const int groups = int(report.groups.size());
    const int pictures = report.pictureCount();
    m_model->setReport(std::move(report));
    for (int g = 0; g < groups; ++g)
        TreeView1->setFirstColumnSpanned(g, QModelIndex(), true);
    TreeView1->expandAll();
    if (groups == 0)
        StatusBar1->showMessage(QStringLiteral("Nenhuma imagem repetida."));
    else
        StatusBar1->showMessage(
            QStringLiteral("%1 %2, %3 imagens")
                .arg(groups)
                .arg(groups == 1 ? QStringLiteral("grupo") : QStringLiteral("grupos"))
                .arg(pictures));
    updateButtons();
    emit searchFinished();
}

void TDuplicatas::catalogueClosing()
{
    if (m_running)
        m_running->store(true);
    m_model->clear();
    m_searchedOnce = false;
    StatusBar1->clearMessage();
    updateButtons();
}

void TDuplicatas::updateButtons()
{
    const bool ready = !searching();
    BitBtn2->setEnabled(ready && m_model->groupOf(TreeView1->currentIndex()) >= 0);
    BitBtn3->setEnabled(ready && TreeView1->selectionModel()->hasSelection());
}

void TDuplicatas::BitBtn2Click()
{
    const QList<qint64> keys = m_model->keysOfGroup(m_model->groupOf(TreeView1->currentIndex()));
    if (!keys.isEmpty())
        emit addToBatchRequested(keys);
}

// The selected pictures, and every picture of a selected group, each once.
void TDuplicatas::BitBtn3Click()
{
    QList<qint64> keys;
    for (const QModelIndex &row : TreeView1->selectionModel()->selectedRows()) {
        const DuplicateReport::Picture *p = m_model->pictureOf(row);
        const QList<qint64> some
            = p ? QList<qint64> { p->picture } : m_model->keysOfGroup(m_model->groupOf(row));
        for (qint64 key : some)
            if (!keys.contains(key))
                keys << key;
    }
    if (!keys.isEmpty())
        emit addToBatchRequested(keys);
}

void TDuplicatas::batchAdded(int added, int sent)
{
    QString text = added == 1 ? QStringLiteral("1 imagem inserida no lote")
                              : QStringLiteral("%1 imagens inseridas no lote").arg(added);
    if (sent > added)
        text += sent - added == 1 ? QStringLiteral(" (1 já estava nele)")
                                  : QStringLiteral(" (%1 já estavam nele)").arg(sent - added);
    StatusBar1->showMessage(text + QLatin1Char('.'));
}

void TDuplicatas::TreeView1DblClick(const QModelIndex &index)
{
    // A group's row opens or closes as any tree's does.
    if (const DuplicateReport::Picture *p = m_model->pictureOf(index))
        emit pictureActivated(p->picture);
}
