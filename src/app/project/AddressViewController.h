#pragma once

// What the stored tables view does, without its widgets: the outline of
// sources and tables, the shown table with its columns in their remembered
// order, the editing commands with their undo stack, the imports into new
// stored tables, the text export and new mail projects from tables. Which
// commands a table allows is asked of the table at run time; the
// contacts' tables allow none. Alerts and questions go to the window given.
//
// Main thread only.

#include "ProjectColumnLayout.h"
#include "TableRef.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <functional>
#include <memory>

class AddressOutlineModel;
class AddressTableModel;
class DatabaseManager;
class Document;
class QUndoStack;
class QWidget;
class UserDefaults;

class AddressViewController : public QObject {
    Q_OBJECT
public:
    AddressViewController(DatabaseManager &registry, UserDefaults &defaults, QObject *parent = nullptr);
    ~AddressViewController() override;

    [[nodiscard]] DatabaseManager &registry() const { return m_registry; }
    [[nodiscard]] AddressOutlineModel *outlineModel() const { return m_outline; }
    [[nodiscard]] AddressTableModel *tableModel() const { return m_rows; }
    [[nodiscard]] QUndoStack *undoManager() const { return m_undo; }
    [[nodiscard]] ProjectColumnLayout &columnLayout() { return m_layout; }

    void setWindow(QWidget *window);
    // The view's columns as shown, left to right, for remembering them.
    using ShownColumns = std::function<QList<ProjectColumnLayout::Shown>()>;
    void setShownColumnsProvider(ShownColumns provider) { m_shownColumns = std::move(provider); }

    // Remembers the columns of the table shown so far, then shows this one
    // (null: none).
    void loadTable(const TableRefPtr &table);
    [[nodiscard]] const TableRefPtr &shownTable() const { return m_table; }
    void rememberColumnPositions();

    // What the shown table lets the user do.
    struct Abilities {
        bool addRow = false;
        bool removeRow = false;
        bool addColumn = false;
        bool removeColumn = false;
        bool renameColumn = false;
    };
    [[nodiscard]] Abilities abilities() const;

    // Rows of the shown table, undoable. Indexes are the shown rows'.
    // The index of the new row, -1 when none was made.
    int addRow();
    bool removeRows(const QList<int> &rows);
    bool setCell(int row, int column, const QVariant &value);
    void sortByColumn(int column, bool ascending);

    // A new stored table with the columns "E-Mail" and "Name".
    TableRefPtr addTable(const QString &name);
    // Asks first, naming the table and its row count; the table and its
    // file go for good.
    bool removeTable(const TableRefPtr &table);

    // Columns of the shown table; indexes are the shown columns'.
    bool addColumn(const QString &name);
    // With no column (-1) tells the user to select one.
    bool canRenameColumn(int column);
    bool renameColumn(int column, const QString &name);
    // Undoable.
    bool removeColumns(const QList<int> &columns);

    // The import sheet's result ("rows", "firstRowAsColumnTitles",
    // "originalFilePath") as a new stored table; values it could not keep
    // are reported.
    TableRefPtr importCSV_now(const QVariantMap &sheetResult);
    // One new table per project file; files that cannot be read are
    // reported by name.
    QList<TableRefPtr> importCorvantilineFiles(const QStringList &paths);
    // Offered by no control: it only notes that it was called.
    static void importVCard();
    // The shown table as tab-separated text; a failed write is an alert.
    bool exportCSV(const QString &path);
    // A new mail project holding the rows of the tables, through the
    // document controller; an ordinary new project without tables.
    Document *createNewMail(const QList<TableRefPtr> &tables);

    // For the undo steps: a table of the store by uid, and the note that it changed.
    [[nodiscard]] TableRefPtr storedTable(const QString &uid) const;
    void tableContentsChanged(const QString &tableUID);

signals:
    // Sources or tables were added, removed or renamed; the table to select, if any.
    void outlineChanged(const TableRefPtr &select);
    // Another table is shown, or the shown one has other columns.
    void tableShown();

private:
    void showColumns();
    void alert(const QString &title, const QString &text) const;

    DatabaseManager &m_registry;
    ProjectColumnLayout m_layout;
    AddressOutlineModel *m_outline;
    AddressTableModel *m_rows;
    QUndoStack *m_undo;
    TableRefPtr m_table;
    QPointer<QWidget> m_window;
    ShownColumns m_shownColumns;
};
