// Arbitrary bytes read as vCard data and imported into a recipient table:
// nothing may crash, every person must be consistent, and the table must
// stay within its bounds.
#include "Database.h"
#include "VCard.h"
#include "VCardLineReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // A small line limit, so cut lines are met often.
    VCardLineReader reader(bytes, 64);
    VCardLineReader::Line line;
    while (reader.next(line)) {
        if (line.text.size() > 64)
            __builtin_trap();
    }

    const VCardReadResult result = VCard::personsFromVCard(bytes);
    if (result.skippedCards < 0 || result.droppedValues < 0)
        __builtin_trap();
    for (const QList<Person> *list : {&result.persons, &result.groups}) {
        for (const Person &person : *list) {
            if (person.isEmpty() || person.categories().size() > VCard::MaxCategoriesPerCard)
                __builtin_trap();
            for (int p = 0; p < Person::PropertyCount; ++p) {
                const Person::MultiValue &multi = person.multiValue(Person::Property(p));
                if (!multi.isEmpty() && (multi.primaryIndex < 0 || multi.primaryIndex >= multi.values.size()))
                    __builtin_trap();
                for (const Person::Value &value : multi.values) {
                    if (value.label.isEmpty())
                        __builtin_trap();
                }
            }
        }
    }

    Database table;
    const VCardImportSummary summary = table.addEntries(-1, bytes);
    if (summary.addedEntries != result.persons.size() || table.entryCount() != summary.addedEntries ||
        table.columnCount() > Database::MaxColumnCount)
        __builtin_trap();
    for (const Database::EntryRef &entry : table.entryArray()) {
        if (entry->contains(QString()) || entry->contains(QStringLiteral("")))
            __builtin_trap();
    }
    return 0;
}
