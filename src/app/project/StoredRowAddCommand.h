#pragma once

// A row added to a stored table. Undo takes it out; redo puts it back with
// the same values and the same uid at the same place.

#include "StoredTableCommand.h"

#include <QVariantMap>

class StoredRowAddCommand : public StoredTableCommand {
public:
    StoredRowAddCommand(AddressViewController &controller, const QString &tableUID);

    // The added row's index; -1 when no row could be added.
    [[nodiscard]] int rowIndex() const { return m_rowIndex; }

    void redo() override;
    void undo() override;

private:
    QString m_rowUID;
    QVariantMap m_rowData;
    int m_rowIndex = -1;
};
