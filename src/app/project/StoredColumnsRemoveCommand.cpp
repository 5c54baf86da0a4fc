#include "StoredColumnsRemoveCommand.h"

#include <QSet>

#include <algorithm>

StoredColumnsRemoveCommand::StoredColumnsRemoveCommand(AddressViewController &controller, const QString &tableUID,
                                                       const QStringList &columnUIDs)
    : StoredTableCommand(controller, tableUID), m_columnUIDs(columnUIDs)
{
}

void StoredColumnsRemoveCommand::redo()
{
    const TableRefPtr shown = table();
    if (!shown)
        return;
    m_removed.clear();
    const QList<ColumnRefPtr> columns = shown->columns();
    const QSet<QString> wanted(m_columnUIDs.cbegin(), m_columnUIDs.cend());
    for (int i = 0; i < columns.size(); ++i) {
        if (wanted.contains(columns[i]->uid()))
            m_removed.append({i, columns[i]->uid(), columns[i]->displayName()});
    }
    std::reverse(m_removed.begin(), m_removed.end());
    {
        TableChangeBatch batch(shown);
        for (const Removed &removed : std::as_const(m_removed)) {
            if (const ColumnRefPtr column = shown->columnWithId(removed.uid))
                shown->removeColumn(*column);
        }
    }
    tableChanged();
}

void StoredColumnsRemoveCommand::undo()
{
    const TableRefPtr shown = table();
    if (!shown)
        return;
    {
        TableChangeBatch batch(shown);
        for (auto removed = m_removed.crbegin(); removed != m_removed.crend(); ++removed)
            shown->restoreColumn(removed->name, removed->uid, removed->index);
    }
    tableChanged();
}
