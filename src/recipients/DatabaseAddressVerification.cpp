// Address clean-up and duplicate removal of the recipient table.

#include "Database.h"

#include "Values.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <vector>

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

namespace {

// Equal for addresses equal under compareEMailAddresses. ASCII, nearly every
// address, is folded without making a new string.
size_t foldedHash(const QString &address, size_t seed)
{
    QVarLengthArray<char16_t, 128> folded(address.size());
    const auto *text = reinterpret_cast<const char16_t *>(address.constData());
    for (qsizetype i = 0; i < address.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x80)
            return qHash(address.toCaseFolded(), seed);
        folded[i] = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    }
    return qHash(QStringView(folded.data(), folded.size()), seed);
}

} // namespace

int Database::disableDoublettes()
{
    // No string is ever held past the last slot.
    if (m_addressFieldNo < 0 || m_addressFieldNo >= MaxColumnCount)
        return 0;
    // The active entries' addresses are grouped by a hash of their folded
    // form, each group in table order; of every address in a group the
    // first entry stays active. That switches off exactly what a stable sort
    // by compareEMailAddresses and a walk over it would, without comparing
    // strings outside a group.
    struct Keyed {
        size_t hash;
        int index;
        bool operator<(const Keyed &other) const { return hash != other.hash ? hash < other.hash : index < other.index; }
    };
    std::vector<Keyed> keyed;
    keyed.reserve(m_entries.size());
    const size_t seed = QHashSeed::globalSeed();
    QList<int> repeated;
    bool seenMissing = false;
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = *m_entries.at(i);
        if (!entryActiveFlag(entry))
            continue;
        if (const QString *address = entry.slotText(m_addressFieldNo)) {
            keyed.push_back({foldedHash(*address, seed), i});
        } else {
            // Entries without an address are all equal.
            if (seenMissing)
                repeated.append(i);
            seenMissing = true;
        }
    }
    std::sort(keyed.begin(), keyed.end());
    QStringList kept;
    for (size_t group = 0; group < keyed.size();) {
        size_t end = group + 1;
        while (end < keyed.size() && keyed[end].hash == keyed[group].hash)
            ++end;
        if (end - group > 1) {
            kept.clear();
            for (size_t k = group; k < end; ++k) {
                const QString folded = m_entries.at(keyed[k].index)->slotText(m_addressFieldNo)->toCaseFolded();
                if (kept.contains(folded))
                    repeated.append(keyed[k].index);
                else
                    kept.append(folded);
            }
        }
        group = end;
    }
    for (int index : repeated)
        m_entries.at(index)->insert(ActiveKey, false);
    if (!repeated.isEmpty())
        postUpdatedNotification();
    return int(repeated.size());
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
