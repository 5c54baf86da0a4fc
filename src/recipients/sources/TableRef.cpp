#include "TableRef.h"

#include <algorithm>

RowRefPtr TableRef::rowWithUID(const QString &uid) const
{
    const int count = numberOfRows();
    for (int i = 0; i < count; ++i) {
        RowRefPtr row = rowAtIndex(i);
        if (row && row->uid() == uid)
            return row;
    }
    return nullptr;
}

qsizetype TableRef::appendRows(const QList<ColumnRefPtr> &columns, std::span<const QStringList> rows)
{
    qsizetype made = 0;
    for (const QStringList &values : rows) {
        const RowRefPtr row = newRow();
        if (!row)
            break;
        const qsizetype count = std::min(values.size(), columns.size());
        for (qsizetype j = 0; j < count; ++j)
            row->setData(values[j], *columns[j]);
        ++made;
    }
    return made;
}
