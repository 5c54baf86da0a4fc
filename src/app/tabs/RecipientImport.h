#pragma once

// Rows from outside (delimited text, contacts) added to a recipient table
// without relabelling what it holds: a table with entries keeps the names
// of its fields, titles and contact properties go to the fields of the same
// name or to new fields in free slots, and the contacts' addresses go to
// the address column. Only a table without entries takes titles by
// position, as a fresh table should, except those that name one of its
// fields: the message's tags of a field stay with it. Contacts need a table
// without fields as well. Values that find no slot are counted, never
// dropped without a word.

#include "Database.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>

namespace RecipientImport {

struct Summary {
    int addedEntries = 0;
    // Values no slot could be found for.
    qint64 droppedValues = 0;
};

// Appends the rows: with titles, the first row names the columns and is
// not imported; without, field i of each row goes to slot i and unnamed
// slots that get values are named by their position ("1" for slot 0).
Summary appendRows(Database &database, const QList<QStringList> &rows, bool firstRowTitles);

// Inserts the entries of `source` at the index (below 0: at the end), each
// value under the field of its name in `database`; the source's address
// column goes to the address column.
Summary insertTable(Database &database, const Database &source, int index);

// Contacts into the table: `fill` adds them to the table it is given. A
// table without entries and fields takes them itself, its slots 0 to 2
// named after the address and name properties when `nameSlots` is set; any
// other gets them through a table of their own and insertTable. The
// entries end up from the index on (below 0: at the end).
Summary insertContacts(Database &database, int index, bool nameSlots,
                       const std::function<void(Database &target, int index)> &fill);

// A name that none of `taken` has: the name itself, else "name 2", "name 3",
// ... (Database::uniqueName, with its counts).
[[nodiscard]] QString uniqueName(const QString &name, const QSet<QString> &taken,
                                 Database::NameCounts *counts = nullptr);

} // namespace RecipientImport
