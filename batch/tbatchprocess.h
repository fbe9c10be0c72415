#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>
#include <functional>

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
    // An operation dialog: takes the keys, then runs modally and returns its result.
    struct Operation {
        QDialog *dialog = nullptr;
        std::function<void(const PictureKeys &)> setSelectedKeys;
    };
    enum class OperationButton { ChangeCollection, Ftp, Email, Copy };

    explicit TBatchProcess(QWidget *parent = nullptr);

    void setStore(TDados *store) { m_store = store; }
    void setPrompter(Prompter *prompter) { m_prompter = prompter; }
    void setOperation(OperationButton button, Operation operation);
    // BatchKeys: the batch as the main window holds it, copied before each showing.
    void setBatchKeys(const PictureKeys &keys) { m_batchKeys = keys; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void runOperation(OperationButton button);
    PictureKeys tickedKeys() const;

    TDados *m_store = nullptr;
    Prompter *m_prompter = nullptr;
    PictureKeys m_batchKeys;
    Operation m_operations[4];

    QListWidget *m_list;
    QPushButton *m_hiddenOk;
};
