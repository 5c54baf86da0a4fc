#include "FieldContentsRule.h"

#include "RecipientSort.h"

#include "Values.h"

FieldContentsRule::FieldContentsRule(int operation, const QString &columnID, const QString &text)
    : m_operation(operation), m_columnID(columnID), m_slot(Database::columnIndexFromIdentifier(columnID)),
      m_text(text), m_textKey(RecipientSort::naturalKey(text))
{
}

bool FieldContentsRule::matches(const Database::Entry &entry) const
{
    QString other;
    const QString *value = m_slot >= 0 ? entry.slotText(m_slot) : nullptr;
    if (!value) {
        const QVariant stored = entry.value(m_columnID);
        if (!isStringValue(stored) || stored.toString().isNull())
            return false;
        other = stored.toString();
        value = &other;
    }
    switch (m_operation) {
    case Contains:
        return !m_text.isEmpty() && value->contains(m_text, Qt::CaseInsensitive);
    case DoesNotContain:
        return m_text.isEmpty() || !value->contains(m_text, Qt::CaseInsensitive);
    case Equals:
        return value->compare(m_text, Qt::CaseInsensitive) == 0;
    case Differs:
        return value->compare(m_text, Qt::CaseInsensitive) != 0;
    case SortsAfter:
    case SortsBefore: {
        // One buffer for every entry of a walk over the table.
        thread_local QString key;
        RecipientSort::writeNaturalKey(*value, key);
        const int order = QStringView(key).compare(QStringView(m_textKey));
        return m_operation == SortsAfter ? order > 0 : order < 0;
    }
    default:
        return false;
    }
}
