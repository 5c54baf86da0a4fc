#pragma once

// Sorting the recipient table by one column, in the order of
// CollectionUtils::compareArrayDictionaries: entries without a value first,
// texts in natural order (letter case ignored, digit runs by value, ties by
// the exact text), other values as compareValues orders them. The sort is
// stable, so rows that compare equal keep the order the user gave them.
//
// Comparing texts character by character a million rows times twenty
// comparisons each is too slow, so every text is turned once into a key
// whose plain comparison gives the same order.

#include "Database.h"

namespace RecipientSort {

// A text's key: each character case-folded, each run of ASCII digits
// written as a marker, its length without leading zeros and its digits.
[[nodiscard]] QString naturalKey(const QString &text);
// The same into `key`, whose room is used again: no allocation per text
// in a walk over a table.
void writeNaturalKey(QStringView text, QString &key);

// The table's entries in the order of the column; "rowIndex" and unknown
// keys keep the order.
[[nodiscard]] Database::EntryList sortedEntries(const Database &database, const QString &columnID);

} // namespace RecipientSort
