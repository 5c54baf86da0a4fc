#pragma once

// A table of the contacts source: all contacts ("tbl-all") or one group.
// Read-only; sorting reorders only this table's list of people, in memory.

#include "AddressBookSnapshot.h"
#include "TableRef.h"

#include <memory>

class AddressBookDatabase;

class AddressBookTable : public TableRef {
public:
    static inline const QString DisplayIcon = QStringLiteral("ov_icon_table");

    AddressBookTable(const std::shared_ptr<const AddressBookDatabase> &database,
                     std::shared_ptr<const AddressBookSnapshot> snapshot, const QString &uid, const QString &name,
                     QList<int> people, QList<ColumnRefPtr> columns);

    void sortByColumn(const ColumnRef &column, bool ascending) override;
    // A new row object on every call.
    [[nodiscard]] RowRefPtr rowAtIndex(int index) const override;
    [[nodiscard]] int numberOfRows() const override { return int(m_people.size()); }
    [[nodiscard]] ColumnRefPtr columnWithId(const QString &uid) const override;
    [[nodiscard]] QList<ColumnRefPtr> columns() const override { return m_columns; }
    [[nodiscard]] std::shared_ptr<DatabaseRef> database() const override;
    [[nodiscard]] QString uid() const override { return m_uid; }
    [[nodiscard]] QString displayIcon() const override { return DisplayIcon; }
    [[nodiscard]] QString displayName() const override { return m_name; }

private:
    std::weak_ptr<const AddressBookDatabase> m_database;
    std::shared_ptr<const AddressBookSnapshot> m_snapshot;
    QString m_uid;
    QString m_name;
    QList<int> m_people;
    QList<ColumnRefPtr> m_columns;
};
