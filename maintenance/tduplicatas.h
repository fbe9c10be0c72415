#pragma once

#include "maintenance/duplicatereport.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QList>

#include <atomic>
#include <memory>

class Prompter;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTreeView;
class TDados;

// Window "Duplicatas": the pictures that live more than once (exact copies, and on request
// similar pictures), a group per row with its pictures' thumbnails, storages and folders,
// those of disks not connected marked. It only shows: the search runs on a worker
// (DuplicateReport), the tree and the batch are the main window's, told in signals.
class TDuplicatas : public QDialog {
    Q_OBJECT
public:
    TDuplicatas(TDados &store, Prompter &prompter, QWidget *parent = nullptr);
    ~TDuplicatas() override;

    // A search is running on its worker.
    bool searching() const { return m_running != nullptr; }
    // Tells how many of the pictures sent went into the batch (the others were in it).
    void batchAdded(int added, int sent);

signals:
    // A picture double-clicked: to be selected in the main window's tree.
    void pictureActivated(qint64 picture);
    // Pictures to go into the batch, each once.
    void addToBatchRequested(const QList<qint64> &pictures);
    // A search ended, its groups shown (tests wait on it).
    void searchFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    class GroupsModel;

    void FormActivate();
    void CheckBox1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void TreeView1DblClick(const QModelIndex &index);
    void searchDone();
    void catalogueClosing();
    void updateButtons();
    void setRunning(bool running);

    TDados &m_store;
    Prompter &m_prompter;
    std::unique_ptr<GroupsModel> m_model;
    QFutureWatcher<DuplicateReport> m_watcher;
    std::shared_ptr<std::atomic_bool> m_running; // the cancel flag of the search running
    bool m_searchedOnce = false;

    QCheckBox *CheckBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QSpinBox *SpinEdit1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QTreeView *TreeView1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QPushButton *BitBtn4 = nullptr;
    QProgressBar *Animate1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
};
