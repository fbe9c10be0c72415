#pragma once

#include "browser/catalogtree.h"
#include "browser/nodekind.h"
#include "browser/previewpicture.h"
#include "browser/selectionstate.h"
#include "browser/treepane.h"
#include "intake/photofactstext.h"
#include "widgets/dbcontrols.h"

#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>

class CatalogToolBar;
class FolderPane;
class ThumbnailGridPage;
class QToolButton;
class CategoryPage;
class CollectionPage;
class DatesTree;
class PageControl;
class PicturePage;
class PictureView;
class Prompter;
class QAbstractItemModel;
class QLabel;
class RecordPage;
class SearchPage;
class StoragePage;
class StorePositioner;
class TDados;

// The main window's client area: the tool bar, the two trees beside the detail pages in a
// splitter, and the selection handling that keeps pages, record sets and enabled controls
// in step with the selected node. Its children are its own: other parts of the program
// talk to it through the operations and signals below.
class CatalogBrowser : public QWidget {
    Q_OBJECT
public:
    // The pages of the detail page control (PageControl2), by index.
    enum class Page {
        None = -1,
        Collection,
        Category,
        Picture,
        Storage,
        ImageEnlargement,
        WebEnlargement,
        Search
    };
    Q_ENUM(Page)
    // What the right side shows: the detail pages (PageControl2), or in their place the
    // "Miniaturas" grid of the selected node or the "Miniaturas da Pesquisa" of the hits,
    // chosen by buttons at the right end of the pages' tab row, there while a grid is offered.
    // The pages themselves, their tabs and their indexes stay as they are.
    enum class View { Record, Thumbnails, SearchThumbnails };
    Q_ENUM(View)
    // What started the selection handling: a tree, a record navigator or another control.
    enum class Sender { OrganisationTree, LocationTree, Navigator, Other, DatesTree, FolderTree };
    Q_ENUM(Sender)

    // What record editing and deletion add to the detail pages' record navigators. Every
    // navigator action (a button, or performNavigatorAction) asks `beforeAction` first,
    // which may refuse it, and runs `afterAction` once the record set acted. Deleting runs
    // only when `beforeAction` allows it: without one, nothing is ever deleted.
    struct NavigatorHooks {
        std::function<bool(NodeKind page, DBNavigator::Button button)> beforeAction;
        std::function<void(NodeKind page, DBNavigator::Button button)> afterAction;
    };

    CatalogBrowser(TDados &store, Prompter &prompter, QWidget *parent = nullptr);
    ~CatalogBrowser() override;

    // SelectedNodeKind, SelectedNodeKey, InsertInProgress, EditInProgress, TreesCurrent.
    SelectionState &selection() { return m_selection; }
    const SelectionState &selection() const { return m_selection; }

    // Rebuilds both trees and their node lists; keeps the selection while TreesCurrent.
    void LoadTrees();
    // The selection handling.
    void TreeViewClick(Sender sender);
    void UpdateControlStates();

    // Node codes of each tree by absolute index ("N3=1234").
    const CatalogTree &TreeView1Nodes() const
    {
        return m_trees->model(TreePane::Tree::Organisation);
    }
    const CatalogTree &TreeView2Nodes() const { return m_trees->model(TreePane::Tree::Location); }
    int selectedNode(TreePane::Tree tree) const { return m_trees->selectedNode(tree); }
    // Selects a node without the selection handling (TreeViewClick follows when wanted).
    void selectNode(TreePane::Tree tree, int absolute, bool expand);
    void clearTreeSelection(TreePane::Tree tree);
    void collapseTree(TreePane::Tree tree);
    TreePane::Tree activeTree() const { return m_trees->activeTree(); }
    void setActiveTree(TreePane::Tree tree);

    View activeView() const;
    void setActiveView(View view);
    bool isViewOffered(View view) const;

