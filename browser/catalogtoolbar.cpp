#include "browser/catalogtoolbar.h"

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

CatalogToolBar::CatalogToolBar(QWidget *parent) : QToolBar(parent)
{
    setObjectName(QStringLiteral("ToolBar1"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(20, 20));
    setMovable(false);

    auto *include = new QMenu(this);
    include->setObjectName(QStringLiteral("PopupMenu1"));
    const struct {
        const char *name;
        const char *text;
        NodeKind kind;
    } items[] = { { "NovaColecao1", "Nova Coleção", NodeKind::Collection },
        { "NovaCategoria1", "Nova Categoria", NodeKind::Category },
        { "NovaImagem1", "Nova Imagem", NodeKind::Picture },
        { "NovoLocal1", "Novo Local", NodeKind::Storage } };
    for (const auto &item : items) {
        QAction *action = include->addAction(QString::fromUtf8(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        connect(action, &QAction::triggered, this,
            [this, kind = item.kind] { emit insertRequested(kind); });
        if (item.kind == NodeKind::Category)
            m_newCategory = action;
        else if (item.kind == NodeKind::Picture)
            m_newPicture = action;
    }

    auto button = [this](const char *name, const char *text, QStyle::StandardPixmap icon) {
        auto *b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromUtf8(text));
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        addWidget(b);
        return b;
    };
    m_include = button("ToolButton1", "Incluir...", QStyle::SP_FileDialogNewFolder);
    m_include->setMenu(include);
    m_include->setPopupMode(QToolButton::InstantPopup);
    m_scan = button("ToolButton2", "Rastrear Imagens", QStyle::SP_DriveHDIcon);
    QToolButton *search
        = button("ToolButton3", "Procurar no Catálogo", QStyle::SP_FileDialogContentsView);
    QToolButton *batch
        = button("ToolButton4", "Processamento em Lote", QStyle::SP_DialogSaveButton);
    connect(m_scan, &QToolButton::clicked, this, &CatalogToolBar::scanClicked);
    connect(search, &QToolButton::clicked, this, &CatalogToolBar::searchClicked);
    // The search narrowed by date and camera is offered on the button's arrow; a click on
    // the button itself still asks for the text alone.
    auto *searchMenu = new QMenu(this);
    searchMenu->setObjectName(QStringLiteral("PopupMenuProcurar"));
    QAction *narrowed = searchMenu->addAction(QStringLiteral("Procurar por data e câmera..."));
    narrowed->setObjectName(QStringLiteral("ProcurarDataCamera1"));
    connect(narrowed, &QAction::triggered, this, &CatalogToolBar::narrowedSearchClicked);
    search->setMenu(searchMenu);
    search->setPopupMode(QToolButton::MenuButtonPopup);
    connect(batch, &QToolButton::clicked, this, &CatalogToolBar::batchClicked);
}

void CatalogToolBar::setStates(bool idle, bool haveCollections, bool haveCategories)
{
    m_include->setEnabled(idle);
    m_scan->setEnabled(idle);
    m_newCategory->setEnabled(haveCollections);
    m_newPicture->setEnabled(haveCategories);
}
