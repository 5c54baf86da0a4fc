#pragma once

// Reads files in GLib's key-file format (the ".source" files of Evolution's
// accounts): "[Group]" lines, "Key=Value" lines within a group, "#"
// comments. Blanks around the "=" are dropped; values unescape \s \n \t \r
// and \\. Localised keys ("Name[de]") are skipped. A later key of the same
// name wins. A line that is none of these is skipped with a warning.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class ImportWarnings;

class KeyFileParser {
public:
    using Group = QHash<QString, QString>;
    using Groups = QHash<QString, Group>;

    // Nothing (with a warning) when the text holds a NUL byte or is not UTF-8.
    [[nodiscard]] static Groups parse(const QByteArray &text, ImportWarnings &warnings);
};
