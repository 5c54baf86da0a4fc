#pragma once

// Copying a table of any source into a document's recipient table.

#include <QVariantMap>

class ColumnRef;
class Database;
class TableRef;

// The order of columns by their saved positions (column uid to number):
// positioned columns first, by position; the rest after them. Negative,
// zero or positive.
[[nodiscard]] int compareArrayDatabaseColumns(const ColumnRef &a, const ColumnRef &b, const QVariantMap &positions);

// Appends every row of the table to the recipient table, each column under
// the field of its name (an existing one, else a new one; a column without
// a name is named by its position, "1", "2", ...; a column for which no
// field can be made is left out). Values are stored as text. When the
// recipient table has no address column yet, or one that is empty in every
// row, the column of the first value holding "@" becomes it. Columns are ordered by the user default
// "project_columnPosition", or by the positions given.
void AddTableRefEntriesToDatabase(const TableRef &table, Database &db);
void AddTableRefEntriesToDatabase(const TableRef &table, Database &db, const QVariantMap &columnPositions);
