#pragma once

#include "browser/nodekind.h"
#include "maintenance/recorddeletion.h"
#include "maintenance/recordsave.h"
#include "widgets/dbcontrols.h"

#include <QObject>
#include <QString>

class CatalogBrowser;
class Prompter;
class TDados;

// Creating, editing, saving, cancelling and deleting records on the main window's detail
// pages: the record navigators' hooks, "Incluir...", "Editar", "Localizar" and the picture
// page's collection picker. The validation and deletion rules are the logic's; this ties
// them to the browser's pages, trees and editing flags.
class RecordEditor : public QObject {
    Q_OBJECT
public:
    RecordEditor(
        CatalogBrowser &browser, TDados &store, Prompter &prompter, QObject *parent = nullptr);

    // "Nova Coleção", "Nova Categoria", "Nova Imagem", "Novo Local".
    void newRecord(NodeKind kind);
    // "Editar" and a double click on a node.
    void Editar1Click();
    // "Localizar" on the picture page.
    void BitBtn2Click();
    // A collection chosen in the picture page's picker.
    void DBLookupComboBox2Click();

signals:
    // "Localizar" gave the current row another file: its picture is to be shown (the
    // picture preview's LoadPicture).
    void LoadPicture();

private:
    bool DBNavigatorBeforeAction(NodeKind page, DBNavigator::Button button);
    void DBNavigatorClick(NodeKind page, DBNavigator::Button button);
    void afterPost(NodeKind page);

    CatalogBrowser &m_browser;
    TDados &m_store;
    Prompter &m_prompter;
    RecordSave m_save;
    RecordDeletion m_deletion;
    QString OldName;
    qint64 OldCollection = 0;
    qint64 OldCategory = 0;
    qint64 OldLocation = 0;
};
