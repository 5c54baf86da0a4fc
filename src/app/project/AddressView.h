#pragma once

// A page of the project window: the outline of table sources on the left,
// the selected table's rows on the right, and the buttons and menu of the
// commands. The page is the thin widget over its AddressViewController,
// which it owns and which keeps the page's state and undo stack.
//
// "Tables" pages edit stored tables; "mail projects" pages show the same
// tables to start new mail projects from and edit nothing.
//
// Main thread only.

#include "TableRef.h"

#include <QWidget>

#include <memory>

class AddressViewController;
class BetterSplitViewResizer;
class DatabaseManager;
class UserDefaults;

namespace Ui {
class ProjectAddressView;
}

class AddressView : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Tables, MailProjects };

    AddressView(Kind kind, DatabaseManager &registry, UserDefaults &defaults, QWidget *parent = nullptr);
    ~AddressView() override;

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] AddressViewController *controller() const { return m_controller; }
    [[nodiscard]] Ui::ProjectAddressView *ui() const { return m_ui.get(); }
    [[nodiscard]] BetterSplitViewResizer *splitViewResizer() const { return m_resizer; }

    // The tables among the outline's selected items, top to bottom.
    [[nodiscard]] QList<TableRefPtr> selectedTables() const;
    // False when the outline does not list the table.
    bool selectTable(const TableRefPtr &table);
    // Reads the sources and the shown table again: the other page may have
    // changed them while this one was hidden.
    void refresh();

    // The commands of the buttons and the menu.
    void addTable();
    void removeTable();
    void addRow();
    void removeRow();
    void addColumn();
    void editColumnName();
    void removeColumn();
    void importCSV();
    void importCorvantilineFile();
    void exportCSV();
    void createNewMail();

private:
    void loadSelectedTable();
    void tableShown();
    void updateButtons();
    void outlineChanged(const TableRefPtr &select);
    [[nodiscard]] int selectedColumn() const;
    [[nodiscard]] QList<int> selectedColumns() const;
    [[nodiscard]] QList<int> selectedRows() const;
    // Runs a command, with whatever it throws reported on this window.
    void guarded(const std::function<void()> &command);

    Kind m_kind;
    std::unique_ptr<Ui::ProjectAddressView> m_ui;
    AddressViewController *m_controller;
    BetterSplitViewResizer *m_resizer;
};
