#include "SendDateRule.h"

bool SendDateRule::matches(const Database::Entry &entry) const
{
    const QVariant value = entry.value(Database::LastSentKey);
    const bool sent = value.typeId() == QMetaType::QDateTime && value.toDateTime().isValid();
    switch (m_range) {
    case Before:
        return sent && value.toDateTime() < m_date;
    case AfterOrNever:
        return !sent || value.toDateTime() > m_date;
    default:
        return false;
    }
}
