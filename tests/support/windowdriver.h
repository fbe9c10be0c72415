#pragma once

#include "browser/catalogtree.h"
#include "widgets/pagecontrol.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <functional>

// Finding a window's controls by object name and driving them as a person would.
namespace testsupport {

// The descendant of `root` with that object name; the test run stops when there is none.
template<typename T> T *child(const QObject *root, const QString &name)
{
    T *found = root->findChild<T *>(name);
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

// Clicks the push button of that name, as the mouse does.
inline void click(const QObject *window, const QString &name)
{
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
}

// Replaces an edit's text as typing does: select all, delete, type.
inline void typeInto(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Shows the dialog modally and runs the steps inside its loop, as soon as it is shown; a
// dialog still open after them is cancelled. Returns the dialog's result.
inline int runModal(QDialog &dialog, const std::function<void()> &steps)
{
    QTimer::singleShot(0, &dialog, [&dialog, steps] {
        steps();
        if (dialog.isVisible())
            dialog.reject();
    });
    return dialog.exec();
}

// Steps run inside the next modal showing of the dialog (by the code under test), once it
// is visible.
inline void inNextModal(QDialog &dialog, const std::function<void()> &steps)
{
    QTimer::singleShot(0, &dialog, [&dialog, steps] {
        QTRY_VERIFY(dialog.isVisible());
        steps();
    });
}

// Shows a tree's node (expanding its parents) and clicks it.
inline void clickNode(QTreeView *tree, int absolute)
{
    auto *model = static_cast<CatalogTree *>(tree->model());
    const QModelIndex index = model->modelIndex(absolute);
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        tree->expand(p);
    tree->scrollTo(index);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
}

// Clicks the tab of a page control's page (the page must be visible).
inline void clickTab(PageControl *pages, int page)
{
    QTabBar *tabs = pages->tabBar();
    for (int t = 0; t < tabs->count(); ++t)
        if (tabs->tabData(t).toInt() == page)
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(t).center());
}

// Clicks a record navigator's button ("nbDelete", "nbEdit", "nbPost", "nbCancel").
inline void clickNavigator(const QObject *window, const QString &navigator, const char *button)
{
    QWidget *nav = child<QWidget>(window, navigator);
    QTest::mouseClick(child<QToolButton>(nav, QString::fromLatin1(button)), Qt::LeftButton);
}

// The visible pages of a page control, by index.
inline QList<int> visiblePages(const PageControl *pages)
{
    QList<int> out;
    for (int i = 0; i < pages->count(); ++i)
        if (pages->isPageVisible(i))
            out << i;
    return out;
}

} // namespace testsupport
