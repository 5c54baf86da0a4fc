#include "AddressBookRow.h"

#include "AddressBookColumn.h"

QString AddressBookRow::uid() const
{
    return QStringLiteral("addressbook-") + m_snapshot->personUid(m_person);
}

QVariant AddressBookRow::dataForColumn(const ColumnRef &column) const
{
    const auto *ours = dynamic_cast<const AddressBookColumn *>(&column);
    return ours ? ours->valueForPerson(person()) : QStringLiteral("");
}
