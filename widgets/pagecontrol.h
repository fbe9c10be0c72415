#pragma once

#include <QWidget>

class QStackedWidget;
class QTabBar;

// Tabbed pages whose tabs can be hidden one by one and which may have no active page at
// all (then it shows nothing), as the main window's detail pages need.
class PageControl : public QWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget *parent = nullptr);

    int addPage(QWidget *page, const QString &caption);
    int count() const;
    QWidget *page(int index) const;
    int indexOf(QWidget *page) const;

    void setPageVisible(int index, bool visible);
    bool isPageVisible(int index) const;
    // -1 when no page is active.
    int activePageIndex() const { return m_active; }
    QWidget *activePage() const;
    void setActivePageIndex(int index);
    void setActivePage(QWidget *page) { setActivePageIndex(indexOf(page)); }

    QTabBar *tabBar() const { return m_tabs; }

signals:
    // A page became the active one (its "show" handling runs here).
    void pageShown(int index);
    // The person picked a tab.
    void tabClicked(int index);

private:
    void syncTabs();

    QTabBar *m_tabs;
    QStackedWidget *m_stack;
    QWidget *m_empty;
    QList<QWidget *> m_pages;
    QList<QString> m_captions;
    QList<bool> m_visible;
    int m_active = -1;
    bool m_syncing = false;
};
