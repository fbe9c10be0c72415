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

    // A widget at the right end of the tab row (the browser's grid switches).
    void setCornerWidget(QWidget *corner);
    // The corner widget was shown or hidden: the tab row follows.
    void cornerChanged() { syncTabs(); }
    // A widget that may be shown in place of the pages, without a tab of its own.
    void addOverlay(QWidget *overlay);
    // Shows a widget in place of the active page, which stays the active one with its tab;
    // choosing a tab or activating a page ends it. Null: none.
    void showOverlay(QWidget *overlay);
    void hideOverlay() { showOverlay(nullptr); }
    QWidget *overlay() const { return m_overlay; }

signals:
    // A page became the active one (its "show" handling runs here).
    void pageShown(int index);
    // The person picked a tab.
    void tabClicked(int index);
    // The person chose a tab while the overlay was on show: it gave way to the pages.
    void overlayClosed();

private:
    void syncTabs();

    QTabBar *m_tabs;
    QStackedWidget *m_stack;
    QWidget *m_empty;
    QWidget *m_row;
    QWidget *m_corner = nullptr;
    QWidget *m_overlay = nullptr;
    QList<QWidget *> m_pages;
    QList<QString> m_captions;
    QList<bool> m_visible;
    int m_active = -1;
    bool m_syncing = false;
};
