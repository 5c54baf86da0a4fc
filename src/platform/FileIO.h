#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace FileIO {
// Replaces the file in one step, so a failed write never leaves half a file:
// the data goes to a temporary file beside it ("<name>.XXXXXX"), synced to
// the disk, then renamed over it. An existing file's permissions are kept.
[[nodiscard]] bool writeFileAtomically(const QString &path, const QByteArray &data);
[[nodiscard]] bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error);
// The whole file, or nothing (with the reason) when it cannot be read or is
// larger than maxBytes: a file from elsewhere must not decide how much we allocate.
[[nodiscard]] std::optional<QByteArray> readFileLimited(const QString &path, qint64 maxBytes, QString *error = nullptr);
} // namespace FileIO
