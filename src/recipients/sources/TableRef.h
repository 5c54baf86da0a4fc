#pragma once

// One table of a browsable table source. The reading operations exist on
// every table; the editing ones are optional, and capabilities() says which
// a table offers, so a view can ask at run time what the user may do. An
// operation a table does not offer does nothing and answers null or false.

#include "ColumnRef.h"
#include "RowRef.h"

#include <QFlags>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <span>

class DatabaseRef;

class TableRef {
public:
    enum class Capability {
        NewRow = 0x1,          // newRow()
        NewRowWithData = 0x2,  // newRowWithData()
        RemoveRow = 0x4,       // removeRowAtIndex()
        NewColumn = 0x8,       // newColumn()
        RemoveColumn = 0x10,   // removeColumn()
        RenameColumn = 0x20,   // setNameOfColumn()
        Rename = 0x40,         // setDisplayName()
        Remove = 0x80,         // removeFromDatabase()
        BatchChanges = 0x100,  // beginChanges() / endChanges()
        RestoreColumn = 0x200, // restoreColumn()
    };
    Q_DECLARE_FLAGS(Capabilities, Capability)

    virtual ~TableRef() = default;

    // Reordering what is shown is open to every table, also a read-only one.
    virtual void sortByColumn(const ColumnRef &column, bool ascending) = 0;
    // Null for an index outside the table.
    [[nodiscard]] virtual RowRefPtr rowAtIndex(int index) const = 0;
    [[nodiscard]] virtual int numberOfRows() const = 0;
    [[nodiscard]] virtual ColumnRefPtr columnWithId(const QString &uid) const = 0;
    // In display order.
    [[nodiscard]] virtual QList<ColumnRefPtr> columns() const = 0;
    // Null once the table has left its source.
    [[nodiscard]] virtual std::shared_ptr<DatabaseRef> database() const = 0;
    [[nodiscard]] virtual QString uid() const = 0;
    // The name of the picture shown beside the table.
    [[nodiscard]] virtual QString displayIcon() const = 0;
    [[nodiscard]] virtual QString displayName() const = 0;

    [[nodiscard]] virtual Capabilities capabilities() const { return {}; }
    [[nodiscard]] bool can(Capability capability) const { return capabilities().testFlag(capability); }

    [[nodiscard]] virtual RowRefPtr rowWithUID(const QString &uid) const;

    virtual RowRefPtr newRow() { return nullptr; }
    // Room for that many more rows, before a bulk import makes them.
    virtual void reserveRows(qsizetype) {}
    // A row made from rawData() of an earlier row, inserted at the index
    // when it lies inside the table, else appended.
    virtual RowRefPtr newRowWithData(const QVariantMap &, int) { return nullptr; }
    // Appends a row for each list of texts, text i under column i (texts
    // past the columns are left out); answers how many rows were made. An
    // import of a million rows makes them in one step here, where newRow()
    // and setData() would make a change of every value.
    virtual qsizetype appendRows(const QList<ColumnRefPtr> &columns, std::span<const QStringList> rows);
    virtual bool removeRowAtIndex(int) { return false; }
    virtual ColumnRefPtr newColumn(const QString &) { return nullptr; }
    // The rows keep their values under the removed column's uid.
    virtual bool removeColumn(const ColumnRef &) { return false; }
    // Brings back a removed column of this table under its uid, at the
    // index when it lies inside the columns, else at the end; the rows
    // still hold its values. Null for a uid the table never issued or
    // still shows.
    virtual ColumnRefPtr restoreColumn(const QString &, const QString &, int) { return nullptr; }
    virtual bool setNameOfColumn(const ColumnRef &, const QString &) { return false; }
    virtual bool setDisplayName(const QString &) { return false; }
    // Removes the table and its data from its source for good.
    virtual void removeFromDatabase() {}
    // Between the two, changes stay in memory and are written once at the
    // end; use TableChangeBatch rather than calling them by hand.
    virtual void beginChanges() {}
    virtual void endChanges() {}
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TableRef::Capabilities)

using TableRefPtr = std::shared_ptr<TableRef>;

// Keeps a table's batch open for its own lifetime, so an exception thrown
// half-way through an import still ends the batch (and writes what was
// changed) instead of leaving every other table unavailable.
class TableChangeBatch {
public:
    explicit TableChangeBatch(TableRefPtr table) : m_table(std::move(table))
    {
        if (m_table)
            m_table->beginChanges();
    }
    ~TableChangeBatch()
    {
        if (m_table)
            m_table->endChanges();
    }
    TableChangeBatch(const TableChangeBatch &) = delete;
    TableChangeBatch &operator=(const TableChangeBatch &) = delete;

private:
    TableRefPtr m_table;
};
