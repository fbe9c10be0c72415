#pragma once

#include "batch/joinkeylist.h"

#include <QDialog>

class Prompter;
class QPushButton;
class TDados;

// A dialog of the batch that runs one operation on the pictures handed to it, as RecordPage
// serves the detail pages. The base holds the store, the prompter and the key list, and runs
// "OK": the dialog's checks, a picture marked, the confirmation, the operation with the
// controls off, then the success box and OK. A dialog says only its controls, its checks and
// its operation. Its handlers run through the error boundary: a failure no handler caught
// (an engine error of the operation) shows its box and leaves the dialog as it stands,
// controls off, for its close box to end with Cancel.
class BatchOperationDialog : public QDialog {
    Q_OBJECT
public:
    // SelectedKeys: the pictures to act on, filled by the batch dialog before each showing.
    void setSelectedKeys(const PictureKeys &keys) { m_selectedKeys = keys; }
    // Whether the last run succeeded; false from each showing until one does.
    bool runSucceeded() const { return m_runSucceeded; }

    // No way out while the operation runs: Escape and the close box wait for its end.
    void done(int result) override;

protected:
    struct Texts {
        QString confirmation; // asked before the run
        QString success; // told after a run that succeeded, before OK
    };

    BatchOperationDialog(const QString &objectName, const QString &caption, const Texts &texts,
        TDados &store, Prompter &prompter, QWidget *parent);

    TDados &store() const { return m_store; }
    Prompter &prompter() const { return m_prompter; }
    const PictureKeys &selectedKeys() const { return m_selectedKeys; }
    bool running() const { return m_running; }

    // The dialog's "OK" runs the operation; its "Cancelar" closes it with Cancel.
    void setOperationButtons(QPushButton *ok, QPushButton *cancel);

    // Its checks, in its order, before the pictures and the confirmation: each failing one
    // has shown its box (and moved the focus); false stops "OK".
    virtual bool checkInput() = 0;
    // Its controls off and its busy sign shown while the operation runs; the controls back
    // after a run that ended.
    virtual void setRunning(bool on) = 0;
    // The operation on selectedKeys(); true when it succeeded.
    virtual bool runOperation() = 0;
    // After a run that did not succeed: the dialog closes with Cancel.
    virtual void runFailed();
    // Each showing (FormActivate) and each closing, whatever the result (FormClose).
    virtual void FormActivate() { }
    virtual void FormClose() { }

    void showEvent(QShowEvent *event) override;

private:
    void okClicked();

    TDados &m_store;
    Prompter &m_prompter;
    Texts m_texts;
    PictureKeys m_selectedKeys;
    bool m_runSucceeded = false;
    bool m_running = false;
    QPushButton *m_hiddenOk; // "Button1": closes the dialog with OK when the code presses it
};
