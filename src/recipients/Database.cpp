#include "Database.h"

#include "FileIO.h"
#include "KeyedUnarchiver.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "TypedUnarchiver.h"
#include "Values.h"

#include <QSet>

#include <algorithm>
#include <map>

namespace {

bool isMap(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap;
}

// Stored arrays arrive as variant lists; a list of strings is the same array.
bool readList(const QVariant &value, QVariantList *list)
{
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList)
        return false;
    *list = value.toList();
    return true;
}

// Bounded like the archive readers, so a huge file is refused before it is read.
constexpr qint64 MaxImportFileBytes = std::min(KeyedUnarchiver::MaxInputBytes, TypedUnarchiver::MaxInputBytes);

bool fail(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
    return false;
}

// The identifiers of the first slots, made once: every entry's stored form
// and every lookup share these strings instead of making their own.
constexpr int SharedIdentifierCount = 128;

const QList<QString> &sharedIdentifiers()
{
    static const QList<QString> identifiers = [] {
        QList<QString> list;
        list.reserve(SharedIdentifierCount);
        for (int slot = 0; slot < SharedIdentifierCount; ++slot)
            list.append(QString::number(slot));
        return list;
    }();
    return identifiers;
}

// A text built by appending keeps spare room; held for the life of a table
// in every row, that room adds up.
QString compact(QString text)
{
    if (text.capacity() > text.size())
        text.squeeze();
    return text;
}

bool isText(const QVariant &value)
{
    return value.typeId() == QMetaType::QString;
}

} // namespace

DatabaseEntry::DatabaseEntry(const QVariantMap &map)
{
    qsizetype texts = 0;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (isText(it.value()) && slotOfKey(it.key()) >= 0)
            ++texts;
    }
    m_texts.reserve(texts);
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const int slot = isText(it.value()) ? slotOfKey(it.key()) : -1;
        if (slot >= 0)
            m_texts.append({slot, compact(it.value().toString())});
        else
            m_others.insert(it.key(), it.value());
    }
    // The map orders identifiers as text ("10" before "2").
    std::sort(m_texts.begin(), m_texts.end(), [](const Text &a, const Text &b) { return a.slot < b.slot; });
}

int DatabaseEntry::slotOfKey(QStringView key)
{
    // Canonical decimal only: "05", " 5" and "+5" are keys of their own.
    if (key.isEmpty() || key.size() > 9 || (key.size() > 1 && key.front() == u'0'))
        return -1;
    int slot = 0;
    for (const QChar c : key) {
        if (c < u'0' || c > u'9')
            return -1;
        slot = slot * 10 + (c.unicode() - u'0');
    }
    return slot < Database::MaxColumnCount ? slot : -1;
}

QList<DatabaseEntry::Text>::const_iterator DatabaseEntry::findText(int slot) const
{
    const auto it = std::lower_bound(m_texts.cbegin(), m_texts.cend(), slot,
                                     [](const Text &text, int wanted) { return text.slot < wanted; });
    return it != m_texts.cend() && it->slot == slot ? it : m_texts.cend();
}

bool DatabaseEntry::contains(const QString &key) const
{
    const int slot = slotOfKey(key);
    return (slot >= 0 && findText(slot) != m_texts.cend()) || m_others.contains(key);
}

QVariant DatabaseEntry::value(const QString &key) const
{
    const int slot = slotOfKey(key);
    if (slot >= 0) {
        const auto it = findText(slot);
        if (it != m_texts.cend())
            return it->text;
    }
    return m_others.value(key);
}

void DatabaseEntry::insert(const QString &key, const QVariant &value)
{
    const int slot = slotOfKey(key);
    if (slot < 0 || !isText(value)) {
        if (slot >= 0)
            removeText(slot);
        m_others.insert(key, value);
        return;
    }
    // Removing from a shared map copies it even when the key is missing.
    if (m_others.contains(key))
        m_others.remove(key);
    const auto it = std::lower_bound(m_texts.cbegin(), m_texts.cend(), slot,
                                     [](const Text &text, int wanted) { return text.slot < wanted; });
    const qsizetype index = it - m_texts.cbegin();
    if (it != m_texts.cend() && it->slot == slot)
        m_texts[index].text = compact(value.toString());
    else
        m_texts.insert(index, {slot, compact(value.toString())});
}

