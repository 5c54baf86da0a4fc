#pragma once

// One value written as a field of tab-separated text so that CSVReader
// reads the same value back. A tab, carriage return or line feed would
// split the field or the row, so each becomes a space. A value that starts
// with a double quote would be read as a quoted field, and one that starts
// with a byte-order mark would lose it at the start of a file, so such a
// value is written quoted (RFC 4180), its quotes doubled.

#include <QString>
#include <QStringView>

namespace TabSeparatedField {

// Appends the value; true when a tab or line break in it became a space.
bool append(QString &out, QStringView value);

} // namespace TabSeparatedField
