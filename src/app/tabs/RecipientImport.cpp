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
    return Database::uniqueName(name, [&taken](const QString &candidate) { return taken.contains(candidate); });
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
        QStringList names;
        for (int column = 0; column < widest; ++column) {
            names << uniqueName(titleOf(column), taken);
            taken.insert(names.last());
        }
        target = fieldSlots(database, names);
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
        QList<std::pair<int, QString>> names;
        for (int column = 0; column < widest; ++column) {
            target[column] = column;
            const QString current = database.fieldNameForColumnID(Database::columnIdentifier(column));
            if (!firstRowTitles && !current.isEmpty())
                continue;
            names.append({column, uniqueName(firstRowTitles ? titleOf(column) : positionName(column), taken)});
            taken.insert(names.last().second);
        }
        // Each through the empty name first, so that no slot is ever named
        // after another that still has the name: the message's tags of a
        // field must not go to another ("a, b" read as "b, c").
        for (const auto &[slot, name] : std::as_const(names)) {
            const QString current = database.fieldNameForColumnID(Database::columnIdentifier(slot));
            if (!current.isEmpty() && current != name)
                database.changeFieldNameTo(QStringLiteral(""), Database::columnIdentifier(slot));
        }
        for (const auto &[slot, name] : std::as_const(names))
            renameIfDifferent(database, slot, name);
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
