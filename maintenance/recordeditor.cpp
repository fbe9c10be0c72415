#include "maintenance/recordeditor.h"

#include "browser/catalogbrowser.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "intake/drivelist.h"
#include "intake/picturefilter.h"
#include "intake/picturerelink.h"
#include "intake/storagefordrive.h"
#include "maintenance/recordtables.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QFileInfo>

namespace {
const QString kName = QStringLiteral("Name");
const QString kRecId = QStringLiteral("RecId");

// A picked drive is stored without its trailing delimiter; the root keeps its only one,
// since an empty unit would be stored as null.
QString unitOf(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}
} // namespace

RecordEditor::RecordEditor(
    CatalogBrowser &browser, TDados &store, Prompter &prompter, QObject *parent)
    : QObject(parent),
      m_browser(browser),
      m_store(store),
      m_prompter(prompter),
      m_save(store, prompter),
      m_deletion(store, prompter)
{
    CatalogBrowser::NavigatorHooks hooks;
    hooks.beforeAction = [this](NodeKind page, DBNavigator::Button button) {
        return DBNavigatorBeforeAction(page, button);
    };
    hooks.afterAction
        = [this](NodeKind page, DBNavigator::Button button) { DBNavigatorClick(page, button); };
    m_browser.setNavigatorHooks(std::move(hooks));
    connect(&m_browser, &CatalogBrowser::insertRequested, this,
        guarded(prompter, [this](NodeKind kind) { newRecord(kind); }));
    connect(&m_browser, &CatalogBrowser::editRequested, this,
        guarded(prompter, [this] { Editar1Click(); }));
    connect(&m_browser, &CatalogBrowser::locateFileRequested, this,
        guarded(prompter, [this] { BitBtn2Click(); }));
    connect(&m_browser, &CatalogBrowser::pictureCollectionPicked, this,
        guarded(prompter, [this] { DBLookupComboBox2Click(); }));
}

void RecordEditor::newRecord(NodeKind kind)
{
    // No node stands for the new record: none is shown selected.
    m_browser.clearTreeSelection(TreePane::Tree::Organisation);
    m_browser.clearTreeSelection(TreePane::Tree::Location);
    m_browser.TreeViewClick(CatalogBrowser::Sender::Other);
    m_browser.showRecordPage(kind);
    m_browser.performNavigatorAction(kind, DBNavigator::nbInsert);
}

void RecordEditor::Editar1Click()
{
    const NodeKind kind = m_browser.selection().kind();
    if (kind != NodeKind::None)
        m_browser.performNavigatorAction(kind, DBNavigator::nbEdit);
}

bool RecordEditor::DBNavigatorBeforeAction(NodeKind page, DBNavigator::Button button)
{
    RecordSet &set = recordtables::recordSetOf(m_store, page);
    switch (button) {
    case DBNavigator::nbEdit:
        m_save.editStarted();
        OldName = set.asString(kName);
        if (page == NodeKind::Category)
            OldCollection = set.asInt(QStringLiteral("Collection"));
        if (page == NodeKind::Picture) {
            OldCategory = set.asInt(QStringLiteral("Category"));
            OldLocation = set.asInt(QStringLiteral("Location"));
        }
        return true;
    case DBNavigator::nbPost: {
        if (page == NodeKind::Storage)
            set.setValue(QStringLiteral("Unit"), unitOf(m_browser.unitPath()));
        // Checked under the write lock the save then writes under: another process cannot
        // take the name in between.
        return m_save.check(
            page, [this, page](const QString &column) { m_browser.focusField(page, column); });
    }
    case DBNavigator::nbDelete: return m_deletion.confirm(page);
    case DBNavigator::nbCancel:
    case DBNavigator::nbInsert: break;
    }
    return true;
}

