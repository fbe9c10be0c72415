#pragma once

#include "browser/catalogtree.h"

#include <QWidget>
#include <functional>

class DBCheckBox;
class DBEdit;
class DBLookupComboBox;
class DBMemo;
class DBNavigator;
class PageControl;
class Prompter;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTableView;
class QToolBar;
class QToolButton;
class QTreeView;
class RecordSet;
class TDados;

// The main window's client area: tool bar, the organisation and location trees, the
// detail pages, and the selection handling that keeps them in step with the store.
class CatalogBrowser : public QWidget {
    Q_OBJECT
public:
    CatalogBrowser(Prompter &prompter, QWidget *parent = nullptr);
    ~CatalogBrowser() override;

    void setStore(TDados *store);
    TDados *store() const { return m_store; }

    // Rebuilds both trees and their node lists; keeps the selection while TreesCurrent.
    void LoadTrees();
    // The selection handling for a click in a tree or for another control as sender.
    void TreeViewClick(QObject *sender);
    void UpdateControlStates();
    void PageControl1Change();
    void Expandir1Click();
    void ExpandirTudo1Click();
    void Contrair1Click();
    void ContrairTudo1Click();
    // "Rastrear Imagens": collapse, follow the empty selection, scan, reload when changed.
    void ToolButton2Click();

    // Node codes of each tree by absolute index ("N3=1234").
    const CatalogTree &TreeView1Nodes() const { return m_tree1; }
    const CatalogTree &TreeView2Nodes() const { return m_tree2; }
    CatalogTree &tree1Model() { return m_tree1; }
    CatalogTree &tree2Model() { return m_tree2; }
    // Absolute index of a tree's selected node, or -1.
    int selectedNode(QTreeView *tree) const;
    void selectNode(QTreeView *tree, int absolute, bool expand);

    QString SelectedNodeKind;
    QString SelectedNodeKey;
    bool InsertInProgress = false;
    bool EditInProgress = false;
    bool TreesCurrent = false;

    // Hooks filled by the features that arrive later; each does nothing while unset.
    std::function<void(const QString &)> setStatusText; // status panel 1
    std::function<void(const QString &)> setPictureCount; // status panel 0
    std::function<void()> ShowThumbnail;
    std::function<void(int page)> refreshStatistics;
    std::function<bool()> searchResultsOpen;
    std::function<void()> clearThumbnail;
    std::function<void()> showScanDialog;
    // Filter of the open-picture dialog as built from Formats ("Name (*.ext)|*.EXT|...");
    // PictureFilter::toFileDialogFilter turns it into QFileDialog's syntax when it opens.
    QString OpenPictureDialog1Filter;

    // Tool bar.
    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButton1 = nullptr;
    QToolButton *ToolButton2 = nullptr;
    QToolButton *ToolButton3 = nullptr;
    QToolButton *ToolButton4 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *NovaColecao1 = nullptr;
    QAction *NovaCategoria1 = nullptr;
    QAction *NovaImagem1 = nullptr;
    QAction *NovoLocal1 = nullptr;

    // Trees.
    PageControl *PageControl1 = nullptr;
    QWidget *TabSheet5 = nullptr;
    QWidget *TabSheet6 = nullptr;
    QTreeView *TreeView1 = nullptr;
    QTreeView *TreeView2 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    QAction *Editar1 = nullptr;
    QAction *InserirnoLote1 = nullptr;
    QAction *Excluir1 = nullptr;
    QAction *Expandir1 = nullptr;
    QAction *ExpandirTudo1 = nullptr;
    QAction *Contrair1 = nullptr;
    QAction *ContrairTudo1 = nullptr;

    // Right-hand pages.
    PageControl *PageControl2 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    QWidget *TabSheet4 = nullptr;
    QWidget *TabSheet9 = nullptr;
    QWidget *TabSheet10 = nullptr;
    QWidget *TabSheet11 = nullptr;

    // Collection page.
    DBEdit *DBEdit1 = nullptr;
    DBMemo *DBMemo1 = nullptr;
    DBCheckBox *DBCheckBox1 = nullptr;
    DBNavigator *DBNavigator1 = nullptr;
    QTableView *DBGrid1 = nullptr;
    // Category page.
    DBLookupComboBox *DBLookupComboBox1 = nullptr;
    DBEdit *DBEdit2 = nullptr;
    DBMemo *DBMemo2 = nullptr;
    DBCheckBox *DBCheckBox2 = nullptr;
    DBNavigator *DBNavigator2 = nullptr;
    QTableView *DBGrid2 = nullptr;
    // Picture page.
    DBLookupComboBox *DBLookupComboBox2 = nullptr;
    DBLookupComboBox *DBLookupComboBox3 = nullptr;
    DBEdit *DBEdit3 = nullptr;
    DBEdit *DBEdit4 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    DBEdit *DBEdit5 = nullptr;
    DBCheckBox *DBCheckBox4 = nullptr;
    DBEdit *DBEdit6 = nullptr;
    DBEdit *DBEdit7 = nullptr;
    DBMemo *DBMemo3 = nullptr;
    DBLookupComboBox *DBLookupComboBox4 = nullptr;
    DBLookupComboBox *DBLookupComboBox5 = nullptr;
    DBEdit *DBEdit8 = nullptr;
    DBEdit *DBEdit9 = nullptr;
    DBLookupComboBox *DBLookupComboBox6 = nullptr;
    DBLookupComboBox *DBLookupComboBox7 = nullptr;
    DBMemo *DBMemo4 = nullptr;
    DBMemo *DBMemo5 = nullptr;
    DBNavigator *DBNavigator3 = nullptr;
    PageControl *PageControl3 = nullptr;
    QWidget *TabSheet7 = nullptr;
    QWidget *TabSheet8 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *WebBrowser1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    // Storage page.
    DBEdit *DBEdit10 = nullptr;
    DBMemo *DBMemo6 = nullptr;
    QComboBox *ShellComboBox1 = nullptr;
    DBCheckBox *DBCheckBox3 = nullptr;
    DBNavigator *DBNavigator4 = nullptr;
    QTableView *DBGrid3 = nullptr;
    // Enlargement and search pages.
    QLabel *Image2 = nullptr;
    QLabel *WebBrowser2 = nullptr;
    QTableView *DBGridSearch = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolBar();
    void buildTrees();
    void buildPages();
    QWidget *buildCollectionPage();
    QWidget *buildCategoryPage();
    QWidget *buildPicturePage();
    QWidget *buildStoragePage();
    void bindControls();
    void treeContextMenu(QTreeView *tree, const QPoint &pos);
    QTreeView *activeTree() const;
    void positionStore();
    void setPageControlsEnabled(const QList<QWidget *> &editable, bool editing,
        const QList<QWidget *> &keyControls, QWidget *focus);
    void showError(const QString &message);
    bool isEditing(const RecordSet &set) const;

    Prompter &m_prompter;
    TDados *m_store = nullptr;
    CatalogTree m_tree1;
    CatalogTree m_tree2;
    QSplitter *m_splitter = nullptr;
    bool m_categoriesTied = false;
};
