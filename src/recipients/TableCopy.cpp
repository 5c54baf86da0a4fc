#include "TableCopy.h"

#include "Database.h"
#include "DatabaseManager.h"
#include "TableRef.h"
#include "UserDefaults.h"
#include "Values.h"

#include <algorithm>

int compareArrayDatabaseColumns(const ColumnRef &a, const ColumnRef &b, const QVariantMap &positions)
{
    const auto positionA = positions.constFind(a.uid());
    const auto positionB = positions.constFind(b.uid());
    const bool hasA = positionA != positions.constEnd();
    const bool hasB = positionB != positions.constEnd();
    if (!hasA || !hasB)
        return int(hasB) - int(hasA);
    const qint64 x = integerValue(*positionA);
    const qint64 y = integerValue(*positionB);
    return x < y ? -1 : x > y ? 1 : 0;
}

void AddTableRefEntriesToDatabase(const TableRef &table, Database &db)
{
    const QVariantMap positions = UserDefaults::standardUserDefaults()
                                      .dictionaryForKey(DatabaseManager::ColumnPositionKey)
                                      .value_or(QVariantMap());
    AddTableRefEntriesToDatabase(table, db, positions);
}

void AddTableRefEntriesToDatabase(const TableRef &table, Database &db, const QVariantMap &columnPositions)
{
    // An address column no row fills (a new project's default one) sends
    // to nobody: the copy's addresses take its place.
    int addressSlot = db.addressFieldNo();
    if (addressSlot >= 0) {
        const Database::EntryList &entries = db.entryArray();
        const bool unused = std::none_of(entries.cbegin(), entries.cend(), [&](const Database::EntryRef &entry) {
            const QString *address = entry->slotText(addressSlot);
            return address && !address->isEmpty();
        });
        if (unused)
            addressSlot = -1;
    }
    QList<ColumnRefPtr> columns = table.columns();
    // Stable: columns without a saved position keep the table's order.
    std::stable_sort(columns.begin(), columns.end(), [&](const ColumnRefPtr &a, const ColumnRefPtr &b) {
        return compareArrayDatabaseColumns(*a, *b, columnPositions) < 0;
    });

    QStringList names;
    names.reserve(columns.size());
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const QString name = columns[i]->displayName();
        // An empty name would leave the slot free for the next field, whose
        // values would then mix with these.
        names.append(name.isEmpty() ? QString::number(i + 1) : name);
    }
    names = Database::uniqueNames(names);
    const QStringList found = db.fieldsForImportedNames(names);

    struct Target {
        ColumnRefPtr column;
        QString columnID;
    };
    QList<Target> targets;
    QStringList newNames;
    QList<qsizetype> newTargets;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (found.at(i).isNull()) {
            newNames.append(names.at(i));
            newTargets.append(targets.size());
        }
        targets.append({columns[i], found.at(i)});
    }
    // All at once: a wide table makes thousands of fields.
    const QStringList newIDs = db.addFields(newNames);
    for (qsizetype i = 0; i < newIDs.size(); ++i)
        targets[newTargets[i]].columnID = newIDs[i];
    // A column for which no field was left is not copied.
    targets.removeIf([](const Target &target) { return target.columnID.isNull(); });

    const int rows = table.numberOfRows();
    for (int i = 0; i < rows; ++i) {
        const RowRefPtr row = table.rowAtIndex(i);
        if (!row)
            continue;
        QVariantMap entry;
        for (const Target &target : std::as_const(targets)) {
            const QVariant value = row->dataForColumn(*target.column);
            if (!value.isValid())
                continue;
            const QString text = value.toString();
            if (addressSlot < 0 && text.contains(u'@'))
                addressSlot = Database::columnIndexFromIdentifier(target.columnID);
            entry.insert(target.columnID, text);
        }
        db.addEntryWithDict(-1, entry);
    }
    if (addressSlot >= 0)
        db.setAddressFieldNo(addressSlot);
}
