#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>

class BatchOperationDialog;
class QListWidget;
class QPushButton;
class Prompter;
class TDados;

// Dialog "Processamento em Lote": lists the batch's pictures, each with a check box, and
// hands the keys of the ticked ones to one of the four operation dialogs. Ends with OK
// (the batch is emptied) through "Esvaziar arquivos do Lote" or an operation that ended
// with OK, with Cancel (the batch stays) otherwise.
class TBatchProcess : public QDialog {
    Q_OBJECT
public:
    enum class OperationButton { ChangeCollection, Ftp, Email, Copy };

    TBatchProcess(TDados &store, Prompter &prompter, QWidget *parent = nullptr);

    // The dialog behind an operation button; the operation dialogs are made after this one.
    void setOperation(OperationButton button, BatchOperationDialog &dialog);
    // BatchKeys: the batch as the main window holds it, copied before each showing.
    void setBatchKeys(const PictureKeys &keys) { m_batchKeys = keys; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void runOperation(OperationButton button);
    PictureKeys tickedKeys() const;

    TDados &m_store;
    Prompter &m_prompter;
    PictureKeys m_batchKeys;
    BatchOperationDialog *m_operations[4] = { nullptr, nullptr, nullptr, nullptr };

    QListWidget *m_list;
    QPushButton *m_hiddenOk;
};
