#include "browser/catalogbrowser.h"

#include "widgets/dbcontrols.h"
#include "store/dberror.h"
#include "core/eventpump.h"
#include "widgets/pagecontrol.h"
#include "core/prompter.h"
#include "store/query.h"
#include "store/tdados.h"
#include "browser/treeloader.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStorageInfo>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
const QColor kCream(255, 251, 240);

template<typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// Small drawn icons for the nodes: a box for collections and storages, a folder for
// categories, a framed landscape for pictures.
QIcon nodeIcon(int kind)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == 0) {
        p.setPen(QColor(60, 60, 90));
        p.setBrush(QColor(90, 130, 200));
        p.drawRoundedRect(QRectF(1.5, 3.5, 13, 10), 2, 2);
        p.setBrush(QColor(200, 220, 250));
        p.drawRect(QRectF(4.5, 6.5, 7, 2));
    } else if (kind == 1) {
        p.setPen(QColor(150, 110, 30));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 6, 2));
    } else {
        p.setPen(QColor(70, 70, 70));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 150, 90));
        const QPointF hill[] = { { 2, 13 }, { 7, 7 }, { 10, 10 }, { 12, 8 }, { 14, 13 } };
        p.drawPolygon(hill, 5);
        p.setBrush(QColor(240, 170, 60));
        p.drawEllipse(QPointF(11, 5.5), 1.5, 1.5);
    }
    return QIcon(pm);
}

QTableView *grid(const char *name, QWidget *parent)
{
    auto *g = named(new QTableView(parent), name);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setShowGrid(true);
    g->verticalHeader()->hide();
    g->horizontalHeader()->setSectionsMovable(false);
    return g;
}
} // namespace

CatalogBrowser::CatalogBrowser(Prompter &prompter, QWidget *parent)
    : QWidget(parent), m_prompter(prompter)
{
    setObjectName(QStringLiteral("CatalogBrowser"));
    const QVector<QIcon> icons = { nodeIcon(0), nodeIcon(1), nodeIcon(2) };
    m_tree1.setIcons(icons);
    m_tree2.setIcons(icons);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    buildToolBar();
    layout->addWidget(ToolBar1);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    layout->addWidget(m_splitter, 1);
    buildTrees();
    buildPages();
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({ 260, 540 });

    // Initial state of the main window: no detail page, hidden thumbnail and extra pages.
    for (int i = 0; i < PageControl2->count(); ++i)
        PageControl2->setPageVisible(i, false);
    PageControl2->setActivePageIndex(-1);
    PageControl3->setPageVisible(0, false);
    PageControl3->setPageVisible(1, false);
    BitBtn1->setEnabled(false);
    PageControl1->setActivePageIndex(0);
    UpdateControlStates();
}

CatalogBrowser::~CatalogBrowser() = default;

