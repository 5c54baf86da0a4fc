#include "Person.h"

#include "Localizer.h"

namespace {

constexpr const char *TranslationContext = "AddressBook";

struct PropertyInfo {
    const char *identifier;
    Person::PropertyType type;
};

// "Email", "First" and "Last" are also in the defaults of the stored
// tables view ("abc-Email"), so they never change.
constexpr std::array<PropertyInfo, Person::PropertyCount> Properties = {{
    {"Email", Person::PropertyType::MultiString},
    {"First", Person::PropertyType::String},
    {"Last", Person::PropertyType::String},
    {"Middle", Person::PropertyType::String},
    {"Prefix", Person::PropertyType::String},
    {"Suffix", Person::PropertyType::String},
    {"Nickname", Person::PropertyType::String},
    {"Organization", Person::PropertyType::String},
    {"Department", Person::PropertyType::String},
    {"JobTitle", Person::PropertyType::String},
    {"Phone", Person::PropertyType::MultiString},
    {"Address", Person::PropertyType::MultiDictionary},
    {"URLs", Person::PropertyType::MultiString},
    {"Note", Person::PropertyType::String},
}};

// Labels that cards spell the same way everywhere; anything else is a label
// the user typed and is shown as written.
constexpr const char *KnownLabels[] = {"home", "work", "other", "cell", "mobile", "fax", "pager", "main", "homepage"};

} // namespace

const Person::Value *Person::MultiValue::primary() const
{
    if (values.isEmpty())
        return nullptr;
    return &values.at(primaryIndex >= 0 && primaryIndex < values.size() ? primaryIndex : 0);
}

const Person::Value *Person::MultiValue::valueForLabel(const QString &label) const
{
    for (const Value &value : values) {
        if (value.label == label)
            return &value;
    }
    return nullptr;
}

QString Person::propertyIdentifier(Property property)
{
    return QString::fromLatin1(Properties.at(property).identifier);
}

Person::PropertyType Person::propertyType(Property property)
{
    return Properties.at(property).type;
}

QString Person::localizedPropertyName(Property property)
{
    return Localizer::localizedString(TranslationContext, Properties.at(property).identifier);
}

QString Person::localizedPropertyName(const QString &identifier)
{
    return Localizer::localizedString(QString::fromLatin1(TranslationContext), identifier);
}

QString Person::localizedLabel(const QString &label)
{
    for (const char *known : KnownLabels) {
        if (label == QLatin1String(known))
            return Localizer::localizedString(TranslationContext, known);
    }
    return label;
}

void Person::addCategory(const QString &category)
{
    m_categories.append(category);
}

bool Person::hasValue(Property property) const
{
    return propertyType(property) == PropertyType::String ? !m_strings[property].isEmpty()
                                                          : !m_multiValues[property].isEmpty();
}

bool Person::isEmpty() const
{
    // A UID alone names nothing a table could show.
    if (!m_formattedName.isEmpty() || !m_members.isEmpty() || !m_categories.isEmpty())
        return false;
    for (int p = 0; p < PropertyCount; ++p) {
        if (hasValue(Property(p)))
            return false;
    }
    return true;
}
