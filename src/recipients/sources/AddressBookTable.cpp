#include "AddressBookTable.h"

#include "AddressBookDatabase.h"
#include "AddressBookRow.h"
#include "RowComparators.h"

AddressBookTable::AddressBookTable(const std::shared_ptr<const AddressBookDatabase> &database,
                                   std::shared_ptr<const AddressBookSnapshot> snapshot, const QString &uid,
                                   const QString &name, QList<int> people, QList<ColumnRefPtr> columns)
    : m_database(database), m_snapshot(std::move(snapshot)), m_uid(uid), m_name(name), m_people(std::move(people)),
      m_columns(std::move(columns))
{
}

void AddressBookTable::sortByColumn(const ColumnRef &column, bool ascending)
{
    QList<std::shared_ptr<AddressBookRow>> rows;
    rows.reserve(m_people.size());
    for (const int person : std::as_const(m_people))
        rows.append(std::make_shared<AddressBookRow>(m_snapshot, person));
    sortRowsByColumn(rows, column, ascending);
    for (qsizetype i = 0; i < rows.size(); ++i)
        m_people[i] = rows.at(i)->personIndex();
}

RowRefPtr AddressBookTable::rowAtIndex(int index) const
{
    if (index < 0 || index >= m_people.size())
        return nullptr;
    return std::make_shared<AddressBookRow>(m_snapshot, m_people.at(index));
}

ColumnRefPtr AddressBookTable::columnWithId(const QString &uid) const
{
    for (const ColumnRefPtr &column : m_columns) {
        if (column->uid() == uid)
            return column;
    }
    return nullptr;
}

std::shared_ptr<DatabaseRef> AddressBookTable::database() const
{
    return std::const_pointer_cast<AddressBookDatabase>(m_database.lock());
}
