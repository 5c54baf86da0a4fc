#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reads files that come from outside (an import the user picked, another
// program's settings) without letting them decide anything: only regular
// files, opened so that a FIFO or device never blocks, and at most a given
// number of bytes (a sparse file of many gigabytes is refused by its size,
// before anything is read).
namespace BoundedFile {

// The whole file, or nothing with a reason for the user in *error: not a
// regular file, a loop of links, larger than maxBytes, or unreadable.
[[nodiscard]] std::optional<QByteArray> read(const QString &path, qint64 maxBytes, QString *error = nullptr);

} // namespace BoundedFile