    Page activePage() const;
    bool isPageVisible(Page page) const;
    void setPageVisible(Page page, bool visible);
    void setActivePage(Page page);

    // Sets the text of the node "level code=key" of one tree; nothing changes when the tree
    // has no such node.
    void RenameTreeNode(TreePane::Tree tree, NodeKind kind, const QString &name, qint64 key);
    // Shows the detail page of a kind of record (and only that one).
    void showRecordPage(NodeKind kind);
    // The current picture's thumbnail, as a selection shows it; nothing when the picture
    // page does not show its record (hidden, or the record gone).
    void showThumbnail();
    // The picture page's category picker reads its list again (after the collection moved).
    void refreshPictureCategories();

    // Performs a navigator action of a detail page as its button does, hooks included.
    void performNavigatorAction(NodeKind page, DBNavigator::Button button);
    void setNavigatorHooks(NavigatorHooks hooks) { m_hooks = std::move(hooks); }
    // Keyboard focus on the control of a page that shows the column; false if none does.
    bool focusField(NodeKind page, const QString &column);
    // The statistics grid of the collection, category or storage page.
    void setStatistics(NodeKind page, QAbstractItemModel *rows);
    // The search hits; the page "Pesquisa" is offered while there are results (null: none).
    void setSearchResults(QAbstractItemModel *results);
    // The open-picture dialog's filter as built from the formats in use.
    QString openPictureFilter() const { return m_openPictureFilter; }
    void setOpenPictureFilter(const QString &filter) { m_openPictureFilter = filter; }
    // The path the storage page's drive picker shows.
    QString unitPath() const;

    // A picture's thumbnail was made: the grids read it again.
    void thumbnailMade(qint64 key);
    // The storages whose disks are not connected: the grids mark their pictures.
    void setOfflineStorages(const QSet<qint64> &storages);

    // The picture preview's showings, drawn on the picture page's small preview and on the
    // two enlargement pages (TabSheet9 for Image, TabSheet10 for Web).
    QSize thumbnailViewSize() const;
    void clearSmallPreview();
    void showSmallPreview(PreviewTab tab, const PreviewPicture &picture);
    void setEnlargeButton(const QString &caption);
    // The page shown with the picture and made the active one; or hidden and emptied.
    void showEnlargement(PreviewTab page, const PreviewPicture &picture);
    void hideEnlargement(PreviewTab page);
    // The picture page's block of what the photo's file says.
    void showPhotoFacts(const PhotoFactsText::Block &facts);

signals:
    void statusTextChanged(const QString &text); // status panel 1
    void pictureCountChanged(const QString &text); // status panel 0
    // The selected picture's thumbnail should be shown; a new picture row has none.
    void thumbnailRequested();
    void thumbnailCleared();
    // A statistics page shows the record it was positioned on (again).
    void statisticsRequested(NodeKind page);
    void scanRequested(); // "Rastrear Imagens", between collapsing and reloading
    void searchRequested(); // "Procurar no Catálogo"
    void narrowedSearchRequested(); // its menu's "Procurar por data e câmera..."
    void batchRequested(); // "Processamento em Lote"
    void insertRequested(NodeKind kind); // the items of "Incluir..."
    void editRequested(); // "Editar", or a double click on a node
    void addToBatchRequested(); // "Inserir no Lote"
    // "Inserir no Lote" on many pictures: a grid's selection, a node's pictures, the hits.
    void addKeysToBatchRequested(const QVector<qint64> &keys);
    // A grid shows a picture without a thumbnail; thumbnailMade() tells when it has one.
    void thumbnailMissing(qint64 key);
    void searchHitActivated(int row);
    void locateFileRequested(); // "Localizar" on the picture page
    void pictureCollectionPicked();
    // "Ampliar" (or "Visualizar"); `box` is the room of the screen the window is on.
    void enlargeRequested(const QSize &box);
    // The "Local" link of the photo's facts: its map page, to open in the browser.
    void mapRequested(const QUrl &url);

private:
    void buildPages();
    void markOfflineStorages();
    RecordPage *recordPage(NodeKind kind) const;
    QList<RecordPage *> recordPages() const;
    // The record a page stands for is the one its record set shows and it is still in the
    // catalogue (the set is put back on it when it moved).
    // `failed` (when given) is set when the catalogue could not be asked (told already).
    bool pageRecordPresent(NodeKind page, bool *failed = nullptr);
    // Every shown detail page shows its own record; otherwise it shows nothing (false).
    bool checkShownPages();
    // The page shows nothing; when its record is gone the selection goes too and the
    // trees are read again.
    void dropShownPages(bool recordGone);
    void hideRecordPages();
    void catalogueClosing();
    bool navigatorBefore(NodeKind page, DBNavigator::Button button);
    void navigatorAfter(NodeKind page, DBNavigator::Button button);
    static Sender senderOf(TreePane::Tree tree);
    // The "Datas" tree read again; the selected picture selected in it too while the trees
    // are current.
    void loadDatesTree(qint64 selectedPicture);
    void PageControl1Change(TreePane::Tree tree);
    void contextMenuOpening(TreePane::Tree tree);
    void Excluir1Click();
    void ToolButton2Click();
    void pageShown(int index);
    void showError(const QString &message);