void DatabaseEntry::removeText(int slot)
{
    const auto it = findText(slot);
    if (it != m_texts.cend())
        m_texts.removeAt(it - m_texts.cbegin());
}

const QString *DatabaseEntry::slotText(int slot) const
{
    const auto it = findText(slot);
    return it != m_texts.cend() ? &it->text : nullptr;
}

bool DatabaseEntry::anyTextContains(const QString &text, Qt::CaseSensitivity cs) const
{
    for (const Text &value : m_texts) {
        if (value.text.contains(text, cs))
            return true;
    }
    for (auto it = m_others.constBegin(); it != m_others.constEnd(); ++it) {
        if (isStringValue(it.value()) && it.value().toString().contains(text, cs))
            return true;
    }
    return false;
}

void DatabaseEntry::markUsedSlots(QList<bool> &used) const
{
    for (const Text &value : m_texts) {
        if (value.slot < used.size())
            used[value.slot] = true;
    }
    for (auto it = m_others.constBegin(); it != m_others.constEnd(); ++it) {
        const int slot = slotOfKey(it.key());
        if (slot >= 0 && slot < used.size())
            used[slot] = true;
    }
}

void DatabaseEntry::remove(const QString &key)
{
    const int slot = slotOfKey(key);
    if (slot >= 0)
        removeText(slot);
    if (m_others.contains(key))
        m_others.remove(key);
}

QVariant DatabaseEntry::take(const QString &key)
{
    const int slot = slotOfKey(key);
    if (slot >= 0) {
        const auto it = findText(slot);
        if (it != m_texts.cend()) {
            // A key is either a text or another value, never both.
            const qsizetype index = it - m_texts.cbegin();
            QVariant value(std::move(m_texts[index].text));
            m_texts.removeAt(index);
            return value;
        }
    }
    return m_others.contains(key) ? m_others.take(key) : QVariant();
}

QVariantMap DatabaseEntry::toMap() const
{
    // A send run does this for every message; slots below ten come in the
    // map's order, so most insertions need no search.
    std::map<QString, QVariant> map;
    for (const Text &text : m_texts)
        map.emplace_hint(map.end(), Database::columnIdentifier(text.slot), text.text);
    for (auto it = m_others.constBegin(); it != m_others.constEnd(); ++it)
        map.emplace(it.key(), it.value());
    return QVariantMap(std::move(map));
}

Database::Database() = default;

QString Database::columnIdentifier(int slot)
{
    const QList<QString> &shared = sharedIdentifiers();
    if (slot >= 0 && slot < shared.size())
        return shared.at(slot);
    return QString::asprintf("%i", slot);
}

int Database::columnIndexFromIdentifier(const QString &identifier)
{
    const int value = intValue(identifier);
    if (value == 0 && identifier != QLatin1String("0"))
        return -1;
    return value < 0 ? -1 : value;
}

int Database::slotOfIdentifier(const QString &identifier)
{
    const int slot = columnIndexFromIdentifier(identifier);
    if (slot < 0 || slot >= MaxColumnCount || identifier != columnIdentifier(slot))
        return -1;
    return slot;
}

void Database::postUpdatedNotification()
{
    NotificationCenter::defaultCenter().postNotification(NotificationNames::DatabaseUpdated, this);
}

QString Database::entryValue(int index, const QString &columnID) const
{
    if (!isValidIndex(index))
        return {};
    const QVariant value = m_entries.at(index)->value(columnID);
    return isStringValue(value) ? value.toString() : QString();
}

void Database::setLastSentDate(int index, const QDateTime &date)
{
    if (!isValidIndex(index))
        return;
    m_entries.at(index)->insert(LastSentKey, date.isValid() ? date : QDateTime::currentDateTime());
}

QDateTime Database::lastSentDate(int index) const
{
    if (!isValidIndex(index))
        return {};
    const QVariant value = m_entries.at(index)->value(LastSentKey);
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime() : QDateTime();
}

void Database::setEntryState(int index, bool active)
{
    if (isValidIndex(index))
        m_entries.at(index)->insert(ActiveKey, active);
}

bool Database::entryActiveFlag(const QVariantMap &entry)
{
    const auto it = entry.constFind(ActiveKey);
    return it == entry.constEnd() || boolValue(it.value());
}

