#include "widgets/pagecontrol.h"

#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

PageControl::PageControl(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabs = new QTabBar(this);
    m_tabs->setDocumentMode(true);
    m_tabs->setDrawBase(true);
    m_tabs->setExpanding(false);
    m_stack = new QStackedWidget(this);
    m_stack->setFrameShape(QFrame::StyledPanel);
    m_empty = new QWidget(m_stack);
    m_stack->addWidget(m_empty);
    layout->addWidget(m_tabs);
    layout->addWidget(m_stack, 1);
    // A tab chosen by the keyboard changes the current tab; one clicked is reported first
    // (with no page active the tab bar still marks a tab as current, and a click on the
    // current tab changes nothing), so each choice opens its page once.
    const auto choose = [this](int tab) {
        if (m_syncing || tab < 0)
            return;
        const int index = m_tabs->tabData(tab).toInt();
        if (index == m_active)
            return;
        setActivePageIndex(index);
        emit tabClicked(index);
    };
    connect(m_tabs, &QTabBar::currentChanged, this, choose);
    connect(m_tabs, &QTabBar::tabBarClicked, this, choose);
}

int PageControl::addPage(QWidget *page, const QString &caption)
{
    m_pages.append(page);
    m_captions.append(caption);
    m_visible.append(true);
    m_stack->addWidget(page);
    syncTabs();
    return int(m_pages.size()) - 1;
}

int PageControl::count() const
{
    return int(m_pages.size());
}

QWidget *PageControl::page(int index) const
{
    return index >= 0 && index < m_pages.size() ? m_pages[index] : nullptr;
}

int PageControl::indexOf(QWidget *page) const
{
    return int(m_pages.indexOf(page));
}

QWidget *PageControl::activePage() const
{
    return page(m_active);
}

void PageControl::setPageVisible(int index, bool visible)
{
    if (index < 0 || index >= m_pages.size() || m_visible[index] == visible)
        return;
    m_visible[index] = visible;
    syncTabs();
}

bool PageControl::isPageVisible(int index) const
{
    return index >= 0 && index < m_pages.size() && m_visible[index];
}

void PageControl::setActivePageIndex(int index)
{
    if (index < -1 || index >= m_pages.size())
        index = -1;
    if (index == m_active)
        return;
    m_active = index;
    m_stack->setCurrentWidget(index < 0 ? m_empty : m_pages[index]);
    syncTabs();
    if (index >= 0)
        emit pageShown(index);
}

// The tab bar shows the visible pages only; the active page keeps its tab selected.
void PageControl::syncTabs()
{
    m_syncing = true;
    while (m_tabs->count() > 0)
        m_tabs->removeTab(0);
    int current = -1;
    for (int i = 0; i < m_pages.size(); ++i) {
        if (!m_visible[i])
            continue;
        const int tab = m_tabs->addTab(m_captions[i]);
        m_tabs->setTabData(tab, i);
        if (i == m_active)
            current = tab;
    }
    if (current >= 0)
        m_tabs->setCurrentIndex(current);
    m_tabs->setVisible(m_tabs->count() > 0);
    m_syncing = false;
}
