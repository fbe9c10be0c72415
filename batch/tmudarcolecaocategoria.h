#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class Prompter;
class TDados;

// Dialog "Mudar Coleção / Categoria  ": files the pictures it was given under another
// collection and category. Opens on the default collection and category each time; the
// category list follows the chosen collection. Ends with OK after the change.
class TMudarColecaoCategoria : public QDialog {
    Q_OBJECT
public:
    explicit TMudarColecaoCategoria(QWidget *parent = nullptr);

    void setStore(TDados *store) { m_store = store; }
    void setPrompter(Prompter *prompter) { m_prompter = prompter; }
    // SelectedKeys: the pictures to move, filled by the batch dialog before each showing.
    void setSelectedKeys(const PictureKeys &keys) { m_selectedKeys = keys; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void FormClose();
    void BitBtn1Click();
    void DBLookupComboBox1Click();
    void fillCollections();
    void fillCategories();
    qint64 collectionKey() const;
    qint64 categoryKey() const;
    void setControlsEnabled(bool on);
    void showError(const QString &message);

    TDados *m_store = nullptr;
    Prompter *m_prompter = nullptr;
    PictureKeys m_selectedKeys;
    bool m_linked = false;

    QComboBox *m_collection;
    QComboBox *m_category;
    QLabel *m_wait;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_hiddenOk;
};
