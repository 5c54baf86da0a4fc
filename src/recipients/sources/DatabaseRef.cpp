#include "DatabaseRef.h"

TableRefPtr DatabaseRef::tableWithUid(const QString &uid) const
{
    for (const TableRefPtr &table : tables()) {
        if (table && table->uid() == uid)
            return table;
    }
    return nullptr;
}
