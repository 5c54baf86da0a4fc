// Arbitrary archives read as a document's recipient-table part: whatever
// the archive readers let through, the table must take without crashing or
// growing without bound.
#include "Codable.h"
#include "Database.h"
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

    Database table;
    table.readFileData(map.value(Database::DatabasePartKey).toMap());
    if (table.columnCount() > Database::MaxColumnCount || table.addressFieldNo() >= table.columnCount())
        __builtin_trap();
    for (int i = 0; i < table.entryCount(); ++i)
        (void)table.addressForEntry(i);
    (void)table.fileData();
    return 0;
}
