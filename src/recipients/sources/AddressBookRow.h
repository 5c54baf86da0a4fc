#pragma once

// A row of the contacts source: one person of a snapshot, read-only. Rows
// are made on demand and keep the snapshot they read from alive.

#include "AddressBookSnapshot.h"
#include "RowRef.h"

#include <memory>

class AddressBookRow : public RowRef {
public:
    AddressBookRow(std::shared_ptr<const AddressBookSnapshot> snapshot, int person)
        : m_snapshot(std::move(snapshot)), m_person(person)
    {
    }

    // "addressbook-" and the person's UID.
    [[nodiscard]] QString uid() const override;
    [[nodiscard]] bool staticData() const override { return true; }
    // The empty string for a column of another source and for a value the person lacks.
    [[nodiscard]] QVariant dataForColumn(const ColumnRef &column) const override;

    [[nodiscard]] const Person &person() const { return m_snapshot->people().at(m_person); }
    [[nodiscard]] int personIndex() const { return m_person; }

private:
    std::shared_ptr<const AddressBookSnapshot> m_snapshot;
    int m_person;
};
