// Delimited text imported into a recipient table that already holds
// fields and recipients, with and without a title row (the first byte
// chooses). Besides not crashing: every row becomes one recipient holding
// every field of its row, no two fields share a name, the fields the table
// had keep their names, and undo gives the table back exactly.
#include "RecipientCommands.h"

#include "Database.h"
#include "import/CSVReader.h"

#include <QSet>
#include <QUndoStack>

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool titles = data[0] & 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const std::optional<QList<QStringList>> rows
        = CSVReader::readFromBytes(bytes, TextFileDecoder::Encoding::Automatic, QString());
    if (!rows)
        return 0;

    Database db;
    db.changeFieldNameTo(QStringLiteral("e-mail"), QStringLiteral("0"));
    db.changeFieldNameTo(QStringLiteral("name"), QStringLiteral("3"));
    db.setAddressFieldNo(0);
    db.addEntryWithData(-1, {QStringLiteral("a@x.org"), QString(), QString(), QStringLiteral("A")});
    const Database::EntryList entriesBefore = db.entryArray();
    const QVariantMap valuesBefore = db.entryArray().first()->toMap();
    const QStringList namesBefore = db.fieldNames();

    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    const qsizetype expected = std::max<qsizetype>(0, rows->size() - (titles ? 1 : 0));
    if (commands.importRows(*rows, titles) != expected)
        __builtin_trap();
    // Rows wide enough to use up every slot lose values, and say so.
    const bool roomForAll = std::all_of(rows->cbegin(), rows->cend(), [](const QStringList &row) {
        return row.size() < Database::MaxColumnCount / 2;
    });
    for (qsizetype r = titles ? 1 : 0, e = 1; roomForAll && r < rows->size(); ++r, ++e) {
        qsizetype held = 0;
        db.entryArray().at(e)->forEachSlotText([&held](int, const QString &) { ++held; });
        if (held != rows->at(r).size())
            __builtin_trap();
    }
    const QStringList names = db.fieldNames();
    if (QSet<QString>(names.cbegin(), names.cend()).size() != names.size())
        __builtin_trap();
    if (db.fieldNameForColumnID(QStringLiteral("0")) != QLatin1String("e-mail")
        || db.fieldNameForColumnID(QStringLiteral("3")) != QLatin1String("name"))
        __builtin_trap();
    if (expected > 0) {
        stack.undo();
        if (db.entryArray() != entriesBefore || db.entryArray().first()->toMap() != valuesBefore
            || db.fieldNames() != namesBefore || db.addressFieldNo() != 0)
            __builtin_trap();
    }
    return 0;
}
