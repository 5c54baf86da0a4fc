#pragma once

// The base of the stored tables view's undo steps. A step names its table
// by uid and finds it in the table store each time, so a step whose table
// (or row) has gone since does nothing. Every step ends by having the view
// show the table's rows again.

#include "TableRef.h"

#include <QPointer>
#include <QUndoCommand>

class AddressViewController;

class StoredTableCommand : public QUndoCommand {
public:
    StoredTableCommand(AddressViewController &controller, const QString &tableUID);

protected:
    // Null when the table is no longer in the store.
    [[nodiscard]] TableRefPtr table() const;
    void tableChanged() const;
    // The index of the row with that uid; -1 when it is not in the table.
    [[nodiscard]] static int indexOfRow(const TableRef &table, const QString &rowUID);

private:
    QPointer<AddressViewController> m_controller;
    QString m_tableUID;
};
