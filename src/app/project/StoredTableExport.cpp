#include "StoredTableExport.h"

#include "TableRef.h"

#include <QSaveFile>

#include <algorithm>

StoredTableExport::Text StoredTableExport::tabSeparatedText(const TableRef &table)
{
    Text result;
    const QList<ColumnRefPtr> columns = table.columns();
    const int rows = table.numberOfRows();
    QString line;
    for (int i = 0; i < rows; ++i) {
        const RowRefPtr row = table.rowAtIndex(i);
        line.clear();
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (c > 0)
                line.append(u'\t');
            const QVariant value = row ? row->dataForColumn(*columns[c]) : QVariant();
            const QString text = value.isValid() ? value.toString() : QString();
            const bool breaks = std::any_of(text.cbegin(), text.cend(), [](QChar ch) {
                return ch == u'\t' || ch == u'\n' || ch == u'\r';
            });
            if (!breaks) {
                line.append(text);
                continue;
            }
            ++result.valuesChanged;
            for (QChar ch : text)
                line.append(ch == u'\t' || ch == u'\n' || ch == u'\r' ? QChar(u' ') : ch);
        }
        line.append(u'\n');
        result.utf8.append(line.toUtf8());
    }
    return result;
}

StoredTableExport::Result StoredTableExport::exportCSV(const TableRef &table, const QString &path)
{
    Result result;
    const Text text = tabSeparatedText(table);
    result.valuesChanged = text.valuesChanged;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    if (file.write(text.utf8) != text.utf8.size()) {
        result.error = file.errorString();
        file.cancelWriting();
        return result;
    }
    result.written = file.commit();
    if (!result.written)
        result.error = file.errorString();
    return result;
}
