#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdlib>
#include <memory>
#include <optional>

namespace FileIO {
// Replaces the file in one step, so a failed write never leaves half a file:
// the data goes to a temporary file beside it ("<name>.XXXXXX"), synced to
// the disk, then renamed over it. An existing file's permissions are kept.
[[nodiscard]] bool writeFileAtomically(const QString &path, const QByteArray &data);
[[nodiscard]] bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error);
// A file replaced in one step, written in pieces (an archive as it is
// made, never held whole): open() makes a temporary file beside it, commit()
// syncs it and renames it over the file. Left uncommitted, or after any
// failure, the temporary file is removed and the file is as it was. Large
// files (expectedSize from 64 MB) are written past the page cache where
// the file system allows it: copying hundreds of megabytes into newly made
// cache pages costs more than storing them.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const QString &path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    [[nodiscard]] bool open(qint64 expectedSize, QString *error);
    [[nodiscard]] bool write(QByteArrayView piece, QString *error);
    [[nodiscard]] bool commit(QString *error);

private:
    bool flush(QString *error);
    bool failed(int code, QString *error);
    void abandon();

    QString m_path;
    QByteArray m_temp;
    int m_fd = -1;
    bool m_direct = false;
    std::unique_ptr<char, decltype(&std::free)> m_buffer{nullptr, &std::free};
    size_t m_buffered = 0;
};

// The whole file, or nothing (with the reason) when it cannot be read or is
// larger than maxBytes: a file from elsewhere must not decide how much we allocate.
[[nodiscard]] std::optional<QByteArray> readFileLimited(const QString &path, qint64 maxBytes, QString *error = nullptr);
} // namespace FileIO
