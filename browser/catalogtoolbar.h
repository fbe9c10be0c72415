#pragma once

#include "browser/nodekind.h"

#include <QToolBar>

class QAction;
class QToolButton;

// The main window's tool bar ToolBar1: "Incluir..." with its menu PopupMenu1, "Rastrear
// Imagens", "Procurar no Catálogo" and "Processamento em Lote".
class CatalogToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit CatalogToolBar(QWidget *parent = nullptr);

    // "Incluir..." and "Rastrear Imagens" only while nothing is being edited; "Nova
    // Categoria" once a collection exists, "Nova Imagem" once a category exists.
    void setStates(bool idle, bool haveCollections, bool haveCategories);

signals:
    void insertRequested(NodeKind kind);
    void scanClicked();
    void searchClicked();
    // The search's menu: "Procurar por data e câmera...".
    void narrowedSearchClicked();
    void batchClicked();

private:
    QToolButton *m_include;
    QToolButton *m_scan;
    QAction *m_newCategory = nullptr;
    QAction *m_newPicture = nullptr;
};
