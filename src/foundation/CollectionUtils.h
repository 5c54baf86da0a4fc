#pragma once

// Comparisons for sorting stored values, and the stable sort every caller
// uses, so rows that compare equal keep the order the user gave them.
//
// All comparisons answer -1 (ascending), 0 or +1 and form one total order
// over values of any type, so a sort never meets an inconsistent answer:
//   missing < numbers (and booleans) < strings < dates < all other values.
// Missing is an invalid value, a null pointer value or a null string. Numbers
// compare by value (NaN after all others); strings unit by unit; dates in
// time; other values group by type and are equal within it.

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <algorithm>

namespace CollectionUtils {

// The plain comparison of two values in the order above.
[[nodiscard]] int compareValues(const QVariant &a, const QVariant &b);

// Natural order of two strings: runs of ASCII digits compare by value,
// whatever their length or leading zeros ("item2" < "item10"), everything
// else case-insensitively ("b" > "A"). Strings this calls equal are then
// ordered unit by unit, so only identical strings give 0.
[[nodiscard]] int compareNatural(const QString &a, const QString &b);

// The two sort functions of tables and lists.
[[nodiscard]] int compareStrings(const QVariant &a, const QVariant &b);
// The values under the key; two strings compare naturally, anything else
// as compareValues does. Missing values come first.
[[nodiscard]] int compareArrayDictionaries(const QVariantMap &a, const QVariantMap &b, const QString &key);

// A copy of the list in the order of `compare` (a function answering
// -1/0/+1 like those above); equal elements keep their order.
template <typename T, typename Compare>
[[nodiscard]] QList<T> sortedStably(QList<T> list, Compare compare)
{
    std::stable_sort(list.begin(), list.end(), [&compare](const T &x, const T &y) { return compare(x, y) < 0; });
    return list;
}

} // namespace CollectionUtils
