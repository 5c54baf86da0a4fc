#include "StoredTableExport.h"

#include "FileIO.h"
#include "TabSeparatedField.h"
#include "TableRef.h"

StoredTableExport::Text StoredTableExport::tabSeparatedText(const TableRef &table)
{
    Text result;
    const QList<ColumnRefPtr> columns = table.columns();
    const int rows = table.numberOfRows();
    // Converted to UTF-8 a block of lines at a time: one conversion per line
    // would allocate a million times for a large table.
    constexpr qsizetype BlockSize = 64 * 1024;
    QString block;
    block.reserve(BlockSize + 4096);
    const auto flush = [&] {
        result.utf8.append(block.toUtf8());
        block.resize(0);
    };
    for (int i = 0; i < rows; ++i) {
        const RowRefPtr row = table.rowAtIndex(i);
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (c > 0)
                block.append(u'\t');
            const QVariant value = row ? row->dataForColumn(*columns[c]) : QVariant();
            const QString text = value.isValid() ? value.toString() : QString();
            // An empty line would be read as no row at all.
            if (text.isEmpty() && columns.size() == 1)
                block.append(QStringLiteral("\"\""));
            else if (TabSeparatedField::append(block, text))
                ++result.valuesChanged;
        }
        block.append(u'\n');
        if (block.size() >= BlockSize)
            flush();
    }
    flush();
    return result;
}

StoredTableExport::Result StoredTableExport::exportCSV(const TableRef &table, const QString &path)
{
    Result result;
    const Text text = tabSeparatedText(table);
    result.valuesChanged = text.valuesChanged;
    result.written = FileIO::writeFileAtomically(path, text.utf8, &result.error);
    return result;
}
