#include "browser/recordpage.h"

#include "browser/lookuplists.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "store/recordset.h"
#include "store/tdados.h"

#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QTableView>

namespace {
const QColor kCream(255, 251, 240);
}

RecordPage::RecordPage(NodeKind kind, const char *objectName, Prompter &prompter, QWidget *parent)
    : QWidget(parent), m_kind(kind), m_prompter(prompter)
{
    setObjectName(QString::fromLatin1(objectName));
}

bool RecordPage::isEditing() const
{
    return m_set && m_set->isEditing();
}

DBNavigator *RecordPage::makeNavigator(const char *name)
{
    m_navigator = new DBNavigator(this);
    m_navigator->setObjectName(QString::fromLatin1(name));
    m_navigator->setPrompter(&m_prompter);
    // The hooks are the record editing's handlers: they run through the error boundary, and
    // one that fails before the action stops it.
    m_navigator->BeforeAction = [this](DBNavigator::Button button, bool &abort) {
        bool allowed = false;
        ErrorBoundary::run(m_prompter, [&] { allowed = !m_before || m_before(button); });
        abort = !allowed;
    };
    m_navigator->Click = [this](DBNavigator::Button button) {
        if (m_after)
            ErrorBoundary::run(m_prompter, [&] { m_after(button); });
    };
    return m_navigator;
}

QTableView *RecordPage::makeGrid(const char *name)
{
    m_grid = new QTableView(this);
    m_grid->setObjectName(QString::fromLatin1(name));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setShowGrid(true);
    m_grid->verticalHeader()->hide();
    // One line of text a row, as a data grid shows it.
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->hide();
    return m_grid;
}

QLabel *RecordPage::caption(const QString &text, QWidget *buddy, Qt::Alignment vertical)
{
    auto *label = new QLabel(text, this);
    label->setAlignment(Qt::AlignRight | vertical);
    label->setBuddy(buddy);
    label->setContentsMargins(0, vertical == Qt::AlignTop ? 3 : 0, 4, 0);
    return label;
}

QGridLayout *RecordPage::makeForm()
{
    auto *form = new QGridLayout;
    form->setHorizontalSpacing(6);
    form->setVerticalSpacing(4);
    return form;
}

std::function<QList<DBLookupComboBox::Item>()> RecordPage::lookupList(
    TDados &store, std::function<QList<LookupItem>(Connection &)> read)
{
    return [&store, read = std::move(read)] {
        QList<DBLookupComboBox::Item> items;
        if (!store.connected())
            return items;
        for (const LookupItem &item : read(store.Conexao))
            items.append({ item.key, item.text });
        return items;
    };
}

void RecordPage::setRecordSet(RecordSet *set)
{
    m_set = set;
    if (m_navigator)
        m_navigator->bind(set);
}

void RecordPage::reportBindingErrors()
{
    auto report = [this](const QString &message) { m_prompter.error(message); };
    for (DBEdit *e : findChildren<DBEdit *>())
        e->binding().onError = report;
    for (DBMemo *e : findChildren<DBMemo *>())
        e->binding().onError = report;
    for (DBCheckBox *e : findChildren<DBCheckBox *>())
        e->binding().onError = report;
    for (DBLookupComboBox *e : findChildren<DBLookupComboBox *>())
        e->binding().onError = report;
}

void RecordPage::updateControlStates()
{
    const bool editing = isEditing();
    for (QWidget *w : std::as_const(m_readOnly))
        w->setEnabled(false);
    for (QWidget *w : std::as_const(m_editable))
        w->setEnabled(editing);
    const QPalette normal = QApplication::palette();
    for (QWidget *w : std::as_const(m_keys)) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Base, w->isEnabled() ? kCream : normal.color(QPalette::Window));
        pal.setColor(QPalette::Button, w->isEnabled() ? kCream : normal.color(QPalette::Button));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
    if (m_navigator)
        m_navigator->updateButtons();
    // A record being inserted has nothing to count yet: no grid of another record's counts.
    if (m_grid && m_set && m_set->state() == RecordSet::State::Insert)
        hideStatistics();
    if (m_nameField && m_nameField->isEnabled() && m_nameField->isVisible())
        m_nameField->setFocus();
}

void RecordPage::invalidateLookupLists()
{
    for (DBLookupComboBox *picker : findChildren<DBLookupComboBox *>())
        picker->invalidateList();
}

void RecordPage::performAction(DBNavigator::Button button)
{
    if (m_navigator)
        m_navigator->BtnClick(button);
}

void RecordPage::setNavigatorHooks(
    std::function<bool(DBNavigator::Button)> before, std::function<void(DBNavigator::Button)> after)
{
    m_before = std::move(before);
    m_after = std::move(after);
}

bool RecordPage::focusColumn(const QString &column)
{
    for (QWidget *w : findChildren<QWidget *>()) {
        FieldBinding *binding = nullptr;
        if (auto *e = qobject_cast<DBEdit *>(w))
            binding = &e->binding();
        else if (auto *m = qobject_cast<DBMemo *>(w))
            binding = &m->binding();
        else if (auto *c = qobject_cast<DBLookupComboBox *>(w))
            binding = &c->binding();
        else if (auto *b = qobject_cast<DBCheckBox *>(w))
            binding = &b->binding();
        if (binding && binding->field().compare(column, Qt::CaseInsensitive) == 0) {
            w->setFocus();
            return true;
        }
    }
    return false;
}

void RecordPage::hideStatistics()
{
    if (!m_grid)
        return;
    m_grid->hide();
    m_grid->setModel(nullptr);
}

void RecordPage::setStatistics(QAbstractItemModel *rows)
{
    if (!m_grid)
        return;
    m_grid->setModel(rows);
    if (!rows)
        return;
    m_grid->setVisible(rows->rowCount() > 0);
    const int n = rows->columnCount();
    if (m_grid->isHidden() || n == 0)
        return;
    // Sized to the width the grid has now that it is shown; columns fill it less 17 pixels
    // (room for a scroll bar), the first takes what the even share leaves.
    if (layout())
        layout()->activate();
    const int width = m_grid->width();
    const int each = (width - 17) / n;
    for (int c = 1; c < n; ++c)
        m_grid->setColumnWidth(c, each);
    m_grid->setColumnWidth(0, width - (n - 1) * each - 17);
    rows->setHeaderData(
        n - 1, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
}
