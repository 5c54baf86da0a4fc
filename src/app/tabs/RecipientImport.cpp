#include "RecipientImport.h"

#include <QSet>

#include <algorithm>

namespace RecipientImport {

namespace {

QString positionName(int slot)
{
    return QString::number(slot + 1);
}

int slotOf(const QString &id)
{
    return id.isNull() ? -1 : Database::columnIndexFromIdentifier(id);
}

// The slot of the field with the name, made in a free slot when there is
// none; -1 when no slot is free.
int fieldSlot(Database &database, const QString &name)
{
    QString id = database.fieldNameColumnIDMapping().value(name);
    if (id.isNull())
        id = database.addField(name);
    return slotOf(id);
}

void renameIfDifferent(Database &database, int slot, const QString &name)
{
    const QString id = Database::columnIdentifier(slot);
    const QString current = database.fieldNameForColumnID(id);
    if (current.isNull() || current != name)
        database.changeFieldNameTo(name, id);
}

void insertEntries(Database &database, const Database::EntryList &added, int index)
{
    const Database::EntryList &entries = database.entryArray();
    const qsizetype at = index < 0 || index > entries.size() ? entries.size() : index;
    Database::EntryList merged;
    merged.reserve(entries.size() + added.size());
    merged.append(entries.first(at));
    merged.append(added);
    merged.append(entries.sliced(at));
    database.setEntryArray(merged);
}

} // namespace

QString uniqueName(const QString &name, const QSet<QString> &taken)
{
    if (!taken.contains(name))
        return name;
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1 %2").arg(name).arg(n);
        if (!taken.contains(candidate))
            return candidate;
    }
}

Summary appendRows(Database &database, const QList<QStringList> &rows, bool firstRowTitles)
{
    Summary summary;
    const qsizetype first = firstRowTitles ? 1 : 0;
    const QStringList titles = firstRowTitles && !rows.isEmpty() ? rows.first() : QStringList();
    qsizetype widest = titles.size();
    for (qsizetype r = first; r < rows.size(); ++r)
        widest = std::max(widest, rows.at(r).size());
    widest = std::min<qsizetype>(widest, Database::MaxColumnCount);
    const auto titleOf = [&titles](int column) {
        return column < titles.size() && !titles.at(column).isEmpty() ? titles.at(column) : positionName(column);
    };

    QList<int> target(widest, -1);
    QSet<QString> taken;
    if (firstRowTitles && database.entryCount() > 0) {
        // Titles name no slot that holds values: each goes to its field.
        for (int column = 0; column < widest; ++column) {
            const QString name = uniqueName(titleOf(column), taken);
            taken.insert(name);
            target[column] = fieldSlot(database, name);
        }
    } else {
        database.ensureColumnCount(int(widest));
        for (int slot = 0; slot < database.columnCount(); ++slot) {
            // With titles, the first slots are named anew.
            if (firstRowTitles && slot < widest)
                continue;
            const QString name = database.fieldNameForColumnID(Database::columnIdentifier(slot));
            if (!name.isEmpty())
                taken.insert(name);
        }
        for (int column = 0; column < widest; ++column) {
            target[column] = column;
            const QString current = database.fieldNameForColumnID(Database::columnIdentifier(column));
            if (!firstRowTitles && !current.isEmpty())
                continue;
            const QString name = uniqueName(firstRowTitles ? titleOf(column) : positionName(column), taken);
            taken.insert(name);
            renameIfDifferent(database, column, name);
        }
    }

    Database::EntryList added;
    added.reserve(std::max<qsizetype>(0, rows.size() - first));
    for (qsizetype r = first; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        auto entry = std::make_shared<Database::Entry>();
        for (int column = 0; column < row.size(); ++column) {
            const int slot = column < widest ? target.at(column) : -1;
            if (slot < 0)
                ++summary.droppedValues;
            else
                entry->insert(Database::columnIdentifier(slot), row.at(column));
        }
        added.append(std::move(entry));
    }
    summary.addedEntries = int(added.size());
    insertEntries(database, added, -1);
    return summary;
}

Summary insertTable(Database &database, const Database &source, int index)
{
    Summary summary;
    QList<int> target(source.columnCount(), -1);
    for (int slot = 0; slot < source.columnCount(); ++slot) {
        const QString name = source.fieldNameForColumnID(Database::columnIdentifier(slot));
        if (name.isEmpty())
            continue;
        if (slot == source.addressFieldNo()) {
            if (database.addressFieldNo() >= 0) {
                target[slot] = database.addressFieldNo();
            } else {
                target[slot] = fieldSlot(database, name);
                database.setAddressFieldNo(target[slot]);
            }
        } else {
            target[slot] = fieldSlot(database, name);
        }
    }
    Database::EntryList added;
    added.reserve(source.entryCount());
    for (const Database::EntryRef &from : source.entryArray()) {
        auto entry = std::make_shared<Database::Entry>();
        from->forEachSlotText([&](int slot, const QString &text) {
            const int to = slot < target.size() ? target.at(slot) : -1;
            if (to < 0)
                ++summary.droppedValues;
            else
                entry->insert(Database::columnIdentifier(to), text);
        });
        added.append(std::move(entry));
    }
    summary.addedEntries = int(added.size());
    insertEntries(database, added, index);
    return summary;
}

Summary insertContacts(Database &database, int index, bool nameSlots,
                       const std::function<void(Database &target, int index)> &fill)
{
    Summary summary;
    if (database.entryCount() == 0) {
        if (nameSlots)
            database.setupFieldNamesForABImport();
        fill(database, index);
        summary.addedEntries = database.entryCount();
        return summary;
    }
    Database contacts;
    contacts.setupFieldNamesForABImport();
    fill(contacts, -1);
    return insertTable(database, contacts, index);
}

} // namespace RecipientImport
