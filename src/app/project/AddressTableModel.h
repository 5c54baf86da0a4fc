#pragma once

// The rows of the shown table, read from the table on demand: the model
// copies no rows, so a table of a million rows shows at once. Each column
// keeps its ColumnRef; the columns come in the order they are given.
// Cells of read-only rows cannot be edited; an edit goes to the editor
// (the view's controller), which makes it undoable.
//
// Main thread only.

#include "TableRef.h"

#include <QAbstractTableModel>

#include <functional>

class AddressTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The cell edit: row, column, value; true when it was made.
    using Editor = std::function<bool(int row, int column, const QVariant &value)>;

    explicit AddressTableModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}

    void setEditor(Editor editor) { m_editor = std::move(editor); }
    // The table and its columns in the order to show; null for none.
    void setSourceTable(const TableRefPtr &table, const QList<ColumnRefPtr> &columns);
    [[nodiscard]] const TableRefPtr &sourceTable() const { return m_table; }
    [[nodiscard]] const QList<ColumnRefPtr> &shownColumns() const { return m_columns; }
    [[nodiscard]] ColumnRefPtr column(int index) const { return m_columns.value(index); }
    // The table's rows changed: with as many rows as before, the views keep
    // their selection and the cell being edited.
    void reload();

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    TableRefPtr m_table;
    QList<ColumnRefPtr> m_columns;
    // As last told to the views: a table answers 0 rows while another one
    // is being filled, and a view must not see that change unannounced.
    int m_rowCount = 0;
    Editor m_editor;
};
