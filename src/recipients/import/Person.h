#pragma once

// One contact read from a vCard: a person (or an organisation), or a group
// card. It holds only what recipient tables take from contacts, under fixed
// property identifiers in a fixed order; that order decides the order in
// which an import creates fields and the contacts source lists columns.

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>

class Person {
public:
    enum Property {
        Email,
        First,
        Last,
        Middle,
        Prefix,
        Suffix,
        Nickname,
        Organization,
        Department,
        JobTitle,
        Phone,
        Address,
        URLs,
        Note,
        PropertyCount
    };
    enum class PropertyType { String, MultiString, MultiDictionary };
    enum class Kind { Individual, Group };

    // Keys and values in the order they are shown.
    using Dictionary = QList<std::pair<QString, QString>>;
    // One value of a multi-value property: a string, or for addresses a dictionary.
    struct Value {
        QString label;
        QString text;
        Dictionary dictionary;
    };
    struct MultiValue {
        QList<Value> values;
        qsizetype primaryIndex = 0;

        [[nodiscard]] bool isEmpty() const { return values.isEmpty(); }
        // Null when there are no values.
        [[nodiscard]] const Value *primary() const;
        // The first value with the label; null when none has it.
        [[nodiscard]] const Value *valueForLabel(const QString &label) const;
    };

    // The keys of an address dictionary, in their order.
    static inline const QString StreetKey = QStringLiteral("Street");
    static inline const QString CityKey = QStringLiteral("City");
    static inline const QString StateKey = QStringLiteral("State");
    static inline const QString ZipKey = QStringLiteral("ZIP");
    static inline const QString CountryKey = QStringLiteral("Country");
    // The label of a value whose card names none.
    static inline const QString OtherLabel = QStringLiteral("other");
    // The record property that names a group; a key in the translations only.
    static inline const QString GroupNameProperty = QStringLiteral("GroupName");

    // "Email", "First", "Last", ...: stable, they end up in stored column identifiers.
    [[nodiscard]] static QString propertyIdentifier(Property property);
    [[nodiscard]] static PropertyType propertyType(Property property);
    // Names and labels as the user sees them (translation context "AddressBook").
    [[nodiscard]] static QString localizedPropertyName(Property property);
    [[nodiscard]] static QString localizedPropertyName(const QString &identifier);
    // Known labels ("work", "cell") are translated, labels the user typed are kept.
    [[nodiscard]] static QString localizedLabel(const QString &label);

    [[nodiscard]] Kind kind() const { return m_kind; }
    void setKind(Kind kind) { m_kind = kind; }
    [[nodiscard]] bool isGroup() const { return m_kind == Kind::Group; }

    // The card's UID, or empty when it has none.
    [[nodiscard]] const QString &uid() const { return m_uid; }
    void setUid(const QString &uid) { m_uid = uid; }
    // FN: a group's name.
    [[nodiscard]] const QString &formattedName() const { return m_formattedName; }
    void setFormattedName(const QString &name) { m_formattedName = name; }
    // A group card's MEMBER values as written (usually "urn:uuid:" + a UID).
    [[nodiscard]] const QStringList &members() const { return m_members; }
    void addMember(const QString &member) { m_members.append(member); }
    // Distinct and not empty: the reader sees to it.
    [[nodiscard]] const QStringList &categories() const { return m_categories; }
    void addCategory(const QString &category);

    // A string property's value; empty for multi-value properties.
    [[nodiscard]] const QString &value(Property property) const { return m_strings[property]; }
    void setValue(Property property, const QString &value) { m_strings[property] = value; }
    [[nodiscard]] const MultiValue &multiValue(Property property) const { return m_multiValues[property]; }
    [[nodiscard]] MultiValue &multiValue(Property property) { return m_multiValues[property]; }
    [[nodiscard]] bool hasValue(Property property) const;
    // No property, name or group data at all (a UID alone counts as
    // nothing): such a card yields nobody.
    [[nodiscard]] bool isEmpty() const;

private:
    Kind m_kind = Kind::Individual;
    QString m_uid;
    QString m_formattedName;
    QStringList m_members;
    QStringList m_categories;
    std::array<QString, PropertyCount> m_strings;
    std::array<MultiValue, PropertyCount> m_multiValues;
};
