#pragma once

// A browsable table source: the table store or the contacts. Sources,
// tables, columns and rows are held by shared_ptr; a table refers back to
// its source weakly.

#include "TableRef.h"

#include <QList>
#include <QString>

#include <memory>

class DatabaseRef {
public:
    virtual ~DatabaseRef() = default;

    // Null when the source holds no table with that uid.
    [[nodiscard]] virtual TableRefPtr tableWithUid(const QString &uid) const;
    [[nodiscard]] virtual QList<TableRefPtr> tables() const = 0;
    [[nodiscard]] virtual QString uid() const = 0;
    // The name of the picture shown beside the source.
    [[nodiscard]] virtual QString displayIcon() const = 0;
    [[nodiscard]] virtual QString displayName() const = 0;

    // Sources that take new tables answer true and make one with newTable();
    // the others answer null.
    [[nodiscard]] virtual bool canCreateTables() const { return false; }
    virtual TableRefPtr newTable() { return nullptr; }
};

using DatabaseRefPtr = std::shared_ptr<DatabaseRef>;
