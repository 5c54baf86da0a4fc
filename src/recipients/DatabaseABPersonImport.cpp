// Database: contacts to entries.
#include "Database.h"

namespace {

// Limits the fields one contacts import makes, for as long as it runs.
class FieldBudget {
public:
    FieldBudget(int &budget, int &leftOut) : m_budget(budget), m_leftOut(leftOut)
    {
        m_budget = Database::MaxNewFieldsPerContactImport;
        m_leftOut = 0;
    }
    ~FieldBudget() { m_budget = -1; }
    Q_DISABLE_COPY_MOVE(FieldBudget)

private:
    int &m_budget;
    int &m_leftOut;
};

QString fieldName(const QString &name, const QString &part)
{
    return QStringLiteral("%1 (%2)").arg(name, part);
}

} // namespace

void Database::setupFieldNamesForABImport()
{
    changeFieldNameTo(Person::localizedPropertyName(Person::Email), columnIdentifier(0));
    changeFieldNameTo(Person::localizedPropertyName(Person::First), columnIdentifier(1));
    changeFieldNameTo(Person::localizedPropertyName(Person::Last), columnIdentifier(2));
    setAddressFieldNo(0);
}

VCardImportSummary Database::addEntries(int index, const QByteArray &vCardData)
{
    const VCardReadResult read = VCard::personsFromVCard(vCardData);
    VCardImportSummary summary;
    summary.skippedCards = read.skippedCards;
    summary.droppedValues = read.droppedValues;
    summary.tooLarge = read.tooLarge;

    EntryList added;
    added.reserve(read.persons.size());
    {
        const FieldBudget budget(m_contactFieldBudget, m_contactValuesLeftOut);
        for (const Person &person : read.persons)
            added.append(std::make_shared<Entry>(entryForPerson(person, nullptr, false)));
        summary.droppedValues += m_contactValuesLeftOut;
    }
    summary.addedEntries = int(added.size());

    // One insertion of the whole block: entry by entry, a large file dropped
    // at the top of a large table would move the table once per card.
    const qsizetype at = index < 0 || index > m_entries.size() ? m_entries.size() : index;
    if (at == m_entries.size()) {
        m_entries.append(added);
    } else {
        EntryList merged;
        merged.reserve(m_entries.size() + added.size());
        merged.append(m_entries.first(at));
        merged.append(added);
        merged.append(m_entries.sliced(at));
        m_entries = std::move(merged);
    }
    return summary;
}

void Database::addEntry(int index, const Person &person, const Person *group, bool collateAddresses)
{
    const FieldBudget budget(m_contactFieldBudget, m_contactValuesLeftOut);
    addEntryWithDict(index, entryForPerson(person, group, collateAddresses));
}

QVariantMap Database::entryForPerson(const Person &person, const Person *group, bool collateAddresses)
{
    QVariantMap entry;
    const Person::MultiValue &emails = person.multiValue(Person::Email);
    QString address = QStringLiteral("");
    if (collateAddresses) {
        QStringList all;
        for (const Person::Value &value : emails.values)
            all.append(value.text);
        address = all.join(QStringLiteral(", "));
    } else if (const Person::Value *primary = emails.primary()) {
        // A group names no address of its own for a member here, so the
        // member's primary one serves in a group too.
        address = primary->text;
    }
    // Left unnamed, slot 0 would be handed to the first labelled field made
    // below ("Email (home)"), whose column would then show the primary
    // address of everyone without a home address.
    const QString addressID = columnIdentifier(0);
    if (fieldNameForColumnID(addressID).isEmpty())
        changeFieldNameTo(Person::localizedPropertyName(Person::Email), addressID);
    entry.insert(addressID, address);

    if (group)
        addPropertyValue(group->formattedName(), Person::localizedPropertyName(Person::GroupNameProperty), entry);

    for (int p = 0; p < Person::PropertyCount; ++p) {
        const auto property = Person::Property(p);
        if (!person.hasValue(property))
            continue;
        const QString name = Person::localizedPropertyName(property);
        switch (Person::propertyType(property)) {
        case Person::PropertyType::String:
            addPropertyValue(person.value(property), name, entry);
            break;
        case Person::PropertyType::MultiString:
            addMultiStringProperty(person.multiValue(property), name, entry);
            break;
        case Person::PropertyType::MultiDictionary:
            addMultiDictionaryProperty(person.multiValue(property), name, entry);
            break;
        }
    }
    return entry;
}

void Database::addPropertyValue(const QString &value, const QString &name, QVariantMap &entry)
{
    QString id = m_fieldNameIDMapping.value(name);
    if (id.isNull() && m_contactFieldBudget != 0) {
        id = addField(name);
        if (m_contactFieldBudget > 0)
            --m_contactFieldBudget;
        // Nothing frees a slot during an import: every later field would
        // search all slots in vain.
        if (id.isNull() && m_contactFieldBudget > 0)
            m_contactFieldBudget = 0;
    }
    if (id.isNull()) {
        ++m_contactValuesLeftOut;
        return;
    }
    entry.insert(id, value);
}

void Database::addMultiStringProperty(const Person::MultiValue &values, const QString &name, QVariantMap &entry)
{
    for (const Person::Value &value : values.values)
        addPropertyValue(value.text, fieldName(name, Person::localizedLabel(value.label)), entry);
}

void Database::addDictionaryProperty(const Person::Dictionary &dictionary, const QString &name, QVariantMap &entry)
{
    for (const auto &[key, value] : dictionary)
        addPropertyValue(value, fieldName(name, Person::localizedPropertyName(key)), entry);
}

void Database::addMultiDictionaryProperty(const Person::MultiValue &values, const QString &name, QVariantMap &entry)
{
    for (const Person::Value &value : values.values)
        addDictionaryProperty(value.dictionary, fieldName(name, Person::localizedLabel(value.label)), entry);
}