bool Database::entryActiveFlag(const Entry &entry)
{
    return !entry.contains(ActiveKey) || boolValue(entry.value(ActiveKey));
}

bool Database::isEntryActive(int index) const
{
    return isValidIndex(index) && entryActiveFlag(*m_entries.at(index));
}

QString Database::addressForEntry(int index) const
{
    if (m_addressFieldNo < 0)
        return {};
    return entryValue(index, columnIdentifier(m_addressFieldNo));
}

void Database::removeColumn(const QString &columnID, RemovedValues *removed)
{
    // "active", "lastSent" and other keys are no columns; removing them
    // would wipe every recipient's state.
    if (slotOfIdentifier(columnID) < 0)
        return;
    // In place: entries keep their identity, so a last-sent stamp of a run
    // that still holds them, and the lists of undo steps, reach the same
    // recipients. Whoever would bring the values back keeps them itself.
    if (removed) {
        removed->entries.reserve(m_entries.size());
        removed->values.reserve(m_entries.size());
    }
    for (const EntryRef &entry : std::as_const(m_entries)) {
        QVariant value = entry->take(columnID);
        if (removed && value.isValid()) {
            removed->entries.append(entry);
            removed->values.append(std::move(value));
        }
    }
    // Left alone, the next added field would silently become the address column.
    if (columnIdentifier(m_addressFieldNo) == columnID)
        m_addressFieldNo = -1;
    changeFieldNameTo(QStringLiteral(""), columnID);
    postUpdatedNotification();
}

void Database::cloneEntry(int index)
{
    if (!isValidIndex(index))
        return;
    auto copy = std::make_shared<Entry>(*m_entries.at(index));
    copy->remove(LastSentKey);
    m_entries.append(std::move(copy));
}

void Database::removeEntry(int index)
{
    if (isValidIndex(index))
        m_entries.removeAt(index);
}

void Database::insertEntry(int index, EntryRef entry)
{
    if (index < 0 || index > m_entries.size())
        m_entries.append(std::move(entry));
    else
        m_entries.insert(index, std::move(entry));
}

void Database::addEntryWithDict(int index, const QVariantMap &entry)
{
    insertEntry(index, std::make_shared<Entry>(entry));
}

void Database::addEntryWithData(int index, const QStringList &data)
{
    // Values past the last possible slot could never be shown or sent.
    const int count = int(std::min<qsizetype>(data.size(), MaxColumnCount));
    QVariantMap entry;
    for (int k = 0; k < count; ++k)
        entry.insert(columnIdentifier(k), data.at(k));
    insertEntry(index, std::make_shared<Entry>(entry));
}

void Database::addEmptyEntry(int index)
{
    insertEntry(index, std::make_shared<Entry>());
}

int Database::entryCount() const
{
    return int(m_entries.size());
}

void Database::appendEntryArray(const QVariantList &entries, const ColumnMap &mapping)
{
    // Only slot identifiers on both sides, in slot order so that of two old
    // slots mapped to one new slot the higher one wins. The old slots are
    // those of the mapping, not of this table: an old table may have had
    // more slots than this one.
    QList<std::pair<int, QString>> slotPairs;
    for (auto it = mapping.constBegin(); it != mapping.constEnd(); ++it) {
        const int oldSlot = slotOfIdentifier(it.key());
        if (oldSlot >= 0 && slotOfIdentifier(it.value()) >= 0)
            slotPairs.append({oldSlot, it.value()});
    }
    std::sort(slotPairs.begin(), slotPairs.end());

    for (const QVariant &item : entries) {
        if (!isMap(item))
            continue;
        const QVariantMap given = item.toMap();
        QVariantMap entry;
        for (const auto &[oldSlot, newID] : slotPairs) {
            const QVariant value = given.value(columnIdentifier(oldSlot));
            if (isStringValue(value))
                entry.insert(newID, value);
        }
        addEntryWithDict(-1, entry);
    }
}

void Database::setEntryArray(const QList<QVariantMap> &entries)
{
    EntryList copies;
    copies.reserve(entries.size());
    for (const QVariantMap &entry : entries)
        copies.append(std::make_shared<Entry>(entry));
    m_entries = std::move(copies);
}

