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

// The slot of the field of each name, made in a free slot when there is
// none; -1 where no slot is free. All names in one call: finding free slots
// walks the whole table, and a field matched by one column must not be
// matched by another.
QList<int> fieldSlots(Database &database, const QStringList &names)
{
    QVariantMap byPosition;
    for (qsizetype i = 0; i < names.size(); ++i)
        byPosition.insert(QString::number(i), names.at(i));
    const Database::ColumnMap mapping = database.createRequiredFieldNames(byPosition);
    QList<int> slotOfName(names.size(), -1);
    for (qsizetype i = 0; i < names.size(); ++i)
        slotOfName[i] = slotOf(mapping.value(QString::number(i)));
    return slotOfName;
}

// The slots of titled columns in a table without entries: a title that
// names one of its fields goes to that field (the message's tags of it stay
// its own), any other names the slot of its position anew, or, where a
// title took the field of that slot, a field of its own.
QList<int> titledSlots(Database &database, const QStringList &titles)
{
    const int width = int(titles.size());
    database.ensureColumnCount(width);
    const QStringList found = database.fieldsForImportedNames(titles);
    QList<int> target(width, -1);
    QSet<int> kept;
    for (int column = 0; column < width; ++column) {
        target[column] = slotOf(found.at(column));
        if (target.at(column) >= 0)
            kept.insert(target.at(column));
    }
    QSet<QString> taken;
    for (int slot = 0; slot < database.columnCount(); ++slot) {
        const QString name = database.fieldNameForColumnID(Database::columnIdentifier(slot));
        if (!name.isEmpty() && (slot >= width || kept.contains(slot)))
            taken.insert(name);
    }
    QList<std::pair<int, QString>> positions;
    QList<int> ownFields;
    QStringList ownNames;
    Database::NameCounts counts;
    for (int column = 0; column < width; ++column) {
        if (target.at(column) >= 0)
            continue;
        const QString name = uniqueName(titles.at(column), taken, &counts);
        taken.insert(name);
        if (kept.contains(column)) {
            ownFields << column;
            ownNames << name;
        } else {
            target[column] = column;
            positions.append({column, name});
        }
    }
    database.changeFieldNamesTo(positions);
    const QStringList ids = database.addFields(ownNames);
    for (qsizetype i = 0; i < ownFields.size(); ++i)
        target[ownFields.at(i)] = slotOf(ids.at(i));
    return target;
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

QString uniqueName(const QString &name, const QSet<QString> &taken, Database::NameCounts *counts)
{
    return Database::uniqueName(
        name, [&taken](const QString &candidate) { return taken.contains(candidate); }, counts);
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

    QStringList names;
    if (firstRowTitles) {
        for (int column = 0; column < widest; ++column)
            names << titleOf(column);
        // One column per name: two titles of one name would share a field.
        names = Database::uniqueNames(names);
    }
    QList<int> target(widest, -1);
    if (firstRowTitles && database.entryCount() > 0) {
        // Titles name no slot that holds values: each goes to its field.
        target = fieldSlots(database, names);
    } else if (firstRowTitles) {
        target = titledSlots(database, names);
    } else {
        database.ensureColumnCount(int(widest));
        QSet<QString> taken;
        for (int slot = 0; slot < database.columnCount(); ++slot) {
            const QString name = database.fieldNameForColumnID(Database::columnIdentifier(slot));
            if (!name.isEmpty())
                taken.insert(name);
        }
        QList<std::pair<int, QString>> positions;
        Database::NameCounts counts;
        for (int column = 0; column < widest; ++column) {
            target[column] = column;
            if (!database.fieldNameForColumnID(Database::columnIdentifier(column)).isEmpty())
                continue;
            positions.append({column, uniqueName(positionName(column), taken, &counts)});
            taken.insert(positions.last().second);
        }
        database.changeFieldNamesTo(positions);
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
    QList<int> named;
    QStringList names;
    for (int slot = 0; slot < source.columnCount(); ++slot) {
        const QString name = source.fieldNameForColumnID(Database::columnIdentifier(slot));
        if (name.isEmpty())
            continue;
        if (slot == source.addressFieldNo() && database.addressFieldNo() >= 0) {
            target[slot] = database.addressFieldNo();
            continue;
        }
        named << slot;
        names << name;
    }
    const QList<int> found = fieldSlots(database, names);
    for (qsizetype i = 0; i < named.size(); ++i) {
        target[named.at(i)] = found.at(i);
        // A table without an address column takes the contacts' one.
        if (named.at(i) == source.addressFieldNo() && found.at(i) >= 0)
            database.setAddressFieldNo(found.at(i));
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
    // Fields of a table whose rows were cleared are still the message's
    // tags: they are mapped by name like those of any other table.
    if (database.entryCount() == 0 && database.fieldCount() == 0) {
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
