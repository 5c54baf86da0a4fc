// Feeds arbitrary bytes to the table store's readers, as a "root.db" or a
// table file copied from anywhere would. A file they accept must survive
// being written again: the bytes written read back and give the same bytes,
// so a table read and saved loses nothing.
#include "TableStoreFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const auto index = TableStoreFile::readIndex(bytes)) {
        if (index->tables.size() > TableStoreFile::MaxTables)
            __builtin_trap();
    }

    const auto table = TableStoreFile::readTable(bytes);
    if (!table)
        return 0;
    const auto written = TableStoreFile::tableData(*table);
    if (!written)
        return 0;
    const auto again = TableStoreFile::readTable(*written);
    if (!again)
        __builtin_trap();
    const auto rewritten = TableStoreFile::tableData(*again);
    if (!rewritten || *rewritten != *written)
        __builtin_trap();
    return 0;
}
