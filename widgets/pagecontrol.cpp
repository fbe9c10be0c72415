#include "widgets/pagecontrol.h"

#include <QStackedWidget>
#include <QHBoxLayout>
#include <QTabBar>
#include <QVBoxLayout>

PageControl::PageControl(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_row = new QWidget(this);
    auto *row = new QHBoxLayout(m_row);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_tabs = new QTabBar(m_row);
    m_tabs->setDocumentMode(true);
    m_tabs->setDrawBase(true);
    m_tabs->setExpanding(false);
    m_stack = new QStackedWidget(this);
    m_stack->setFrameShape(QFrame::StyledPanel);
    m_empty = new QWidget(m_stack);
    m_stack->addWidget(m_empty);
    row->addWidget(m_tabs, 1);
    row->addStretch(0); // keeps the corner at the right when no tab shows
    layout->addWidget(m_row);
    layout->addWidget(m_stack, 1);
    // A tab chosen by the keyboard changes the current tab; one clicked is reported first
    // (with no page active the tab bar still marks a tab as current, and a click on the
    // current tab changes nothing), so each choice opens its page once.
    const auto choose = [this](int tab) {
        if (m_syncing || tab < 0)
            return;
        const int index = m_tabs->tabData(tab).toInt();
        const bool fromOverlay = m_overlay != nullptr;
        const bool changed = index != m_active;
        if (changed)
            setActivePageIndex(index);
        else if (fromOverlay)
            hideOverlay(); // back from the overlay to the page of the tab
        else
            return;
        if (fromOverlay)
            emit overlayClosed();
        if (changed)
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
    m_overlay = nullptr;
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
    m_row->setVisible(m_tabs->count() > 0 || (m_corner && !m_corner->isHidden()));
    m_syncing = false;
}

void PageControl::setCornerWidget(QWidget *corner)
{
    m_corner = corner;
    corner->setParent(m_row);
    m_row->layout()->addWidget(corner);
    syncTabs();
}

void PageControl::addOverlay(QWidget *overlay)
{
    if (m_stack->indexOf(overlay) < 0)
        m_stack->addWidget(overlay);
}

void PageControl::showOverlay(QWidget *overlay)
{
    if (overlay == m_overlay) {
        syncTabs();
        return;
    }
    m_overlay = overlay;
    if (overlay) {
        addOverlay(overlay);
        m_stack->setCurrentWidget(overlay);
    } else {
        m_stack->setCurrentWidget(m_active < 0 ? m_empty : m_pages[m_active]);
    }
    syncTabs();
}
