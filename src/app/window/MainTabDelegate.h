#pragma once

// Tells a tab's controller that its page is about to come to the front, so
// it can refresh what it shows. Pages without a registered item are skipped.

#include <QHash>
#include <QObject>
#include <QPointer>

class QTabWidget;
class QWidget;

// A tab controller that refreshes when its page is selected.
class TabItem {
public:
    virtual ~TabItem() = default;
    virtual void willBeSelected() = 0;
};

class MainTabDelegate : public QObject {
    Q_OBJECT
public:
    explicit MainTabDelegate(QTabWidget *tabView);

    // The item told when the page is selected; not owned, nullptr removes it.
    void setItemForPage(QWidget *page, TabItem *item);
    // What the tab view reports before the page at the index is shown.
    void tabViewWillSelectTabViewItem(int index);

private:
    QPointer<QTabWidget> m_tabView;
    QHash<const QWidget *, TabItem *> m_items;
};
