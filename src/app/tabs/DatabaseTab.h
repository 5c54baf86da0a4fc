#pragma once

// The recipient tab: the document's recipient table in a table view whose
// first three columns are the fixed "rowIndex", "active" and "lastSent" and
// whose later columns are the table's column slots ("0", "1", ...); the
// "Database" part of the project file (the table's own keys plus the
// columns' widths and identifiers) and the recipients of the oldest text form.
//
// Main thread only.

#include "MainTabDelegate.h"

#include <QVariantMap>
#include <QWidget>

#include <optional>

class Database;
class QTableView;

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
    [[nodiscard]] QTableView *tableView() const { return m_tableView; }

    [[nodiscard]] int dataFieldCount() const;
    [[nodiscard]] QString dataFieldName(int index) const;
    [[nodiscard]] int addressCount() const;
    [[nodiscard]] QString addressForRow(int row) const;
    void setAddressColumnToColumn(int fieldIndex);

    // The identifier of the column the view shows at the position.
    [[nodiscard]] QString columnIdentifierAt(int visualIndex) const;
    [[nodiscard]] int columnCount() const;

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

private:
    class Model;

    // The table's part with the view's column widths and order added.
    [[nodiscard]] QVariantMap withColumnLayout(const QVariantMap &tablePart) const;

    Database *m_database = nullptr;
    QTableView *m_tableView;
    Model *m_model;
};
