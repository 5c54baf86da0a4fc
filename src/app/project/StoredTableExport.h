#pragma once

// A stored table as tab-separated text: one line per row in the table's
// order, the values of the table's own columns (not the order a view shows
// them in) separated by tabs, each line ended by "\n", no title line;
// UTF-8, written atomically. Values are written so that reading the file
// with tabs gives them back (TabSeparatedField): a tab, CR or LF inside a
// value becomes a space, and the values changed are counted.

#include <QByteArray>
#include <QString>

class TableRef;

class StoredTableExport {
public:
    struct Text {
        QByteArray utf8;
        // Values in which a tab or a line break became a space.
        qint64 valuesChanged = 0;
    };
    [[nodiscard]] static Text tabSeparatedText(const TableRef &table);

    struct Result {
        bool written = false;
        qint64 valuesChanged = 0;
        QString error;
    };
    [[nodiscard]] static Result exportCSV(const TableRef &table, const QString &path);
};
