#include "StoredTableCommand.h"

#include "AddressViewController.h"

StoredTableCommand::StoredTableCommand(AddressViewController &controller, const QString &tableUID)
    : m_controller(&controller), m_tableUID(tableUID)
{
}

TableRefPtr StoredTableCommand::table() const
{
    return m_controller ? m_controller->storedTable(m_tableUID) : nullptr;
}

void StoredTableCommand::tableChanged() const
{
    if (m_controller)
        m_controller->tableContentsChanged(m_tableUID);
}

int StoredTableCommand::indexOfRow(const TableRef &table, const QString &rowUID)
{
    const int rows = table.numberOfRows();
    for (int i = 0; i < rows; ++i) {
        const RowRefPtr row = table.rowAtIndex(i);
        if (row && row->uid() == rowUID)
            return i;
    }
    return -1;
}
