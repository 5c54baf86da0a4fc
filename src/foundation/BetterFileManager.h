#pragma once

// Extra file-system operations the documents and stores need.

#include <QString>

namespace BetterFileManager {

// Creates every missing folder of the path, from the first component on.
// True when the whole path then exists as a folder; false at the first
// folder that cannot be made, or when a component exists but is no folder.
[[nodiscard]] bool createDirectoriesForPath(const QString &path);

// The path itself when something exists there. Otherwise the first (by
// UTF-16 order of names) regular file directly in the path's folder whose
// name is the missing name, ".", and more: "report" finds "report.pdf".
// A null string when there is none or the folder cannot be read.
[[nodiscard]] QString fixPathByAppendingSuffix(const QString &path);

} // namespace BetterFileManager
