#pragma once

// A column of the contacts source: one property of a person ("abc-Email"),
// or one labelled value of a multi-value property ("abc-Email-work").
// Every table of the source shares the same columns.

#include "ColumnRef.h"
#include "Person.h"

class AddressBookColumn : public ColumnRef {
public:
    explicit AddressBookColumn(Person::Property property, const QString &label = {});

    [[nodiscard]] QString uid() const override { return m_uid; }
    // The property's name as the user sees it, with the label in parentheses.
    [[nodiscard]] QString displayName() const override;

    [[nodiscard]] Person::Property property() const { return m_property; }
    // Empty for a plain column.
    [[nodiscard]] const QString &label() const { return m_label; }

    // A labelled column: the first value with the label. A plain column:
    // the primary value, or the string. The empty string when there is none.
    [[nodiscard]] QString valueForPerson(const Person &person) const;

private:
    Person::Property m_property;
    QString m_label;
    QString m_uid;
};
