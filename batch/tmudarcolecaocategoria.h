#pragma once

#include "batch/batchoperationdialog.h"

class QComboBox;
class QLabel;

// Dialog "Mudar Coleção / Categoria  ": files the pictures it was given under another
// collection and category. Opens on the default collection and category each time; the
// category list follows the chosen collection. Ends with OK after the change.
class TMudarColecaoCategoria : public BatchOperationDialog {
    Q_OBJECT
public:
    TMudarColecaoCategoria(TDados &store, Prompter &prompter, QWidget *parent = nullptr);

private:
    void FormActivate() override;
    void FormClose() override;
    bool checkInput() override;
    void setRunning(bool on) override;
    bool runOperation() override;
    void DBLookupComboBox1Click();
    void fillCollections();
    void fillCategories();
    qint64 collectionKey() const;
    qint64 categoryKey() const;
    void setControlsEnabled(bool on);

    bool m_linked = false;

    QComboBox *m_collection;
    QComboBox *m_category;
    QLabel *m_wait;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