void Database::setEntryArray(const EntryList &entries)
{
    // Shared with the caller's list (an undo step's) until either changes.
    if (std::none_of(entries.cbegin(), entries.cend(), [](const EntryRef &entry) { return !entry; })) {
        m_entries = entries;
        return;
    }
    m_entries.clear();
    m_entries.reserve(entries.size());
    for (const EntryRef &entry : entries) {
        if (entry)
            m_entries.append(entry);
    }
}

Database::ColumnMap Database::createRequiredFieldNames(const QVariantMap &oldNames)
{
    // In slot order (the map's order is the identifiers' text order, "10"
    // before "2"), so the new fields stand in the order the old ones did.
    QList<std::pair<int, QString>> oldSlots;
    for (auto it = oldNames.constBegin(); it != oldNames.constEnd(); ++it) {
        // Values under anything but a slot are never carried over, so such
        // a name would only use up a slot.
        const int oldSlot = slotOfIdentifier(it.key());
        if (oldSlot >= 0 && isStringValue(it.value()))
            oldSlots.append({oldSlot, it.key()});
    }
    std::sort(oldSlots.begin(), oldSlots.end());

    QStringList names;
    names.reserve(oldSlots.size());
    for (const auto &[oldSlot, oldID] : std::as_const(oldSlots)) {
        const QString name = oldNames.value(oldID).toString();
        names.append(name.isEmpty() ? QString::number(oldSlot + 1) : name);
    }
    names = uniqueNames(names);
    const QStringList found = fieldsForImportedNames(names);

    ColumnMap result;
    QList<bool> taken = takenSlots();
    int searchFrom = 0;
    NameCounts counts;
    for (qsizetype i = 0; i < oldSlots.size(); ++i) {
        QString newID = found.at(i);
        if (newID.isNull())
            newID = addField(freeFieldName(names.at(i), &counts), taken, searchFrom);
        if (!newID.isNull())
            result.insert(oldSlots.at(i).second, newID);
    }
    return result;
}

QStringList Database::fieldsForImportedNames(const QStringList &names) const
{
    QStringList found(names.size());
    QSet<QString> filled;
    qsizetype unmatched = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString id = m_fieldNameIDMapping.value(names.at(i));
        if (!id.isNull() && !filled.contains(id)) {
            found[i] = id;
            filled.insert(id);
        } else {
            ++unmatched;
        }
    }
    if (unmatched == 0)
        return found;

    // Case-folded name to its fields in slot order (the map orders
    // identifiers as text, "10" before "2").
    QList<std::pair<int, QString>> named;
    for (auto it = m_fieldNames.constBegin(); it != m_fieldNames.constEnd(); ++it) {
        const int slot = slotOfIdentifier(it.key());
        if (slot >= 0 && !it.value().isEmpty() && !filled.contains(it.key()))
            named.append({slot, it.key()});
    }
    std::sort(named.begin(), named.end());
    QHash<QString, QStringList> folded;
    folded.reserve(named.size());
    for (const auto &[slot, id] : std::as_const(named))
        folded[m_fieldNames.value(id).toCaseFolded()].append(id);

    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!found.at(i).isNull())
            continue;
        const auto candidates = folded.find(names.at(i).toCaseFolded());
        if (candidates == folded.end())
            continue;
        for (const QString &id : std::as_const(*candidates)) {
            if (!filled.contains(id)) {
                found[i] = id;
                filled.insert(id);
                break;
            }
        }
    }
    return found;
}

QString Database::freeFieldName(const QString &name, NameCounts *counts) const
{
    return uniqueName(
        name, [this](const QString &candidate) { return m_fieldNameIDMapping.contains(candidate); }, counts);
}

QString Database::uniqueName(const QString &name, const std::function<bool(const QString &)> &taken, NameCounts *counts)
{
    if (!taken(name))
        return name;
    // The number handed out is tried again next time: the caller may not
    // have taken it.
    for (int n = counts ? std::max(2, counts->value(name)) : 2;; ++n) {
        QString candidate = QStringLiteral("%1 %2").arg(name).arg(n);
        if (!taken(candidate)) {
            if (counts)
                counts->insert(name, n);
            return candidate;
        }
    }
}

