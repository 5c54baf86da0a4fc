#include "MainTabDelegate.h"

#include <QTabWidget>

MainTabDelegate::MainTabDelegate(QTabWidget *tabView)
    : QObject(tabView), m_tabView(tabView)
{
    // currentChanged comes after the switch but before the page is painted,
    // which is soon enough for a refresh.
    connect(tabView, &QTabWidget::currentChanged, this, &MainTabDelegate::tabViewWillSelectTabViewItem);
}

void MainTabDelegate::setItemForPage(QWidget *page, TabItem *item)
{
    if (item)
        m_items.insert(page, item);
    else
        m_items.remove(page);
}

void MainTabDelegate::tabViewWillSelectTabViewItem(int index)
{
    if (!m_tabView || index < 0)
        return;
    if (TabItem *item = m_items.value(m_tabView->widget(index)))
        item->willBeSelected();
}
