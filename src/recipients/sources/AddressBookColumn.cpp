#include "AddressBookColumn.h"

AddressBookColumn::AddressBookColumn(Person::Property property, const QString &label)
    : m_property(property), m_label(label)
{
    const QString id = Person::propertyIdentifier(property);
    m_uid = label.isEmpty() ? QStringLiteral("abc-%1").arg(id) : QStringLiteral("abc-%1-%2").arg(id, label);
}

QString AddressBookColumn::displayName() const
{
    const QString name = Person::localizedPropertyName(m_property);
    return m_label.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, Person::localizedLabel(m_label));
}

QString AddressBookColumn::valueForPerson(const Person &person) const
{
    switch (Person::propertyType(m_property)) {
    case Person::PropertyType::String:
        return person.value(m_property);
    case Person::PropertyType::MultiString: {
        const Person::MultiValue &multi = person.multiValue(m_property);
        const Person::Value *value = m_label.isEmpty() ? multi.primary() : multi.valueForLabel(m_label);
        return value ? value->text : QStringLiteral("");
    }
    case Person::PropertyType::MultiDictionary:
        break;
    }
    return QStringLiteral("");
}