QStringList Database::uniqueNames(const QStringList &names)
{
    QStringList unique;
    unique.reserve(names.size());
    QSet<QString> seen;
    seen.reserve(names.size());
    NameCounts counts;
    for (const QString &name : names) {
        unique.append(uniqueName(name, [&seen](const QString &candidate) { return seen.contains(candidate); }, &counts));
        seen.insert(unique.last());
    }
    return unique;
}

QList<bool> Database::takenSlots() const
{
    QList<bool> taken(MaxColumnCount, false);
    for (auto it = m_fieldNames.constBegin(); it != m_fieldNames.constEnd(); ++it) {
        const int slot = slotOfIdentifier(it.key());
        if (slot >= 0 && !it.value().isEmpty())
            taken[slot] = true;
    }
    for (const EntryRef &entry : m_entries)
        entry->markUsedSlots(taken);
    return taken;
}

QString Database::addField(const QString &name, const QList<bool> &reserved)
{
    QList<bool> taken = takenSlots();
    for (qsizetype slot = 0; slot < std::min(taken.size(), reserved.size()); ++slot)
        taken[slot] = taken.at(slot) || reserved.at(slot);
    int searchFrom = 0;
    return addField(name, taken, searchFrom);
}

QStringList Database::addFields(const QStringList &names)
{
    QStringList ids;
    ids.reserve(names.size());
    QList<bool> taken = takenSlots();
    int searchFrom = 0;
    NameCounts counts;
    for (const QString &name : names)
        ids.append(addField(freeFieldName(name, &counts), taken, searchFrom));
    return ids;
}

QString Database::addField(const QString &name, QList<bool> &taken, int &searchFrom)
{
    // Slots are only ever taken here, so no free one lies before the last found.
    const auto free = std::find(taken.cbegin() + std::clamp<qsizetype>(searchFrom, 0, taken.size()), taken.cend(), false);
    if (free == taken.cend()) {
        searchFrom = int(taken.size());
        return {};
    }
    const int slot = int(free - taken.cbegin());
    taken[slot] = true;
    searchFrom = slot + 1;
    // Past the last slot the table grows, also past values that entries
    // keep beyond it.
    m_columnCount = std::max(m_columnCount, slot + 1);
    const QString id = columnIdentifier(slot);
    changeFieldNameTo(name, id);
    return id;
}

void Database::refreshFieldNameColumnIDMapping()
{
    m_fieldNameIDMapping.clear();
    m_fieldNameCounts.clear();
    for (auto it = m_fieldNames.constBegin(); it != m_fieldNames.constEnd(); ++it) {
        if (!it.value().isEmpty()) {
            m_fieldNameIDMapping.insert(it.value(), it.key());
            ++m_fieldNameCounts[it.value()];
        }
    }
}

void Database::updateFieldNameColumnIDMapping(const QString &oldName, const QString &newName, const QString &columnID)
{
    // What a rebuild would give: of the slots sharing a name, the identifier
    // that comes last in the names' (text) order. Kept per change, since a
    // rebuild per field made building a wide table quadratic.
    if (!oldName.isEmpty() && m_fieldNameIDMapping.value(oldName) == columnID) {
        if (m_fieldNameCounts.value(oldName) == 0) {
            m_fieldNameIDMapping.remove(oldName);
        } else {
            // Another slot still carries the name; such duplicates are rare.
            QString last;
            for (auto it = m_fieldNames.constBegin(); it != m_fieldNames.constEnd(); ++it) {
                if (it.value() == oldName)
                    last = it.key();
            }
            if (last.isNull())
                m_fieldNameIDMapping.remove(oldName);
            else
                m_fieldNameIDMapping.insert(oldName, last);
        }
    }
    if (!newName.isEmpty() && m_fieldNames.value(columnID) == newName) {
        const auto present = m_fieldNameIDMapping.constFind(newName);
        if (present == m_fieldNameIDMapping.constEnd() || present.value() < columnID)
            m_fieldNameIDMapping.insert(newName, columnID);
    }
}