    TDados &m_store;
    Prompter &m_prompter;
    std::unique_ptr<StorePositioner> m_positioner;
    SelectionState m_selection;
    NavigatorHooks m_hooks;
    QString m_openPictureFilter;
    bool m_searchOpen = false;
    bool m_inSelectionHandling = false;
    // The record the shown detail page stands for: the selected node's, or the one just
    // saved as new through the page; none when no page shows a record.
    NodeCode m_shown;
    // Inside the hooks of a navigator action the pages are checked once, at its end.
    bool m_inNavigatorAction = false;
    bool m_reloadedInAction = false;
    bool m_postingInsert = false;

    CatalogToolBar *m_toolBar = nullptr;
    TreePane *m_trees = nullptr;
    DatesTree *m_dates = nullptr;
    PageControl *m_pages = nullptr;
    CollectionPage *m_collectionPage = nullptr;
    CategoryPage *m_categoryPage = nullptr;
    PicturePage *m_picturePage = nullptr;
    StoragePage *m_storagePage = nullptr;
    QWidget *m_imageEnlargementPage = nullptr;
    QWidget *m_webEnlargementPage = nullptr;
    PictureView *m_imageEnlargement = nullptr;
    PictureView *m_webEnlargement = nullptr;
    SearchPage *m_searchPage = nullptr;

    // The "Miniaturas" pages and the "Pastas" tree (catalogbrowsergrid.cpp).
    void buildGridPages();
    void followGrid(Sender sender, int node, bool gridWasActive);
    // A tree lost its selection without the selection handling: its node's grid goes.
    void treeSelectionCleared(TreePane::Tree tree);
    // Another tab was made the active one by the program: a folder's grid goes.
    void folderTabLeft();
    void fillGrid();
    void reloadFolders();
    void showGridPicture(Sender source, qint64 key, bool expand = false);
    void FolderTabChange(int index);
    struct GridSource {
        Sender sender = Sender::Other; // a tree; Other: no grid
        NodeCode code; // the node's record (none for a folder)
        QString folder; // the folder's path, for the "Pastas" tree
    };
    GridSource m_gridSource;
    bool m_gridStale = false;
    bool m_preferGrid = false;
    FolderPane *m_folders = nullptr;
    int m_folderTab = -1;
    QWidget *m_viewButtons = nullptr;
    QToolButton *m_gridButton = nullptr;
    QToolButton *m_searchGridButton = nullptr;
    void offerView(View view, bool offered);
    ThumbnailGridPage *m_gridPage = nullptr;
    ThumbnailGridPage *m_searchGridPage = nullptr;
};
