#pragma once

// The recipient table as the view sees it, read straight from the Database
// (no copy of the rows, no proxy): the fixed columns "rowIndex", "active"
// and "lastSent", then one column per column slot. The model keeps each
// logical column's identifier and header; the header view keeps their
// order and widths.
//
// When the entry list is replaced (sort, undo, removal), rows the view
// holds on to (selection, current row) follow their entries, not their
// row numbers. Main thread only.

#include "Database.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

class RecipientTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static inline const QString RowIndexColumn = QStringLiteral("rowIndex");
    static constexpr int FixedColumnCount = 3;

    // Called for an edit of a cell: the row, the column's identifier and the
    // new value (a bool for "active"). True when the value was taken.
    using Editor = std::function<bool(int row, const QString &columnID, const QVariant &value)>;
    // Called for a drop: the data and the row to insert at (-1: at the end).
    using Dropper = std::function<bool(const QMimeData *data, int row)>;

    explicit RecipientTableModel(int loadedFieldColumns, QObject *parent = nullptr);

    void setDatabase(Database *database);
    void setEditor(Editor editor) { m_editor = std::move(editor); }
    void setDropper(Dropper dropper) { m_dropper = std::move(dropper); }
    // While locked (a send run), nothing is editable or droppable.
    void setLocked(std::function<bool()> locked) { m_locked = std::move(locked); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // Each identifier names one column at most: two columns of one slot
    // would show one field twice and hide another.
    void appendColumn(const QString &id);
    // Gives the columns these identifiers, item for item. Only a reordering
    // of the identifiers those columns hold is taken; false, and nothing
    // changed, for anything else. A column whose identifier changes loses
    // its header until the next one is set.
    bool setIdentifiers(const QList<int> &columns, const QStringList &ids);
    [[nodiscard]] const QString &identifier(int column) const { return m_ids.at(column); }
    // The column of the identifier; -1 for none.
    [[nodiscard]] int columnOf(const QString &id) const { return m_columnOf.value(id, -1); }
    void setHeader(int column, const QString &header) { m_headers[column] = header; }
    // Logical columns whose headers are shown as selected.
    void setSelectedColumns(const QSet<int> &columns);

    // The date as the "lastSent" column shows it, "-" for never sent.
    [[nodiscard]] static QString lastSentText(const QDateTime &date);

    // Row count and contents taken from the table again, the layout kept.
    void reload();
    // The table's entry list was replaced; `before` is the list the view
    // showed. Rows kept in the view move with their entries, rows whose
    // entries are gone drop out of the selection. With the order kept (the
    // same entries or copies of them, row for row) the rows stay put.
    void entriesReplaced(const Database::EntryList &before, bool orderKept);

private:
    [[nodiscard]] bool isLocked() const { return m_locked && m_locked(); }

    Database *m_database = nullptr;
    QStringList m_ids;
    QHash<QString, int> m_columnOf;
    QStringList m_headers;
    QSet<int> m_selectedColumns;
    int m_rows = 0;
    Editor m_editor;
    Dropper m_dropper;
    std::function<bool()> m_locked;
};
