#pragma once

// Columns removed from a stored table in one step. The rows keep their
// values under a removed column's uid, so undo, which brings the columns
// back under their uids at their old places, brings the values back too.

#include "StoredTableCommand.h"

#include <QList>
#include <QStringList>

class StoredColumnsRemoveCommand : public StoredTableCommand {
public:
    StoredColumnsRemoveCommand(AddressViewController &controller, const QString &tableUID,
                               const QStringList &columnUIDs);

    void redo() override;
    void undo() override;

private:
    struct Removed {
        int index;
        QString uid;
        QString name;
    };
    QStringList m_columnUIDs;
    // Highest index first.
    QList<Removed> m_removed;
};
