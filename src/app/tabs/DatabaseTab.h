#pragma once

// The recipient tab: the document's recipient table in a table view whose
// first three columns are the fixed "rowIndex", "active" and "lastSent" and
// whose later columns are the table's column slots ("0", "1", ...); the
// tab's menu of commands (RecipientCommands does the work), copy, find and
// drops; the "Database" part of the project file (the table's own keys plus
// the columns' widths and identifiers) and the recipients of the oldest
// text form.
//
// The view's columns can be dragged into any order. Every command that
// names a column goes through columnIdentifierAt (position in the view ->
// logical column -> identifier), so a moved column never sends an edit, a
// rename or a copy to another field.
//
// Main thread only.

#include "MainTabDelegate.h"

#include <QPointer>
#include <QSet>
#include <QVariantMap>
#include <QWidget>

#include <optional>

class Database;
class MyDocument;
class QAction;
class QMenu;
class QMimeData;
class QTableView;
class RecipientCommands;
class RecipientTableModel;

class DatabaseTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    static inline const QString ColumnWidthInfoKey = QStringLiteral("Column Width Info");
    static inline const QString ColumnIdentifiersKey = QStringLiteral("Column Identifiers");
    static inline const QString RowIndexColumn = QStringLiteral("rowIndex");
    static constexpr int FixedColumnCount = 3;
    static constexpr int FieldColumnWidth = 150;
    // Field columns the view starts with, before the table asks for more.
    static constexpr int LoadedFieldColumnCount = 3;

    explicit DatabaseTab(QWidget *parent = nullptr);
    ~DatabaseTab() override;

    // Not owned; the document's table outlives the tab.
    void setDatabase(Database *database);
    [[nodiscard]] Database *database() const { return m_database; }
    // The document gives its undo stack, message, preview and run state.
    void setDocument(MyDocument *document);
    [[nodiscard]] QTableView *tableView() const { return m_tableView; }
    [[nodiscard]] RecipientTableModel *model() const { return m_model; }
    // Null until the tab has a table.
    [[nodiscard]] RecipientCommands *commands() const { return m_commands; }
    // The tab's menu for the window's menu bar, and its items for the Edit menu.
    [[nodiscard]] QMenu *recipientsMenu() const { return m_menu; }
    [[nodiscard]] QList<QAction *> editActions() const { return m_editActions; }

    [[nodiscard]] int dataFieldCount() const;
    [[nodiscard]] QString dataFieldName(int index) const;
    [[nodiscard]] int addressCount() const;
    [[nodiscard]] QString addressForRow(int row) const;
    void setAddressColumnToColumn(int fieldIndex);

    // The identifier of the column the view shows at the position; null
    // where there is none.
    [[nodiscard]] QString columnIdentifierAt(int visualIndex) const;
    // The model's column shown at the position; -1 where there is none.
    [[nodiscard]] int logicalColumnAt(int visualIndex) const;
    [[nodiscard]] int columnCount() const;

    // Selection: rows with a selected cell, ascending; the columns whose
    // headers were clicked (logical), in view order.
    [[nodiscard]] QList<int> selectedRows() const;
    [[nodiscard]] QList<int> selectedColumns() const;
    // The first selected column's identifier; null for none.
    [[nodiscard]] QString selectedColumnIdentifier() const;
    // The slot of the selected column, -1 for none or a fixed column.
    [[nodiscard]] int selectedFieldColumn() const;
    void selectColumn(int logicalColumn, bool addToSelection = false);

    // The default fields of a new document, given to slots 0-2 and the
    // address column 0; a table holding values in those slots is left
    // as it is, so no value comes under another field's name.
    void createAssistantDoc();
    static bool createAssistantDoc(Database &database);

    void willBeSelected() override;
    void databaseUpdatedNotification();
    void fieldNameChangedNotification();
    // Adds columns the table has slots for, names the headers, reloads.
    void refreshData();

    [[nodiscard]] QVariantMap fileData() const;
    // The same with the table's entries made as the archive is written (Database::archiveData).
    [[nodiscard]] QVariantMap archiveData() const;
    // None (a missing or malformed part) leaves the tab and table as they are.
    void readFileData(const std::optional<QVariantMap> &data);
    void readDataString(const QString &string);

    // Whether a send run is active: every command, edit, drop and undo of
    // the table waits until it ends. The document tells.
    [[nodiscard]] bool isRunActive() const;

    // Commands of the menu; the filters take the target state.
    void addRecipient();
    void removeRecipient();
    void duplicateSelection();
    void setAddressColumn();
    void removeField();
    void editFieldNames();
    void addSerialNum();
    void sortBySelectedColumn();
    void previewForSelection();
    void filterByBlacklist(bool state);
    void filterByField(bool state);
    void filterByDate(bool state);
    void filterBySelection(bool state);
    void filterAll(bool state);
    // 1: clean up the addresses; 2: switch off repeated addresses.
    void verifyEMailAddresses(int tag);
    void importCorvantilineFile();
    void importVCard();
    void importAddressBook();
    void importASCII();
    void exportASCII();
    // The selected cells as text: the selected columns of every row, else
    // the selected rows.
    [[nodiscard]] QString copyText() const;
    void copy();
    // 1 shows the find panel, 2 finds the next row, 3 the previous one.
    void performFindPanelAction(int tag);
    void tableHeaderDoubleClicked(int logicalColumn);
    // Takes a drop at the row (-1: at the end).
    bool acceptDrop(const QMimeData *data, int row);

public slots:
    // Enables or disables the commands as a send run starts or ends.
    void runStateChanged();

signals:
    // A change the undo stack does not record.
    void documentEdited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createActions();
    void setUpCommands();
    void showAlert(const QString &titleKey, const QString &textKey, const QString &detail);
    void placeFieldColumn(const QString &columnID, int visualPosition);
    // A column for every slot of the table that has none yet.
    void addMissingColumns();
    // The stored order and widths of the field columns, repaired (ColumnLayout).
    void applyColumnLayout(const QVariant &identifiers, const QVariant &widths);
    [[nodiscard]] int logicalColumnOf(const QString &columnID) const;
    // The table's part with the view's column widths and order added.
    [[nodiscard]] QVariantMap withColumnLayout(const QVariantMap &tablePart) const;
    void sizeFixedColumns();

    Database *m_database = nullptr;
    QPointer<MyDocument> m_document;
    QTableView *m_tableView;
    RecipientTableModel *m_model;
    RecipientCommands *m_commands = nullptr;
    QMenu *m_menu = nullptr;
    QList<QAction *> m_tableActions;
    QList<QAction *> m_editActions;
    QList<int> m_selectedColumns;
    QPointer<QWidget> m_watchedWindow;
};
