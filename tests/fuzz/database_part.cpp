// Arbitrary archives read as a document's recipient-table part: whatever
// the archive readers let through, the table must take without crashing or
// growing without bound, and the recipient tab's stored column layout
// beside it must still show every slot of the table exactly once.
#include "Codable.h"
#include "ColumnLayout.h"
#include "Database.h"
#include "DatabaseTab.h"
#include "KeyedUnarchiver.h"
#include "TypedUnarchiver.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool registered = [] {
        registerPlatformCoders();
        return true;
    }();
    (void)registered;

    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QVariant root = TypedUnarchiver::unarchiveObjectWithData(bytes);
    if (!root.isValid())
        root = KeyedUnarchiver::unarchiveObjectWithData(bytes);
    const QVariantMap map = root.toMap();

    const QVariantMap part = map.value(Database::DatabasePartKey).toMap();
    Database table;
    table.readFileData(part);
    if (table.columnCount() > Database::MaxColumnCount || table.addressFieldNo() >= table.columnCount())
        __builtin_trap();
    for (int i = 0; i < table.entryCount(); ++i)
        (void)table.addressForEntry(i);
    (void)table.fileData();

    QStringList slotIds;
    for (int slot = 0; slot < table.columnCount(); ++slot)
        slotIds << Database::columnIdentifier(slot);
    const QVariant identifiers = part.value(DatabaseTab::ColumnIdentifiersKey);
    const QVariant widths = part.value(DatabaseTab::ColumnWidthInfoKey);
    const QList<ColumnLayout::Column> layout = ColumnLayout::restored(identifiers, widths, slotIds);
    if (layout.size() != slotIds.size())
        __builtin_trap();
    QStringList shown;
    QList<bool> seen(slotIds.size(), false);
    for (const ColumnLayout::Column &column : layout) {
        const int slot = Database::columnIndexFromIdentifier(column.id);
        if (slot < 0 || slot >= slotIds.size() || seen.at(slot) || column.id != slotIds.at(slot))
            __builtin_trap();
        seen[slot] = true;
        if (column.width && (*column.width < ColumnLayout::MinWidth || *column.width > ColumnLayout::MaxWidth))
            __builtin_trap();
        shown << column.id;
    }
    // Read again into the view it arranged (a revert), nothing moves.
    const QList<ColumnLayout::Column> again = ColumnLayout::restored(identifiers, widths, shown);
    for (qsizetype i = 0; i < again.size(); ++i) {
        if (again.at(i).id != shown.at(i))
            __builtin_trap();
    }
    return 0;
}