void Database::changeFieldNamesTo(const QList<std::pair<int, QString>> &names)
{
    const auto differs = [](const QString &a, const QString &b) { return a.isNull() != b.isNull() || a != b; };
    for (const auto &[slot, name] : names) {
        const QString current = fieldNameForColumnID(columnIdentifier(slot));
        if (!current.isEmpty() && !name.isEmpty() && current != name)
            changeFieldNameTo(QStringLiteral(""), columnIdentifier(slot));
    }
    for (const auto &[slot, name] : names) {
        const QString id = columnIdentifier(slot);
        if (differs(fieldNameForColumnID(id), name))
            changeFieldNameTo(name, id);
    }
}

void Database::changeFieldNameTo(const QString &name, const QString &columnID)
{
    // A name under "active", "lastSent" or a non-slot key would turn a
    // reserved key into a field and could never be read back from a file.
    if (slotOfIdentifier(columnID) < 0)
        return;
    const auto old = m_fieldNames.constFind(columnID);
    const bool hadName = old != m_fieldNames.constEnd();
    const QString oldName = hadName ? old.value() : QString();

    if (name.isNull())
        m_fieldNames.remove(columnID);
    else
        m_fieldNames.insert(columnID, name);
    if (!oldName.isEmpty() && --m_fieldNameCounts[oldName] <= 0)
        m_fieldNameCounts.remove(oldName);
    if (!name.isEmpty())
        ++m_fieldNameCounts[name];

    QVariantMap userInfo;
    if (hadName)
        userInfo.insert(NotificationNames::DatabaseOldNameKey, oldName);
    if (!name.isNull())
        userInfo.insert(NotificationNames::DatabaseNewNameKey, name);
    // Observers see the new names but still the old mapping; they rely on it
    // to find the column by its old name.
    NotificationCenter::defaultCenter().postNotification(NotificationNames::DatabaseFieldNamesChanged, this, userInfo);
    updateFieldNameColumnIDMapping(oldName, name, columnID);
}

QList<int> Database::namedSlots() const
{
    QList<int> named;
    for (auto it = m_fieldNames.constBegin(); it != m_fieldNames.constEnd(); ++it) {
        const int slot = slotOfIdentifier(it.key());
        if (slot >= 0 && slot < m_columnCount && !it.value().isEmpty())
            named.append(slot);
    }
    // The map orders identifiers as text ("10" before "2").
    std::sort(named.begin(), named.end());
    return named;
}

int Database::fieldIndexForName(const QString &name) const
{
    const QList<int> named = namedSlots();
    for (int i = 0; i < named.size(); ++i) {
        if (m_fieldNames.value(columnIdentifier(named.at(i))) == name)
            return i;
    }
    return -1;
}

QString Database::columnIDForFieldIndex(int fieldIndex) const
{
    const QList<int> named = namedSlots();
    if (fieldIndex < 0 || fieldIndex >= named.size())
        return {};
    return columnIdentifier(named.at(fieldIndex));
}

QString Database::fieldNameForColumnID(const QString &columnID) const
{
    return m_fieldNames.value(columnID);
}

QString Database::fieldNameAtIndex(int fieldIndex) const
{
    const QString id = columnIDForFieldIndex(fieldIndex);
    return id.isNull() ? QString() : m_fieldNames.value(id);
}

int Database::fieldCount() const
{
    return int(namedSlots().size());
}

QStringList Database::fieldNames() const
{
    QStringList names;
    for (int slot : namedSlots())
        names.append(m_fieldNames.value(columnIdentifier(slot)));
    return names;
}

