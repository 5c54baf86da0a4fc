#pragma once

// The recipient table as tab-separated text: UTF-8 without a byte-order
// mark, one line per entry in table order, lines separated by a line feed
// with none after the last; on each line one field per column slot from
// "0" up to the slot count, separated by tabs. The fixed values ("active",
// "lastSent") are not written.
//
// Values are written so that reading the file with tabs gives them back
// (TabSeparatedField): a tab, carriage return or line feed inside a value
// becomes a space, and the value is counted for the user to hear of. The file is written in pieces as the table is walked and
// replaces the old one only when it is complete.

#include <QString>

class Database;

namespace RecipientExport {

struct Result {
    bool ok = false;
    // Why the file could not be written; empty on success.
    QString error;
    // Values whose tabs or line breaks became spaces.
    qint64 changedValues = 0;
    qint64 lines = 0;
};

[[nodiscard]] Result writeText(const Database &database, const QString &path);

} // namespace RecipientExport
