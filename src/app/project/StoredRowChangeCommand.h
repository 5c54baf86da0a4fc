#pragma once

// A cell edit of a stored row: the row's raw data before and after.

#include "StoredTableCommand.h"

#include <QVariantMap>

class StoredRowChangeCommand : public StoredTableCommand {
public:
    StoredRowChangeCommand(AddressViewController &controller, const QString &tableUID, const QVariantMap &before,
                           const QVariantMap &after);

    void redo() override;
    void undo() override;

private:
    void apply(const QVariantMap &rawData);

    QString m_rowUID;
    QVariantMap m_before;
    QVariantMap m_after;
};
