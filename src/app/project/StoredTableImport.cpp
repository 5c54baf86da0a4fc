#include "StoredTableImport.h"

#include "BetterString.h"
#include "Database.h"
#include "PlainArrayDatabase.h"
#include "Values.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString RowsKey = QStringLiteral("rows");
const QString TitlesKey = QStringLiteral("firstRowAsColumnTitles");
const QString PathKey = QStringLiteral("originalFilePath");

QStringList textsOf(const QVariant &row)
{
    if (row.typeId() == QMetaType::QStringList)
        return row.toStringList();
    QStringList texts;
    for (const QVariant &value : row.toList())
        texts.append(value.toString());
    return texts;
}

} // namespace

StoredTableImport::Result StoredTableImport::importRows(PlainArrayDatabase &store, const QVariantMap &sheetResult)
{
    QList<QStringList> rows;
    const QVariantList given = sheetResult.value(RowsKey).toList();
    rows.reserve(given.size());
    for (const QVariant &row : given)
        rows.append(textsOf(row));
    const QString name = QFileInfo(sheetResult.value(PathKey).toString()).fileName();
    return importRows(store, name, rows, boolValue(sheetResult.value(TitlesKey)));
}

StoredTableImport::Result StoredTableImport::importRows(PlainArrayDatabase &store, const QString &tableName,
                                                        const QList<QStringList> &rows, bool firstRowTitles)
{
    Result result;
    // Named in the batch: one write for the whole table.
    result.table = store.newTable();
    if (!result.table) {
        result.error = QStringLiteral("the stored tables are read-only");
        return result;
    }
    TableChangeBatch batch(result.table);
    TableRef &table = *result.table;
    table.setDisplayName(tableName);
    if (rows.isEmpty())
        return result;

    QList<ColumnRefPtr> columns;
    const QStringList &first = rows.first();
    const auto addColumns = [&](const QStringList &row, bool titles) {
        const qsizetype wanted = std::min<qsizetype>(row.size(), MaxColumns);
        while (columns.size() < wanted) {
            const qsizetype j = columns.size();
            ColumnRefPtr column = table.newColumn(titles ? row[j] : QString::number(j + 1));
            if (!column)
                return false;
            columns.append(std::move(column));
        }
        return true;
    };
    if (!addColumns(first, firstRowTitles)) {
        result.error = QStringLiteral("the table takes no columns");
        return result;
    }
    const qsizetype firstWidth = columns.size();
    table.reserveRows(rows.size());

    for (qsizetype r = firstRowTitles ? 1 : 0; r < rows.size();) {
        if (rows[r].size() > columns.size())
            addColumns(rows[r], false);
        // The rows from here on that the columns made so far hold, at once.
        qsizetype end = r + 1;
        while (end < rows.size() && rows[end].size() <= columns.size())
            ++end;
        const qsizetype made = table.appendRows(columns, std::span(rows.constData() + r, size_t(end - r)));
        for (qsizetype k = r; k < r + made; ++k)
            result.valuesLeftOut += std::max<qsizetype>(0, rows[k].size() - columns.size());
        if (made < end - r)
            break;
        r = end;
    }
    if (firstRowTitles && first.size() > columns.size())
        result.valuesLeftOut += first.size() - columns.size();
    result.addedColumns = int(columns.size() - firstWidth);
    return result;
}

StoredTableImport::Result StoredTableImport::importProjectFile(PlainArrayDatabase &store, const QString &path)
{
    Result result;
    Database recipients;
    if (!recipients.importDatabaseFile(path, &result.error))
        return result;
    result.table = store.newTable();
    if (!result.table) {
        result.error = QStringLiteral("the stored tables are read-only");
        return result;
    }
    TableChangeBatch batch(result.table);
    TableRef &table = *result.table;
    table.setDisplayName(BetterString::fileNameWithoutSuffix(path));

    // Slot order: the order the project shows its fields in.
    struct Field {
        int slot;
        ColumnRefPtr column;
    };
    QList<Field> fields;
    const QStringList names = recipients.fieldNames();
    for (int i = 0; i < names.size(); ++i) {
        ColumnRefPtr column = table.newColumn(names[i]);
        if (!column)
            break;
        fields.append({Database::columnIndexFromIdentifier(recipients.columnIDForFieldIndex(i)), std::move(column)});
    }
    for (const Database::EntryRef &entry : recipients.entryArray()) {
        const RowRefPtr row = table.newRow();
        if (!row)
            break;
        QVariantMap data;
        for (const Field &field : std::as_const(fields)) {
            if (const QString *text = entry->slotText(field.slot))
                data.insert(field.column->uid(), *text);
        }
        row->setRawData({{QStringLiteral("data"), data}, {QStringLiteral("uid"), row->uid()}});
    }
    return result;
}
