#pragma once

// Which recipients the field filter switches, by comparing one field's
// value V with a text T, letter case ignored:
//   0 V contains T, 1 V does not contain T, 2 V equals T, 3 V differs from T,
//   4 V sorts after T, 5 V sorts before T (digit runs by their value, so 10
//   sorts after 9).
// An entry without a value never matches; an empty T is contained in no
// value; any other operation matches nothing.

#include "Database.h"

class FieldContentsRule {
public:
    enum Operation { Contains, DoesNotContain, Equals, Differs, SortsAfter, SortsBefore };

    FieldContentsRule(int operation, const QString &columnID, const QString &text);

    [[nodiscard]] bool matches(const Database::Entry &entry) const;

private:
    int m_operation;
    QString m_columnID;
    int m_slot;
    QString m_text;
    QString m_textKey;
};
