// Address clean-up and duplicate removal of the recipient table.

#include "Database.h"

#include "Values.h"

#include <QSet>

int Database::checkEMailAddressSyntax()
{
    if (m_addressFieldNo < 0 || m_entries.isEmpty())
        return 0;
    const QString id = columnIdentifier(m_addressFieldNo);
    int changed = 0;
    for (const EntryRef &entry : m_entries) {
        const QVariant value = entry->value(id);
        if (!isStringValue(value)) {
            // Nobody to send to and nothing to clean: off, and no value made up.
            entry->insert(ActiveKey, false);
            ++changed;
            continue;
        }
        QString address = value.toString();
        const qsizetype length = address.size();
        address.remove(u'\n').remove(u'\r').remove(u' ').remove(u',');
        const bool cleaned = address.size() != length;
        const bool unusable = address.count(u'@') != 1;
        if (unusable)
            entry->insert(ActiveKey, false);
        if (cleaned || unusable) {
            entry->insert(id, address);
            ++changed;
        }
    }
    if (changed > 0)
        postUpdatedNotification();
    return changed;
}

int Database::disableDoublettes()
{
    if (m_addressFieldNo < 0)
        return 0;
    const QString id = columnIdentifier(m_addressFieldNo);
    // Walking the entries in table order and keeping the first of each
    // address switches off exactly what a stable sort by
    // compareEMailAddresses and a walk over it would, in linear time.
    QSet<QString> seen;
    seen.reserve(m_entries.size());
    bool seenMissing = false;
    int switchedOff = 0;
    for (const EntryRef &entry : m_entries) {
        if (!entryActiveFlag(*entry))
            continue;
        const QVariant value = entry->value(id);
        bool repeated = false;
        if (isStringValue(value)) {
            const qsizetype before = seen.size();
            seen.insert(value.toString().toCaseFolded());
            repeated = seen.size() == before;
        } else {
            repeated = seenMissing;
            seenMissing = true;
        }
        if (repeated) {
            entry->insert(ActiveKey, false);
            ++switchedOff;
        }
    }
    if (switchedOff > 0)
        postUpdatedNotification();
    return switchedOff;
}

int compareEMailAddresses(const DatabaseEntry &a, const DatabaseEntry &b, const QString &columnID)
{
    const QVariant x = a.value(columnID);
    const QVariant y = b.value(columnID);
    const bool hasX = isStringValue(x);
    const bool hasY = isStringValue(y);
    if (!hasX || !hasY)
        return hasX == hasY ? 0 : (hasX ? 1 : -1);
    const int order = x.toString().toCaseFolded().compare(y.toString().toCaseFolded());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}