void RecordEditor::DBNavigatorClick(NodeKind page, DBNavigator::Button button)
{
    SelectionState &selection = m_browser.selection();
    switch (button) {
    case DBNavigator::nbInsert: selection.setInsertInProgress(true); break;
    case DBNavigator::nbEdit: selection.setEditInProgress(true); break;
    case DBNavigator::nbPost: afterPost(page); break;
    case DBNavigator::nbCancel:
        // A rollback that fails is told; the cancel still ends the edit.
        try {
            m_save.rollback();
        } catch (const DbError &e) {
            m_prompter.error(e.message());
        }
        m_browser.TreeViewClick(CatalogBrowser::Sender::Navigator);
        selection.setInsertInProgress(false);
        selection.setEditInProgress(false);
        break;
    case DBNavigator::nbDelete:
        m_deletion.finish(page);
        m_browser.LoadTrees();
        m_browser.TreeViewClick(CatalogBrowser::Sender::Navigator);
        if (!m_store.TPictures.isEmpty())
            m_browser.showThumbnail();
        break;
    }
}

void RecordEditor::afterPost(NodeKind page)
{
    SelectionState &selection = m_browser.selection();
    if (!m_save.commit(page)) {
        selection.setInsertInProgress(false);
        selection.setEditInProgress(false);
        return;
    }
    RecordSet &set = recordtables::recordSetOf(m_store, page);
    if (selection.insertInProgress())
        m_browser.LoadTrees();
    if (selection.editInProgress()) {
        const QString name = set.asString(kName);
        const qint64 key = set.asInt(kRecId);
        switch (page) {
        case NodeKind::Collection:
            if (name != OldName)
                m_browser.RenameTreeNode(TreePane::Tree::Organisation, selection.kind(), name, key);
            break;
        case NodeKind::Category:
            if (name != OldName)
                m_browser.RenameTreeNode(TreePane::Tree::Organisation, selection.kind(), name, key);
            if (set.asInt(QStringLiteral("Collection")) != OldCollection)
                m_browser.LoadTrees();
            break;
        case NodeKind::Picture:
            if (set.asInt(QStringLiteral("Category")) != OldCategory || name != OldName
                || set.asInt(QStringLiteral("Location")) != OldLocation)
                m_browser.LoadTrees();
            break;
        case NodeKind::Storage:
            if (name != OldName)
                m_browser.RenameTreeNode(TreePane::Tree::Location, selection.kind(), name, key);
            break;
        case NodeKind::None: break;
        }
    }
    selection.setInsertInProgress(false);
    selection.setEditInProgress(false);
}

void RecordEditor::BitBtn2Click()
{
    RecordSet &pictures = m_store.TPictures;
    if (!pictures.isEditing())
        return;
    const QString current = pictures.asString(QStringLiteral("FullPath"));
    const QString file = m_prompter.pickFile(QStringLiteral("Localizando o arquivo de imagem"),
        PictureFilter::toFileDialogFilter(m_browser.openPictureFilter()),
        QFileInfo(current).isDir() ? current : QString());
    if (file.isEmpty())
        return;
    if (const QString refusal = PictureRelink::refusal(file); !refusal.isEmpty()) {
        m_prompter.error(refusal);
        return;
    }
    const bool navigatorEdit = m_browser.selection().editInProgress();
    PictureRelink::fill(
        m_store, file,
        [&file] { return DriveList::displayName(driveOfPath(QFileInfo(file).absolutePath())); },
        [this, navigatorEdit] {
            if (navigatorEdit)
                m_save.beforeWrite();
        });
    emit LoadPicture();
}

void RecordEditor::DBLookupComboBox2Click()
{
    RecordSet &pictures = m_store.TPictures;
    try {
        m_store.TCollections.locate(kRecId, pictures.value(QStringLiteral("Collection")));
        if (!pictures.isEditing())
            return;
        RecordSet &categories = m_store.TCategories;
        // A collection without categories leaves the picker on no category (key 0), so
        // that saving stops at the category until one is chosen.
        if (categories.isEmpty()) {
            pictures.setNull(QStringLiteral("Category"));
        } else {
            categories.first();
            pictures.setValue(QStringLiteral("Category"), categories.asInt(kRecId));
        }
    } catch (const DbError &e) {
        // Told, and the picker still reads its list again.
        m_prompter.error(e.message());
    }
    m_browser.refreshPictureCategories();
}