void CatalogBrowser::buildToolBar()
{
    ToolBar1 = named(new QToolBar(this), "ToolBar1");
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolBar1->setIconSize(QSize(20, 20));
    ToolBar1->setMovable(false);

    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    NovaColecao1 = PopupMenu1->addAction(QStringLiteral("Nova Coleção"));
    NovaColecao1->setObjectName(QStringLiteral("NovaColecao1"));
    NovaCategoria1 = PopupMenu1->addAction(QStringLiteral("Nova Categoria"));
    NovaCategoria1->setObjectName(QStringLiteral("NovaCategoria1"));
    NovaImagem1 = PopupMenu1->addAction(QStringLiteral("Nova Imagem"));
    NovaImagem1->setObjectName(QStringLiteral("NovaImagem1"));
    NovoLocal1 = PopupMenu1->addAction(QStringLiteral("Novo Local"));
    NovoLocal1->setObjectName(QStringLiteral("NovoLocal1"));

    QStyle *st = style();
    auto makeButton = [&](const char *name, const QString &text, QStyle::StandardPixmap icon) {
        auto *b = named(new QToolButton(ToolBar1), name);
        b->setText(text);
        b->setIcon(st->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton1
        = makeButton("ToolButton1", QStringLiteral("Incluir..."), QStyle::SP_FileDialogNewFolder);
    ToolButton1->setMenu(PopupMenu1);
    ToolButton1->setPopupMode(QToolButton::InstantPopup);
    ToolButton2
        = makeButton("ToolButton2", QStringLiteral("Rastrear Imagens"), QStyle::SP_DriveHDIcon);
    ToolButton3 = makeButton(
        "ToolButton3", QStringLiteral("Procurar no Catálogo"), QStyle::SP_FileDialogContentsView);
    connect(ToolButton2, &QToolButton::clicked, this, &CatalogBrowser::ToolButton2Click);
    ToolButton4 = makeButton(
        "ToolButton4", QStringLiteral("Processamento em Lote"), QStyle::SP_DialogSaveButton);
}

void CatalogBrowser::buildTrees()
{
    PageControl1 = named(new PageControl(m_splitter), "PageControl1");
    auto makeTree
        = [&](const char *sheetName, const char *treeName, CatalogTree *model, QWidget *&sheet) {
              sheet = named(new QWidget(PageControl1), sheetName);
              auto *l = new QVBoxLayout(sheet);
              l->setContentsMargins(0, 0, 0, 0);
              auto *tree = named(new QTreeView(sheet), treeName);
              tree->setModel(model);
              tree->setHeaderHidden(true);
              tree->setUniformRowHeights(true);
              tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
              tree->setSelectionMode(QAbstractItemView::SingleSelection);
              tree->setSelectionBehavior(QAbstractItemView::SelectRows);
              tree->setAllColumnsShowFocus(true);
              tree->setTextElideMode(Qt::ElideRight);
              tree->setContextMenuPolicy(Qt::CustomContextMenu);
              tree->setExpandsOnDoubleClick(false);
              tree->installEventFilter(this);
              l->addWidget(tree);
              connect(tree, &QTreeView::clicked, this, [this, tree] { TreeViewClick(tree); });
              connect(tree, &QTreeView::doubleClicked, this, [this] { Editar1->trigger(); });
              connect(tree, &QWidget::customContextMenuRequested, this,
                  [this, tree](const QPoint &pos) { treeContextMenu(tree, pos); });
              return tree;
          };
    TreeView1 = makeTree("TabSheet5", "TreeView1", &m_tree1, TabSheet5);
    TreeView2 = makeTree("TabSheet6", "TreeView2", &m_tree2, TabSheet6);
    PageControl1->addPage(TabSheet5, QStringLiteral("Organização"));
    PageControl1->addPage(TabSheet6, QStringLiteral("Localização"));
    PageControl1->setMinimumWidth(200);
    connect(PageControl1, &PageControl::tabClicked, this, [this] { PageControl1Change(); });

    PopupMenu2 = named(new QMenu(this), "PopupMenu2");
    Editar1 = PopupMenu2->addAction(QStringLiteral("Editar"));
    Editar1->setObjectName(QStringLiteral("Editar1"));
    QFont bold = Editar1->font();
    bold.setBold(true);
    Editar1->setFont(bold);
    PopupMenu2->setDefaultAction(Editar1);
    InserirnoLote1 = PopupMenu2->addAction(QStringLiteral("Inserir no Lote"));
    InserirnoLote1->setObjectName(QStringLiteral("InserirnoLote1"));
    Excluir1 = PopupMenu2->addAction(QStringLiteral("Excluir"));
    Excluir1->setObjectName(QStringLiteral("Excluir1"));
    PopupMenu2->addSeparator();
    Expandir1 = PopupMenu2->addAction(QStringLiteral("Expandir"));
    Expandir1->setObjectName(QStringLiteral("Expandir1"));
    ExpandirTudo1 = PopupMenu2->addAction(QStringLiteral("Expandir Tudo"));
    ExpandirTudo1->setObjectName(QStringLiteral("ExpandirTudo1"));
    PopupMenu2->addSeparator();
    Contrair1 = PopupMenu2->addAction(QStringLiteral("Contrair"));
    Contrair1->setObjectName(QStringLiteral("Contrair1"));
    ContrairTudo1 = PopupMenu2->addAction(QStringLiteral("Contrair Tudo"));
    ContrairTudo1->setObjectName(QStringLiteral("ContrairTudo1"));
    connect(Expandir1, &QAction::triggered, this, &CatalogBrowser::Expandir1Click);
    connect(ExpandirTudo1, &QAction::triggered, this, &CatalogBrowser::ExpandirTudo1Click);
    connect(Contrair1, &QAction::triggered, this, &CatalogBrowser::Contrair1Click);
    connect(ContrairTudo1, &QAction::triggered, this, &CatalogBrowser::ContrairTudo1Click);
}

QWidget *CatalogBrowser::buildCollectionPage()
{
    auto *page = named(new QWidget, "TabSheet1");
    auto *v = new QVBoxLayout(page);
    auto *form = new QGridLayout;
    DBEdit1 = named(new DBEdit(page), "DBEdit1");
    DBMemo1 = named(new DBMemo(page), "DBMemo1");
    DBMemo1->setFixedHeight(70);
    DBCheckBox1 = named(new DBCheckBox(QStringLiteral("Sistema"), page), "DBCheckBox1");
    DBNavigator1 = named(new DBNavigator(page), "DBNavigator1");
    form->addWidget(caption(QStringLiteral("Coleção"), page), 0, 0);
    form->addWidget(DBEdit1, 0, 1);
    form->addWidget(caption(QStringLiteral("Notas"), page), 1, 0, Qt::AlignRight | Qt::AlignTop);
    form->addWidget(DBMemo1, 1, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(DBCheckBox1);
    row->addStretch(1);
    row->addWidget(DBNavigator1);
    form->addLayout(row, 2, 1);
    form->setColumnStretch(1, 1);
    v->addLayout(form);
    DBGrid1 = grid("DBGrid1", page);
    v->addWidget(DBGrid1, 1);
    return page;
}

QWidget *CatalogBrowser::buildCategoryPage()
{
    auto *page = named(new QWidget, "TabSheet2");
    auto *v = new QVBoxLayout(page);
    auto *form = new QGridLayout;
    DBLookupComboBox1 = named(new DBLookupComboBox(page), "DBLookupComboBox1");
    DBEdit2 = named(new DBEdit(page), "DBEdit2");
    DBMemo2 = named(new DBMemo(page), "DBMemo2");
    DBMemo2->setFixedHeight(70);
    DBCheckBox2 = named(new DBCheckBox(QStringLiteral("Sistema"), page), "DBCheckBox2");
    DBNavigator2 = named(new DBNavigator(page), "DBNavigator2");
    form->addWidget(caption(QStringLiteral("Coleção"), page), 0, 0);
    form->addWidget(DBLookupComboBox1, 0, 1);
    form->addWidget(caption(QStringLiteral("Categoria"), page), 1, 0);
    form->addWidget(DBEdit2, 1, 1);
    form->addWidget(caption(QStringLiteral("Notas"), page), 2, 0, Qt::AlignRight | Qt::AlignTop);
    form->addWidget(DBMemo2, 2, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(DBCheckBox2);
    row->addStretch(1);
    row->addWidget(DBNavigator2);
    form->addLayout(row, 3, 1);
    form->setColumnStretch(1, 1);
    v->addLayout(form);
    DBGrid2 = grid("DBGrid2", page);
    v->addWidget(DBGrid2, 1);
    return page;
}

QWidget *CatalogBrowser::buildPicturePage()
{
    auto *page = named(new QWidget, "TabSheet3");
    auto *h = new QHBoxLayout(page);
    auto *form = new QGridLayout;
    form->setHorizontalSpacing(6);
    form->setVerticalSpacing(2);
    DBLookupComboBox2 = named(new DBLookupComboBox(page), "DBLookupComboBox2");
    DBLookupComboBox3 = named(new DBLookupComboBox(page), "DBLookupComboBox3");
    DBEdit3 = named(new DBEdit(page), "DBEdit3");
    DBEdit4 = named(new DBEdit(page), "DBEdit4");
    BitBtn2 = named(new QPushButton(QStringLiteral("Localizar"), page), "BitBtn2");
    DBEdit5 = named(new DBEdit(page), "DBEdit5");
    DBCheckBox4 = named(new DBCheckBox(QStringLiteral("Revisado"), page), "DBCheckBox4");
    DBEdit6 = named(new DBEdit(page), "DBEdit6");
    DBEdit7 = named(new DBEdit(page), "DBEdit7");
    // Dates must show whole: "dd/MM/yyyy hh:mm:ss".
    const int dateWidth
        = DBEdit6->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 16;
    DBEdit6->setMinimumWidth(dateWidth);
    DBEdit7->setMinimumWidth(dateWidth);
    DBMemo3 = named(new DBMemo(page), "DBMemo3");
    DBMemo3->setLineWrapMode(QPlainTextEdit::NoWrap);
    DBMemo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBMemo3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBMemo3->setFixedHeight(DBEdit3->sizeHint().height());
    DBLookupComboBox4 = named(new DBLookupComboBox(page), "DBLookupComboBox4");
    DBLookupComboBox5 = named(new DBLookupComboBox(page), "DBLookupComboBox5");
    DBLookupComboBox5->setDeleteClears(true);
    DBEdit8 = named(new DBEdit(page), "DBEdit8");
    DBEdit9 = named(new DBEdit(page), "DBEdit9");
    DBLookupComboBox6 = named(new DBLookupComboBox(page), "DBLookupComboBox6");
    DBLookupComboBox6->setDeleteClears(true);
    DBLookupComboBox7 = named(new DBLookupComboBox(page), "DBLookupComboBox7");
    DBMemo4 = named(new DBMemo(page), "DBMemo4");
    DBMemo5 = named(new DBMemo(page), "DBMemo5");
    DBMemo4->setFixedHeight(46);
    DBMemo5->setFixedHeight(46);
    DBNavigator3 = named(new DBNavigator(page), "DBNavigator3");

    int r = 0;
    auto addRow = [&](const QString &text, QWidget *w, QWidget *after = nullptr,
                      const QString &unit = QString()) {
        form->addWidget(caption(text, page), r, 0);
        if (!after && unit.isEmpty()) {
            form->addWidget(w, r, 1, 1, 3);
        } else {
            form->addWidget(w, r, 1);
            if (after)
                form->addWidget(after, r, 2, 1, 2);
            else
                form->addWidget(new QLabel(unit, page), r, 2, 1, 2);
        }
        ++r;
    };
    addRow(QStringLiteral("Coleção"), DBLookupComboBox2);
    addRow(QStringLiteral("Categoria"), DBLookupComboBox3);
    addRow(QStringLiteral("Nome"), DBEdit3);
    addRow(QStringLiteral("Arquivo"), DBEdit4, BitBtn2);
    {
        form->addWidget(caption(QStringLiteral("Tamanho"), page), r, 0);
        form->addWidget(DBEdit5, r, 1);
        form->addWidget(new QLabel(QStringLiteral("bytes"), page), r, 2);
        form->addWidget(DBCheckBox4, r, 3);
        ++r;
    }
    form->addWidget(caption(QStringLiteral("Criação"), page), r, 0);
    form->addWidget(DBEdit6, r++, 1);
    form->addWidget(caption(QStringLiteral("Modificação"), page), r, 0);
    form->addWidget(DBEdit7, r++, 1);
    addRow(QStringLiteral("Caminho"), DBMemo3);
    addRow(QStringLiteral("Formato"), DBLookupComboBox4);
    addRow(QStringLiteral("Cores"), DBLookupComboBox5);
    {
        form->addWidget(caption(QStringLiteral("Largura"), page), r, 0);
        auto *wh = new QHBoxLayout;
        wh->addWidget(DBEdit8);
        wh->addWidget(caption(QStringLiteral("Altura"), page));
        wh->addWidget(DBEdit9);
        wh->addWidget(new QLabel(QStringLiteral("pixels"), page));
        form->addLayout(wh, r, 1, 1, 3);
        ++r;
    }
    addRow(QStringLiteral("Resolução"), DBLookupComboBox6, nullptr, QStringLiteral("dpi"));
    addRow(QStringLiteral("Localização"), DBLookupComboBox7);
    form->addWidget(caption(QStringLiteral("Notas"), page), r, 0, Qt::AlignRight | Qt::AlignTop);
    form->addWidget(DBMemo4, r++, 1, 1, 3);
    form->addWidget(
        caption(QStringLiteral("Palavras Chaves"), page), r, 0, Qt::AlignRight | Qt::AlignTop);
    form->addWidget(DBMemo5, r++, 1, 1, 3);
    form->addWidget(DBNavigator3, r++, 1, 1, 3);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    form->setRowStretch(r, 1);
    h->addLayout(form, 1);

    auto *side = new QVBoxLayout;
    PageControl3 = named(new PageControl(page), "PageControl3");
    TabSheet7 = named(new QWidget, "TabSheet7");
    TabSheet8 = named(new QWidget, "TabSheet8");
    Image1 = named(new QLabel(TabSheet7), "Image1");
    Image1->setFixedSize(135, 135);
    Image1->setAlignment(Qt::AlignCenter);
    auto *l7 = new QVBoxLayout(TabSheet7);
    l7->setContentsMargins(2, 2, 2, 2);
    l7->addWidget(Image1, 0, Qt::AlignCenter);
    WebBrowser1 = named(new QLabel(TabSheet8), "WebBrowser1");
    WebBrowser1->setFixedSize(135, 135);
    WebBrowser1->setAlignment(Qt::AlignCenter);
    auto *l8 = new QVBoxLayout(TabSheet8);
    l8->setContentsMargins(2, 2, 2, 2);
    l8->addWidget(WebBrowser1, 0, Qt::AlignCenter);
    PageControl3->addPage(TabSheet7, QStringLiteral("Miniatura"));
    PageControl3->addPage(TabSheet8, QStringLiteral("GIF"));
    PageControl3->setFixedSize(145, 170);
    BitBtn1 = named(new QPushButton(QStringLiteral("Ampliar"), page), "BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    side->addWidget(PageControl3);
    side->addWidget(BitBtn1);
    side->addStretch(1);
    h->addLayout(side);
    return page;
}

QWidget *CatalogBrowser::buildStoragePage()
{
    auto *page = named(new QWidget, "TabSheet4");
    auto *v = new QVBoxLayout(page);
    auto *form = new QGridLayout;
    DBEdit10 = named(new DBEdit(page), "DBEdit10");
    DBMemo6 = named(new DBMemo(page), "DBMemo6");
    DBMemo6->setFixedHeight(70);
    ShellComboBox1 = named(new QComboBox(page), "ShellComboBox1");
    ShellComboBox1->setEditable(true);
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            ShellComboBox1->addItem(volume.rootPath());
    DBCheckBox3 = named(new DBCheckBox(QStringLiteral("Sistema"), page), "DBCheckBox3");
    DBNavigator4 = named(new DBNavigator(page), "DBNavigator4");
    form->addWidget(caption(QStringLiteral("Local"), page), 0, 0);
    form->addWidget(DBEdit10, 0, 1);
    form->addWidget(caption(QStringLiteral("Notas"), page), 1, 0, Qt::AlignRight | Qt::AlignTop);
    form->addWidget(DBMemo6, 1, 1);
    form->addWidget(caption(QStringLiteral("Unidade"), page), 2, 0);
    form->addWidget(ShellComboBox1, 2, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(DBCheckBox3);
    row->addStretch(1);
    row->addWidget(DBNavigator4);
    form->addLayout(row, 3, 1);
    form->setColumnStretch(1, 1);
    v->addLayout(form);
    DBGrid3 = grid("DBGrid3", page);
    v->addWidget(DBGrid3, 1);
    return page;
}

void CatalogBrowser::buildPages()
{
    PageControl2 = named(new PageControl(m_splitter), "PageControl2");
    TabSheet1 = buildCollectionPage();
    TabSheet2 = buildCategoryPage();
    TabSheet3 = buildPicturePage();
    TabSheet4 = buildStoragePage();
    TabSheet9 = named(new QWidget, "TabSheet9");
    Image2 = named(new QLabel(TabSheet9), "Image2");
    Image2->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(TabSheet9))->addWidget(Image2);
    TabSheet10 = named(new QWidget, "TabSheet10");
    WebBrowser2 = named(new QLabel(TabSheet10), "WebBrowser2");
    WebBrowser2->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(TabSheet10))->addWidget(WebBrowser2);
    TabSheet11 = named(new QWidget, "TabSheet11");
    DBGridSearch = grid("DBGridSearch", TabSheet11);
    (new QVBoxLayout(TabSheet11))->addWidget(DBGridSearch);
    PageControl2->addPage(TabSheet1, QStringLiteral("Detalhes"));
    PageControl2->addPage(TabSheet2, QStringLiteral("Detalhes"));
    PageControl2->addPage(TabSheet3, QStringLiteral("Detalhes"));
    PageControl2->addPage(TabSheet4, QStringLiteral("Detalhes"));
    PageControl2->addPage(TabSheet9, QStringLiteral("Ampliação"));
    PageControl2->addPage(TabSheet10, QStringLiteral("Ampliação"));
    PageControl2->addPage(TabSheet11, QStringLiteral("Pesquisa"));
}

void CatalogBrowser::setStore(TDados *store)
{
    m_store = store;
    bindControls();
}

void CatalogBrowser::bindControls()
{
    if (!m_store)
        return;
    TDados &d = *m_store;
    auto onError = [this](const QString &m) { showError(m); };
    for (DBEdit *e : findChildren<DBEdit *>())
        e->binding().onError = onError;
    for (DBMemo *e : findChildren<DBMemo *>())
        e->binding().onError = onError;
    for (DBCheckBox *e : findChildren<DBCheckBox *>())
        e->binding().onError = onError;
    for (DBLookupComboBox *e : findChildren<DBLookupComboBox *>())
        e->binding().onError = onError;

    DBEdit1->bind(&d.TCollections, QStringLiteral("Name"));
    DBMemo1->bind(&d.TCollections, QStringLiteral("Notes"));
    DBCheckBox1->bind(&d.TCollections, QStringLiteral("System"));
    DBNavigator1->bind(&d.TCollections);

    DBLookupComboBox1->bind(&d.TCategories, QStringLiteral("Collection"));
    DBEdit2->bind(&d.TCategories, QStringLiteral("Name"));
    DBMemo2->bind(&d.TCategories, QStringLiteral("Notes"));
    DBCheckBox2->bind(&d.TCategories, QStringLiteral("System"));
    DBNavigator2->bind(&d.TCategories);

    DBLookupComboBox2->bind(&d.TPictures, QStringLiteral("Collection"));
    DBLookupComboBox3->bind(&d.TPictures, QStringLiteral("Category"));
    DBEdit3->bind(&d.TPictures, QStringLiteral("Name"));
    DBEdit4->bind(&d.TPictures, QStringLiteral("FileName"));
    DBEdit5->bind(&d.TPictures, QStringLiteral("FileSize"));
    DBCheckBox4->bind(&d.TPictures, QStringLiteral("Review"));
    DBEdit6->bind(&d.TPictures, QStringLiteral("Created"));
    DBEdit7->bind(&d.TPictures, QStringLiteral("Modified"));
    DBMemo3->bind(&d.TPictures, QStringLiteral("FullPath"));
    DBLookupComboBox4->bind(&d.TPictures, QStringLiteral("FileType"));
    DBLookupComboBox5->bind(&d.TPictures, QStringLiteral("ColorType"));
    DBEdit8->bind(&d.TPictures, QStringLiteral("Width"));
    DBEdit9->bind(&d.TPictures, QStringLiteral("Height"));
    DBLookupComboBox6->bind(&d.TPictures, QStringLiteral("Resolution"));
    DBLookupComboBox7->bind(&d.TPictures, QStringLiteral("Location"));
    DBMemo4->bind(&d.TPictures, QStringLiteral("Notes"));
    DBMemo5->bind(&d.TPictures, QStringLiteral("KeyWords"));
    DBNavigator3->bind(&d.TPictures);

    DBEdit10->bind(&d.TStorages, QStringLiteral("Name"));
    DBMemo6->bind(&d.TStorages, QStringLiteral("Notes"));
    DBCheckBox3->bind(&d.TStorages, QStringLiteral("System"));
    DBNavigator4->bind(&d.TStorages);
    for (DBNavigator *n : { DBNavigator1, DBNavigator2, DBNavigator3, DBNavigator4 })
        n->setPrompter(&m_prompter);

    // Lookup lists: each reads its table when shown, small tables all.
    auto list = [this](const QString &sql, std::function<QVariantMap()> params = {}) {
        return [this, sql, params]() {
            QList<DBLookupComboBox::Item> items;
            if (!m_store || !m_store->connected())
                return items;
            Query q(m_store->Conexao);
            q.setSql(sql);
            if (params) {
                const QVariantMap values = params();
                for (auto it = values.cbegin(); it != values.cend(); ++it)
                    q.setParam(it.key(), it.value());
            }
            q.open();
            while (!q.eof()) {
                items.append(
                    { q.value(QStringLiteral("K")), displayText(q.value(QStringLiteral("T"))) });
                q.next();
            }
            q.close();
            return items;
        };
    };
    const QString collections
        = QStringLiteral("SELECT RecId AS K, Name AS T FROM Collections ORDER BY Name");
    DBLookupComboBox1->setListProvider(list(collections));
    DBLookupComboBox2->setListProvider(list(collections));
    // While a picture is edited only its collection's categories are offered.
    DBLookupComboBox3->setListProvider([this, list]() {
        if (m_store && m_categoriesTied) {
            const qint64 col = m_store->TCollections.isOpen()
                ? m_store->TCollections.asInt(QStringLiteral("RecId"))
                : 0;
            return list(QStringLiteral("SELECT RecId AS K, Name AS T FROM Categories WHERE "
                                       "Collection = :COL ORDER BY Collection"),
                [col] {
                    return QVariantMap { { QStringLiteral("COL"), col } };
                })();
        }
        return list(QStringLiteral(
            "SELECT RecId AS K, Name AS T FROM Categories ORDER BY Collection, Name"))();
    });
    DBLookupComboBox4->setListProvider(
        list(QStringLiteral("SELECT Extension AS K, Name AS T FROM Formats")));
    DBLookupComboBox5->setListProvider(
        list(QStringLiteral("SELECT RecId AS K, Model AS T FROM ColorDepth")));
    DBLookupComboBox6->setListProvider(
        list(QStringLiteral("SELECT DPI AS K, DPI AS T FROM Resolutions")));
    DBLookupComboBox7->setListProvider(
        list(QStringLiteral("SELECT RecId AS K, Name AS T FROM Storages ORDER BY Name")));
}

void CatalogBrowser::showError(const QString &message)
{
    m_prompter.error(message);
}

bool CatalogBrowser::isEditing(const RecordSet &set) const
{
    return set.state() == RecordSet::State::Edit || set.state() == RecordSet::State::Insert;
}

int CatalogBrowser::selectedNode(QTreeView *tree) const
{
    if (!tree->selectionModel())
        return -1;
    const QModelIndexList rows = tree->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const auto *model = static_cast<const CatalogTree *>(tree->model());
    return model->absoluteIndex(rows.first());
}

void CatalogBrowser::selectNode(QTreeView *tree, int absolute, bool expand)
{
    auto *model = static_cast<CatalogTree *>(tree->model());
    const QModelIndex index = model->modelIndex(absolute);
    if (!index.isValid())
        return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        tree->expand(p);
    tree->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (expand)
        tree->expand(index);
    tree->scrollTo(index);
}

void CatalogBrowser::LoadTrees()
{
    if (!m_store)
        return;
    if (setStatusText)
        setStatusText(QStringLiteral("Carregando a base de dados..."));
    EventPump::pumpNow();

    TDados &d = *m_store;
    TreeLoader::Selection sel;
    sel.treesCurrent = TreesCurrent;
    sel.kind = SelectedNodeKind;
    auto current = [](RecordSet &set) -> qint64 {
        try {
            return set.isOpen() && !set.isEmpty() ? set.asInt(QStringLiteral("RecId")) : 0;
        } catch (const DbError &) {
            return 0;
        }
    };
    sel.collection = current(d.TCollections);
    sel.category = current(d.TCategories);
    sel.picture = current(d.TPictures);
    sel.storage = current(d.TStorages);
    TreeLoader::Found found;
    try {
        TreeLoader::loadOrganisation(d, m_tree1, sel, found);
        TreeLoader::loadLocation(d, m_tree2, sel, found);
    } catch (const DbError &e) {
        // The trees keep what was read; the selection state stays as it was.
        if (setStatusText)
            setStatusText(QString());
        showError(e.message());
        return;
    }
    if (found.node1 >= 0)
        selectNode(TreeView1, found.node1, found.expand1);
    if (found.node2 >= 0)
        selectNode(TreeView2, found.node2, found.expand2);
    UpdateControlStates();
    TreesCurrent = true;
    if (setStatusText)
        setStatusText(QString());
    EventPump::pumpNow();
}

void CatalogBrowser::TreeViewClick(QObject *sender)
{
    const int remembered = PageControl2->activePageIndex();
    if (setStatusText)
        setStatusText(QString());
    const bool fromNavigator = qobject_cast<DBNavigator *>(sender) != nullptr;

    if ((InsertInProgress || EditInProgress) && !fromNavigator) {
        m_prompter.beep();
        if (!m_prompter.confirm(QStringLiteral("Cancelar a edição corrente?")))
            return;
        if (m_store) {
            const std::pair<RecordSet *, DBNavigator *> pairs[] = {
                { &m_store->TCollections, DBNavigator1 }, { &m_store->TCategories, DBNavigator2 },
                { &m_store->TPictures, DBNavigator3 }, { &m_store->TStorages, DBNavigator4 }
            };
            for (const auto &[set, nav] : pairs)
                if (isEditing(*set))
                    nav->BtnClick(DBNavigator::nbCancel);
        }
        InsertInProgress = false;
        EditInProgress = false;
    }

    const int node1 = sender == TreeView1 ? selectedNode(TreeView1) : -1;
    const int node2 = sender == TreeView2 ? selectedNode(TreeView2) : -1;
    if (node1 >= 0) {
        const QString code = m_tree1.code(node1);
        SelectedNodeKind = code.left(2);
        SelectedNodeKey = code.mid(3);
        const int depth = m_tree1.depth(node1);
        PageControl2->setPageVisible(0, depth == 0);
        PageControl2->setPageVisible(1, depth == 1);
        PageControl2->setPageVisible(2, depth == 2);
        PageControl2->setPageVisible(3, false);
        PageControl2->setActivePageIndex(depth);
    } else if (node2 >= 0) {
        const QString code = m_tree2.code(node2);
        SelectedNodeKind = code.left(2);
        SelectedNodeKey = code.mid(3);
        const int depth = m_tree2.depth(node2);
        PageControl2->setPageVisible(0, false);
        PageControl2->setPageVisible(1, false);
        PageControl2->setPageVisible(3, depth == 0);
        PageControl2->setPageVisible(2, depth == 1);
        PageControl2->setActivePageIndex(3 - depth);
    } else if (!fromNavigator) {
        SelectedNodeKind.clear();
        SelectedNodeKey.clear();
        if (setStatusText)
            setStatusText(QString());
        for (int i = 0; i < 4; ++i)
            PageControl2->setPageVisible(i, false);
        if (PageControl2->activePageIndex() >= 0 && PageControl2->activePageIndex() < 4)
            PageControl2->setActivePageIndex(-1);
    }

    PageControl2->setPageVisible(4, false);
    PageControl2->setPageVisible(5, false);
    if (PageControl2->activePageIndex() == 4 || PageControl2->activePageIndex() == 5)
        PageControl2->setActivePageIndex(-1);
    PageControl2->setPageVisible(6, searchResultsOpen && searchResultsOpen());

    positionStore();
    UpdateControlStates();

    const int active = PageControl2->activePageIndex();
    if (active == remembered && refreshStatistics && (active == 0 || active == 1 || active == 3))
        refreshStatistics(active);
}

// Moves the store's record sets onto the selected record and its parents.
void CatalogBrowser::positionStore()
{
    if (!m_store || SelectedNodeKind.isEmpty())
        return;
    TDados &d = *m_store;
    bool ok = false;
    const qint64 key = SelectedNodeKey.toLongLong(&ok);
    if (!ok)
        return;
    const QString recId = QStringLiteral("RecId");
    try {
        if (SelectedNodeKind == QLatin1String("N1")) {
            d.TCollections.locate(recId, key);
        } else if (SelectedNodeKind == QLatin1String("N2")) {
            if (d.TCategories.locate(recId, key))
                d.TCollections.locate(recId, d.TCategories.value(QStringLiteral("Collection")));
        } else if (SelectedNodeKind == QLatin1String("N3")) {
            if (d.TPictures.locate(recId, key)) {
                if (d.TCategories.locate(recId, d.TPictures.value(QStringLiteral("Category"))))
                    d.TCollections.locate(recId, d.TCategories.value(QStringLiteral("Collection")));
                d.TStorages.locate(recId, d.TPictures.value(QStringLiteral("Location")));
                if (ShowThumbnail)
                    ShowThumbnail();
            }
        } else if (SelectedNodeKind == QLatin1String("N4")) {
            d.TStorages.locate(recId, key);
        }
    } catch (const DbError &e) {
        showError(e.message());
    }
}

void CatalogBrowser::setPageControlsEnabled(const QList<QWidget *> &editable, bool editing,
    const QList<QWidget *> &keyControls, QWidget *focus)
{
    for (QWidget *w : editable)
        w->setEnabled(editing);
    for (QWidget *w : keyControls) {
        QPalette pal = w->palette();
        const QColor base
            = w->isEnabled() ? kCream : QApplication::palette().color(QPalette::Window);
        pal.setColor(QPalette::Base, base);
        pal.setColor(QPalette::Button,
            w->isEnabled() ? kCream : QApplication::palette().color(QPalette::Button));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
    if (focus && focus->isEnabled() && focus->isVisible())
        focus->setFocus();
}

void CatalogBrowser::UpdateControlStates()
{
    const bool haveStore = m_store && m_store->TPictures.isOpen();
    TDados *d = m_store;

    try {
        if (haveStore) {
            // 1. A picture being edited is offered only its collection's categories.
            const bool tie = isEditing(d->TPictures);
            if (tie != m_categoriesTied) {
                m_categoriesTied = tie;
                if (tie) {
                    d->TCategories.setSort(QStringLiteral("Collection"));
                    d->TCategories.setMaster(
                        &d->TCollections, QStringLiteral("RecId"), QStringLiteral("Collection"));
                } else {
                    d->TCategories.clearMaster();
                    d->TCategories.setSort(QStringLiteral("Collection;Name"));
                }
                DBLookupComboBox3->refreshList();
            }
            // 2. The picture page shows its own collection and category.
            if (PageControl2->isPageVisible(2) && !isEditing(d->TCategories)) {
                d->TCategories.requery();
                const QVariant col = d->TPictures.value(QStringLiteral("Collection"));
                const QVariant cat = d->TPictures.value(QStringLiteral("Category"));
                if (!isEditing(d->TCollections))
                    d->TCollections.locate(QStringLiteral("RecId"), col);
                d->TCategories.locate(QStringLiteral("RecId"), cat);
            }
        }
    } catch (const DbError &e) {
        showError(e.message());
    }

    const bool idle = !InsertInProgress && !EditInProgress;
    ToolButton1->setEnabled(idle);
    ToolButton2->setEnabled(idle);
    bool haveCollections = false, haveCategories = false;
    if (haveStore) {
        try {
            haveCollections = !d->TCollections.isEmpty();
            haveCategories = !d->TCategories.isEmpty();
        } catch (const DbError &) {
        }
    }
    NovaCategoria1->setEnabled(haveCollections);
    NovaImagem1->setEnabled(haveCategories);
    NovaColecao1->setEnabled(true);
    NovoLocal1->setEnabled(true);

    Editar1->setEnabled(!SelectedNodeKind.isEmpty());
    Excluir1->setEnabled(!SelectedNodeKind.isEmpty());
    InserirnoLote1->setEnabled(SelectedNodeKind == QLatin1String("N3"));

    if (haveStore && setPictureCount) {
        try {
            setPictureCount(
                QString::number(d->TPictures.recordCount()) + QStringLiteral(" imagens"));
        } catch (const DbError &) {
        }
    }

    const bool colEdit = haveStore && isEditing(d->TCollections);
    const bool catEdit = haveStore && isEditing(d->TCategories);
    const bool picEdit = haveStore && isEditing(d->TPictures);
    const bool locEdit = haveStore && isEditing(d->TStorages);
    for (DBCheckBox *c : { DBCheckBox1, DBCheckBox2, DBCheckBox3, DBCheckBox4 })
        c->setEnabled(false);
    for (QWidget *w : QList<QWidget *> { DBEdit4, DBEdit5, DBEdit6, DBEdit7, DBMemo3 })
        w->setEnabled(false);
    setPageControlsEnabled({ DBEdit1, DBMemo1 }, colEdit, { DBEdit1 }, DBEdit1);
    setPageControlsEnabled(
        { DBLookupComboBox1, DBEdit2, DBMemo2 }, catEdit, { DBLookupComboBox1, DBEdit2 }, DBEdit2);
    setPageControlsEnabled({ DBLookupComboBox2, DBLookupComboBox3, DBEdit3, BitBtn2,
                               DBLookupComboBox4, DBLookupComboBox5, DBEdit8, DBEdit9,
                               DBLookupComboBox6, DBLookupComboBox7, DBMemo4, DBMemo5 },
        picEdit, { DBLookupComboBox2, DBLookupComboBox3, DBEdit3 }, DBEdit3);
    setPageControlsEnabled({ DBEdit10, DBMemo6, ShellComboBox1 }, locEdit, { DBEdit10 }, DBEdit10);
    for (DBNavigator *n : { DBNavigator1, DBNavigator2, DBNavigator3, DBNavigator4 })
        n->updateButtons();

    if (haveStore && d->TPictures.state() == RecordSet::State::Insert) {
        PageControl3->setPageVisible(0, false);
        PageControl3->setPageVisible(1, false);
        Image1->clear();
        if (clearThumbnail)
            clearThumbnail();
    }

    if (haveStore && d->TStorages.isOpen()) {
        QString unit;
        try {
            unit = d->TStorages.asString(QStringLiteral("Unit"));
        } catch (const DbError &) {
        }
        ShellComboBox1->setEditText(
            unit.endsWith(QLatin1Char('/')) ? unit : unit + QLatin1Char('/'));
    }
}

QTreeView *CatalogBrowser::activeTree() const
{
    return PageControl1->activePageIndex() == 1 ? TreeView2 : TreeView1;
}

void CatalogBrowser::PageControl1Change()
{
    if (!TreesCurrent)
        return;
    TreeViewClick(PageControl1->activePageIndex() == 1 ? TreeView2 : TreeView1);
}

void CatalogBrowser::treeContextMenu(QTreeView *tree, const QPoint &pos)
{
    const QModelIndex index = tree->indexAt(pos);
    if (index.isValid())
        tree->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TreeViewClick(tree);
    UpdateControlStates();
    PopupMenu2->popup(tree->viewport()->mapToGlobal(pos));
}

bool CatalogBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == TreeView1 || watched == TreeView2) && event->type() == QEvent::KeyRelease) {
        auto *tree = static_cast<QTreeView *>(watched);
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && selectedNode(tree) >= 0)
            TreeViewClick(tree);
    }
    return QWidget::eventFilter(watched, event);
}

void CatalogBrowser::Expandir1Click()
{
    QTreeView *tree = activeTree();
    const int node = selectedNode(tree);
    if (node >= 0)
        tree->expand(static_cast<CatalogTree *>(tree->model())->modelIndex(node));
}

void CatalogBrowser::ExpandirTudo1Click()
{
    activeTree()->expandAll();
}

void CatalogBrowser::Contrair1Click()
{
    QTreeView *tree = activeTree();
    const int node = selectedNode(tree);
    if (node >= 0)
        tree->collapse(static_cast<CatalogTree *>(tree->model())->modelIndex(node));
}

void CatalogBrowser::ContrairTudo1Click()
{
    for (QTreeView *tree : { TreeView1, TreeView2 }) {
        tree->selectionModel()->clearSelection();
        tree->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    }
    TreeViewClick(ContrairTudo1);
    activeTree()->collapseAll();
}

void CatalogBrowser::ToolButton2Click()
{
    TreeView1->collapseAll();
    TreeView2->collapseAll();
    TreeViewClick(ToolButton2);
    if (showScanDialog)
        showScanDialog();
    if (!TreesCurrent)
        LoadTrees();
}
