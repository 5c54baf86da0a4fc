#pragma once

// New stored tables filled from files, each in one batch so that the
// table's file is written once: the rows of a delimited text file (from
// the import sheet) and the recipients of a project file.
//
// Main thread only.

#include "TableRef.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class PlainArrayDatabase;

class StoredTableImport {
public:
    // No table is made wider: the widest recipient table has as many slots.
    static constexpr int MaxColumns = 10000;

    struct Result {
        // Null when no table could be made (a read-only store, an unreadable file).
        TableRefPtr table;
        // Columns added for rows wider than the first row.
        int addedColumns = 0;
        // Values past MaxColumns, not imported.
        qint64 valuesLeftOut = 0;
        // Why nothing was imported.
        QString error;
    };

    // The import sheet's result: "rows" (the title row included),
    // "firstRowAsColumnTitles", "originalFilePath". The table is named
    // after the file, extension included; its columns after the first row
    // (titles, or "1", "2", ...). A later row wider than the first adds
    // columns named by their position.
    [[nodiscard]] static Result importRows(PlainArrayDatabase &store, const QVariantMap &sheetResult);
    [[nodiscard]] static Result importRows(PlainArrayDatabase &store, const QString &tableName,
                                           const QList<QStringList> &rows, bool firstRowTitles);

    // The recipients of a project file (any form the application reads) in
    // a table named after the file without its extension, the columns in
    // the order of the file's fields.
    [[nodiscard]] static Result importProjectFile(PlainArrayDatabase &store, const QString &path);
};
