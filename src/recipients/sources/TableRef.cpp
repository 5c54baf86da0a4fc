#include "TableRef.h"

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