bool Database::importDatabaseFile(const QString &path, QString *reason)
{
    QString readError;
    const std::optional<QByteArray> file = FileIO::readFileLimited(path, MaxImportFileBytes, &readError);
    if (!file)
        return fail(reason, readError);
    const QByteArray &data = *file;

    // The older form is the typed archive; a project file of the current
    // form is a keyed archive and holds the table part the same way.
    QString typedError;
    QVariant root = TypedUnarchiver::unarchiveObjectWithData(data, &typedError);
    if (!root.isValid()) {
        QString keyedError;
        root = KeyedUnarchiver::unarchiveObjectWithData(data, &keyedError);
        if (!root.isValid())
            return fail(reason, QStringLiteral("not a readable archive (typed: %1; keyed: %2)").arg(typedError, keyedError));
    }
    if (!isMap(root))
        return fail(reason, QStringLiteral("root is not a dictionary"));
    const QVariant part = root.toMap().value(DatabasePartKey);
    if (!isMap(part))
        return fail(reason, QStringLiteral("no table part"));
    QVariantList items;
    if (!readList(part.toMap().value(AddressArrayKey), &items))
        return fail(reason, QStringLiteral("no entry list"));
    if (items.isEmpty())
        return fail(reason, QStringLiteral("empty entry list"));
    if (!isMap(items.first()))
        return fail(reason, QStringLiteral("no field names"));

    QVariantMap oldNames = items.first().toMap();
    items.removeFirst();
    // An old slot without a name and without values is a removed column,
    // not one to bring back under its position.
    // One walk over the entries, not one per unnamed slot.
    QSet<QString> unnamed;
    for (auto it = oldNames.cbegin(); it != oldNames.cend(); ++it) {
        if (isStringValue(it.value()) && it.value().toString().isEmpty())
            unnamed.insert(it.key());
    }
    QSet<QString> unnamedWithValues;
    for (const QVariant &item : std::as_const(items)) {
        if (unnamedWithValues.size() == unnamed.size())
            break;
        if (!isMap(item))
            continue;
        const QVariantMap entry = item.toMap();
        for (auto value = entry.cbegin(); value != entry.cend(); ++value) {
            if (unnamed.contains(value.key()) && isStringValue(value.value()))
                unnamedWithValues.insert(value.key());
        }
    }
    for (const QString &key : std::as_const(unnamed)) {
        if (!unnamedWithValues.contains(key))
            oldNames.remove(key);
    }
    const ColumnMap mapping = createRequiredFieldNames(oldNames);
    appendEntryArray(items, mapping);
    return true;
}

void Database::readFileData(const QVariantMap &data)
{
    QVariantList items;
    if (!readList(data.value(AddressArrayKey), &items))
        items.clear();

    EntryList entries;
    for (qsizetype i = 1; i < items.size(); ++i) {
        if (isMap(items.at(i)))
            entries.append(std::make_shared<Entry>(items.at(i).toMap()));
    }
    m_entries = std::move(entries);

    m_fieldNames.clear();
    int highestSlot = -1;
    if (!items.isEmpty() && isMap(items.first())) {
        const QVariantMap names = items.first().toMap();
        for (auto it = names.constBegin(); it != names.constEnd(); ++it) {
            const int slot = slotOfIdentifier(it.key());
            if (slot < 0 || !isStringValue(it.value()))
                continue;
            // A stored empty name is still a name (a present key), never a missing one.
            const QString name = it.value().toString();
            m_fieldNames.insert(it.key(), name.isNull() ? QStringLiteral("") : name);
            highestSlot = std::max(highestSlot, slot);
        }
    }
    // Slots added beyond the default before saving are named again.
    m_columnCount = std::max(m_columnCount, highestSlot + 1);

    // A missing key reads as 0, as files without it always have.
    m_addressFieldNo = intValue(data.value(AddressColumnKey));
    if (m_addressFieldNo < 0 || m_addressFieldNo >= m_columnCount)
        m_addressFieldNo = -1;

    refreshFieldNameColumnIDMapping();
}

QVariantMap Database::fileData() const
{
    QVariantList items;
    items.reserve(m_entries.size() + 1);
    items.append(storedNames());
    for (const EntryRef &entry : m_entries)
        items.append(entry->toMap());

    QVariantMap data;
    data.insert(AddressColumnKey, columnIdentifier(m_addressFieldNo));
    data.insert(AddressArrayKey, items);
    return data;
}

QVariantMap Database::archiveData() const
{
    // The list is shared, not copied; edits after this call do not reach it.
    LazyList items{m_entries.size() + 1, [names = storedNames(), entries = m_entries](qsizetype i) {
                       return i == 0 ? QVariant(names) : QVariant(entries.at(i - 1)->toMap());
                   }};
    QVariantMap data;
    data.insert(AddressColumnKey, columnIdentifier(m_addressFieldNo));
    data.insert(AddressArrayKey, QVariant::fromValue(std::move(items)));
    return data;
}

QVariantMap Database::storedNames() const
{
    QVariantMap names;
    for (auto it = m_fieldNames.constBegin(); it != m_fieldNames.constEnd(); ++it)
        names.insert(it.key(), it.value());
    return names;
}
