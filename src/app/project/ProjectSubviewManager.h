#pragma once

// Swaps the project window's content: each tag's page is made the first
// time it is asked for and then kept, so a page keeps its state while
// another one is shown. Pages come from the factory given.
//
// Main thread only.

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>

class AddressView;
class QStackedWidget;
class QUndoStack;

class ProjectSubviewManager : public QObject {
    Q_OBJECT
public:
    // The tags of the switch buttons.
    static constexpr int TablesTag = 1;
    static constexpr int MailProjectsTag = 2;

    using Factory = std::function<AddressView *(int tag)>;

    ProjectSubviewManager(QStackedWidget *container, Factory factory, QObject *parent = nullptr);

    // Shows the tag's page, making it first if needed; only the two tags above exist.
    void loadView(int tag);
    void switchView(int tag) { loadView(tag); }

    [[nodiscard]] AddressView *activeViewController() const { return m_active; }
    [[nodiscard]] int activeTag() const { return m_activeTag; }
    // Null while the tag's page has not been made.
    [[nodiscard]] AddressView *page(int tag) const { return m_pages.value(tag); }
    // The shown page's own undo stack, which the window's Undo and Redo act on.
    [[nodiscard]] QUndoStack *windowWillReturnUndoManager() const;

signals:
    void activeViewChanged(AddressView *page);

private:
    QPointer<QStackedWidget> m_container;
    Factory m_factory;
    QHash<int, QPointer<AddressView>> m_pages;
    QPointer<AddressView> m_active;
    int m_activeTag = 0;
};
