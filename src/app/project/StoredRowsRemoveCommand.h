#pragma once

// Rows removed from a stored table in one step; undo puts every one back
// at its old index, with its values and its uid.

#include "StoredTableCommand.h"

#include <QList>
#include <QVariantMap>

class StoredRowsRemoveCommand : public StoredTableCommand {
public:
    StoredRowsRemoveCommand(AddressViewController &controller, const QString &tableUID, QList<int> rows);

    void redo() override;
    void undo() override;

private:
    struct Removed {
        int index;
        QVariantMap rowData;
    };
    // Highest index first, the order in which they are removed.
    QList<int> m_indexes;
    QList<Removed> m_removed;
};
