#include "StoredRowChangeCommand.h"

StoredRowChangeCommand::StoredRowChangeCommand(AddressViewController &controller, const QString &tableUID,
                                               const QVariantMap &before, const QVariantMap &after)
    : StoredTableCommand(controller, tableUID), m_rowUID(before.value(QStringLiteral("uid")).toString()),
      m_before(before), m_after(after)
{
}

void StoredRowChangeCommand::redo()
{
    apply(m_after);
}

void StoredRowChangeCommand::undo()
{
    apply(m_before);
}

void StoredRowChangeCommand::apply(const QVariantMap &rawData)
{
    const TableRefPtr shown = table();
    const RowRefPtr row = shown ? shown->rowWithUID(m_rowUID) : nullptr;
    if (!row)
        return;
    row->setRawData(rawData);
    tableChanged();
}
