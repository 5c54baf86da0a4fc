#include "StoredRowAddCommand.h"

StoredRowAddCommand::StoredRowAddCommand(AddressViewController &controller, const QString &tableUID)
    : StoredTableCommand(controller, tableUID)
{
}

void StoredRowAddCommand::redo()
{
    const TableRefPtr shown = table();
    if (!shown)
        return;
    const RowRefPtr row = m_rowData.isEmpty() ? shown->newRow() : shown->newRowWithData(m_rowData, m_rowIndex);
    if (!row) {
        setObsolete(m_rowUID.isEmpty());
        return;
    }
    m_rowUID = row->uid();
    m_rowIndex = indexOfRow(*shown, m_rowUID);
    tableChanged();
}

void StoredRowAddCommand::undo()
{
    const TableRefPtr shown = table();
    const int index = shown ? indexOfRow(*shown, m_rowUID) : -1;
    if (index < 0)
        return;
    m_rowData = shown->rowAtIndex(index)->rawData();
    m_rowIndex = index;
    shown->removeRowAtIndex(index);
    tableChanged();
}
