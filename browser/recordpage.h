#pragma once

#include "browser/nodekind.h"
#include "widgets/dbcontrols.h"

#include <QList>
#include <QWidget>
#include <functional>

class Connection;
class Prompter;
struct LookupItem;
class QAbstractItemModel;
class QGridLayout;
class QLabel;
class QTableView;
class RecordSet;
class TDados;

// One detail page: the current row of one record set in data-aware controls, its record
// navigator and, on the collection, category and storage pages, the statistics grid. The
// page enables its own controls by its record set's state; every navigator action goes
// through the hooks its owner sets, before and after the record set acts.
class RecordPage : public QWidget {
    Q_OBJECT
public:
    NodeKind kind() const { return m_kind; }
    RecordSet *recordSet() const { return m_set; }
    // The record set is in the editing or the inserting state.
    bool isEditing() const;

    // Ties the controls to the store's record sets.
    virtual void bind(TDados &store) = 0;
    // Editable controls enabled exactly while editing, the others always disabled; key
    // controls cream while enabled; the name field takes the focus while enabled.
    virtual void updateControlStates();

    // The pickers' lists read again (names may have been saved or deleted).
    void invalidateLookupLists();
    // Performs a navigator action as a click on its button does, hooks included.
    void performAction(DBNavigator::Button button);
    // `before` may refuse the action (nothing happens then); `after` runs once it is done.
    void setNavigatorHooks(std::function<bool(DBNavigator::Button)> before,
        std::function<void(DBNavigator::Button)> after);

    // Focus on the control bound to a column (where validation sends the person); false
    // when no control of the page shows that column.
    bool focusColumn(const QString &column);
    // The statistics grid shows these rows, and only when there are some, its columns sized
    // to its width and the last title right-aligned. Null (a count that failed) empties the
    // grid and leaves it shown or hidden as it was.
    void setStatistics(QAbstractItemModel *rows);
    // The grid goes: its rows were another record's (or are gone with the next count).
    void hideStatistics();

protected:
    RecordPage(NodeKind kind, const char *objectName, Prompter &prompter, QWidget *parent);

    DBNavigator *makeNavigator(const char *name);
    QTableView *makeGrid(const char *name);
    // A caption right-aligned beside its field, kept clear of it.
    QLabel *caption(const QString &text, QWidget *buddy, Qt::Alignment vertical = Qt::AlignVCenter);
    // The grid layout every page lays its fields in: captions in column 0.
    QGridLayout *makeForm();

    // A picker's list read from the open catalogue each time it may have changed.
    static std::function<QList<DBLookupComboBox::Item>()> lookupList(
        TDados &store, std::function<QList<LookupItem>(Connection &)> read);
    void setRecordSet(RecordSet *set);
    void setEditableControls(const QList<QWidget *> &controls) { m_editable = controls; }
    void setReadOnlyControls(const QList<QWidget *> &controls) { m_readOnly = controls; }
    void setKeyControls(const QList<QWidget *> &controls) { m_keys = controls; }
    void setNameField(QWidget *field) { m_nameField = field; }
    // Errors of the controls' writes go to the error box.
    void reportBindingErrors();
    Prompter &prompter() const { return m_prompter; }

private:
    NodeKind m_kind;
    Prompter &m_prompter;
    RecordSet *m_set = nullptr;
    DBNavigator *m_navigator = nullptr;
    QTableView *m_grid = nullptr;
    QList<QWidget *> m_editable;
    QList<QWidget *> m_readOnly;
    QList<QWidget *> m_keys;
    QWidget *m_nameField = nullptr;
    std::function<bool(DBNavigator::Button)> m_before;
    std::function<void(DBNavigator::Button)> m_after;
};
