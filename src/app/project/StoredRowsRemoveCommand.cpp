#include "StoredRowsRemoveCommand.h"

#include <algorithm>

StoredRowsRemoveCommand::StoredRowsRemoveCommand(AddressViewController &controller, const QString &tableUID,
                                                 QList<int> rows)
    : StoredTableCommand(controller, tableUID)
{
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    m_indexes = std::move(rows);
}

void StoredRowsRemoveCommand::redo()
{
    const TableRefPtr shown = table();
    if (!shown)
        return;
    m_removed.clear();
    {
        // One write of the table file for all of them.
        TableChangeBatch batch(shown);
        for (int index : std::as_const(m_indexes)) {
            const RowRefPtr row = shown->rowAtIndex(index);
            if (!row)
                continue;
            const QVariantMap rowData = row->rawData();
            if (shown->removeRowAtIndex(index))
                m_removed.append({index, rowData});
        }
    }
    tableChanged();
}

void StoredRowsRemoveCommand::undo()
{
    const TableRefPtr shown = table();
    if (!shown)
        return;
    {
        TableChangeBatch batch(shown);
        // Lowest index first, so each lands where it was.
        for (auto removed = m_removed.crbegin(); removed != m_removed.crend(); ++removed)
            shown->newRowWithData(removed->rowData, removed->index);
    }
    tableChanged();
}
