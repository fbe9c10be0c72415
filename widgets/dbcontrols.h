#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>
#include <functional>

class Prompter;
#include "store/recordset.h"

// Ties one control to one field of a record set: shows the current row's value and, on
// the first change the person makes, puts the record set into edit state and writes the
// value into its edit buffer.
class FieldBinding : public QObject {
    Q_OBJECT
public:
    FieldBinding(
        QWidget *control, std::function<void(const QVariant &)> show, QObject *parent = nullptr);

    void bind(RecordSet *dataSet, const QString &field);
    RecordSet *dataSet() const { return m_set; }
    QString field() const { return m_field; }
    // Shows the current value again.
    void reload();
    // Called by the control when the person changed its value.
    void write(const QVariant &value);
    bool updating() const { return m_updating; }
    // Errors of the record set while writing go here (the window's error display).
    std::function<void(const QString &)> onError;
    // A change made while the record set has no row starts a new one (as "Novo" would)
    // instead of failing: for editors whose fields stay open on an empty table.
    void setInsertWhenEmpty(bool on) { m_insertWhenEmpty = on; }

private:
    QWidget *m_control;
    std::function<void(const QVariant &)> m_show;
    QPointer<RecordSet> m_set;
    QString m_field;
    bool m_updating = false;
    bool m_writing = false;
    bool m_insertWhenEmpty = false;
};

// Text of a stored value as the detail pages show it (dates as dd/MM/yyyy hh:mm:ss).
QString displayText(const QVariant &value);

// A field for a whole number such as a port: a key other than a digit, or a pasted text
// that is not digits, is not taken.
void acceptDigitsOnly(QLineEdit *edit, int maxDigits);

// Both text fields show their whole text on hover when it does not fit (a long path).
class DBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DBEdit(QWidget *parent = nullptr);
    void bind(RecordSet *dataSet, const QString &field) { m_binding.bind(dataSet, field); }
    FieldBinding &binding() { return m_binding; }

protected:
    bool event(QEvent *event) override;

private:
    FieldBinding m_binding;
};

class DBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DBMemo(QWidget *parent = nullptr);
    void bind(RecordSet *dataSet, const QString &field) { m_binding.bind(dataSet, field); }
    FieldBinding &binding() { return m_binding; }

protected:
    bool event(QEvent *event) override;

private:
    FieldBinding m_binding;
};

class DBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit DBCheckBox(const QString &caption, QWidget *parent = nullptr);
    void bind(RecordSet *dataSet, const QString &field) { m_binding.bind(dataSet, field); }
    FieldBinding &binding() { return m_binding; }

private:
    FieldBinding m_binding;
};

// A lookup picker: the field holds a key, the list shows the texts of the keys offered.
class DBLookupComboBox : public QComboBox {
    Q_OBJECT
public:
    struct Item {
        QVariant key;
        QString text;
    };
    explicit DBLookupComboBox(QWidget *parent = nullptr);
    void bind(RecordSet *dataSet, const QString &field) { m_binding.bind(dataSet, field); }
    FieldBinding &binding() { return m_binding; }

    // Gives the keys and texts offered; called whenever the list may have changed.
    void setListProvider(std::function<QList<Item>()> provider);
    void refreshList();
    // The texts may have changed (a name was saved): read again at once when the picker
    // is on show, otherwise before it next shows a value.
    void invalidateList();
    // The Delete key empties the field.
    void setDeleteClears(bool on) { m_deleteClears = on; }
    QVariant currentKey() const;

protected:
    void showPopup() override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showValue(const QVariant &value);
    void fillList();
    int findKey(const QVariant &value) const;

    FieldBinding m_binding;
    std::function<QList<Item>()> m_provider;
    QVariant m_shownKey;
    bool m_deleteClears = false;
    bool m_filling = false;
    bool m_stale = false;
};

// The record navigator: delete, edit, save and cancel buttons over one record set, with
// a hook before each action (which may abort it) and one after it. Insert has no button of
// its own: the "Incluir..." menu performs it. The buttons' object names are the actions'.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { nbDelete, nbEdit, nbPost, nbCancel, nbInsert };
    explicit DBNavigator(QWidget *parent = nullptr);

    void bind(RecordSet *dataSet);
    RecordSet *dataSet() const { return m_set; }
    void setPrompter(Prompter *prompter) { m_prompter = prompter; }

    // Performs a button as a click on it would (hooks included).
    void BtnClick(Button button);
    void updateButtons();

    // Set `abort` to stop the action.
    std::function<void(Button, bool &abort)> BeforeAction;
    std::function<void(Button)> Click;

private:
    QPointer<RecordSet> m_set;
    Prompter *m_prompter = nullptr;
    QToolButton *m_buttons[4];
    QMetaObject::Connection m_stateConnection;
};
