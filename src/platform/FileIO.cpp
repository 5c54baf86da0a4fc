#include "FileIO.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// From this size on, a file is written past the page cache. Copying a few
// hundred megabytes into newly made cache pages can cost more than the
// disk takes to store them (over a second, against a quarter of one, for
// a million-row table here); smaller files stay cached, since a file just
// written is often read again soon (a stored table shown again).
constexpr qint64 DirectBytes = qint64(64) << 20;
constexpr size_t DirectBlock = 4096;
constexpr size_t DirectChunk = size_t(4) << 20;

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

bool writeAll(int fd, const char *bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool setDirect(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// A fresh name beside the target ("<name>.XXXXXX") that `place` takes:
// it makes the name only where nothing is, so nothing already there (a
// link planted beside the target) is ever written through. False, with
// errno, when it fails for another reason than a name taken.
template <typename Place>
bool nameBeside(const QByteArray &target, QByteArray *name, const Place &place)
{
    constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = target + '.';
        for (int i = 0; i < 6; ++i)
            name->append(Letters[QRandomGenerator::global()->bounded(62)]);
        if (place(name->constData()))
            return true;
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

// The file is replaced by renaming a new one over it, which would put a
// plain file in place of a pipe or a device: those are refused.
bool isReplaceable(const QString &path, QString *error)
{
    if (const QFileInfo target(path); target.exists() && !target.isFile())
        return fail(error, QStringLiteral("%1 is not a plain file").arg(path));
    return true;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

bool FileIO::writeFileAtomically(const QString &path, const QByteArray &data)
{
    return writeFileAtomically(path, data, nullptr);
}

bool FileIO::writeFileAtomically(const QString &path, const QByteArray &data, QString *error)
{
    if (data.size() >= DirectBytes) {
        AtomicFileWriter file(path);
        return file.open(data.size(), error) && file.write(data, error) && file.commit(error);
    }
    if (!isReplaceable(path, error))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    if (file.write(data) != data.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error, reason);
    }
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

FileIO::AtomicFileWriter::AtomicFileWriter(const QString &path) : m_path(path)
{
}

FileIO::AtomicFileWriter::~AtomicFileWriter()
{
    abandon();
}

void FileIO::AtomicFileWriter::abandon()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_fd = -1;
}

bool FileIO::AtomicFileWriter::failed(int code, QString *error)
{
    abandon();
    return fail(error, QStringLiteral("cannot write %1: %2").arg(m_path, systemError(code)));
}

bool FileIO::AtomicFileWriter::open(qint64 expectedSize, QString *error)
{
    // As QSaveFile does, a link is followed and what it leads to replaced.
    QFileInfo link(m_path);
    for (int depth = 0; depth < 128 && link.isSymLink(); ++depth)
        link.setFile(link.symLinkTarget());
    if (!link.isSymLink())
        m_path = link.filePath();
    if (!isReplaceable(m_path, error))
        return false;
    const QByteArray target = QFile::encodeName(m_path);
    // Unnamed until it is whole (then named through /proc), where the file
    // system allows it, so a program killed while writing leaves nothing
    // behind; else named beside the target from the start.
    if (::access("/proc/self/fd", F_OK) == 0)
        m_fd = ::open(folderOf(target).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const bool made = nameBeside(target, &m_temp, [&](const char *name) {
            m_fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return m_fd >= 0;
        });
        if (!made)
            return fail(error, QStringLiteral("cannot create a file beside %1: %2").arg(m_path, systemError(errno)));
    }
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0 && ::fchmod(m_fd, existing.st_mode & 07777) != 0)
        return failed(errno, error);
    // Direct writes need an aligned buffer and whole blocks; a file system
    // without them (tmpfs) is written through the cache, as is the tail.
    if (expectedSize >= DirectBytes) {
        m_buffer.reset(static_cast<char *>(std::aligned_alloc(DirectBlock, DirectChunk)));
        m_direct = m_buffer && setDirect(m_fd, true);
    }
    return true;
}

bool FileIO::AtomicFileWriter::flush(QString *error)
{
    if (m_buffered == 0)
        return true;
    bool written = false;
    if (m_direct && m_buffered % DirectBlock != 0)
        m_direct = !setDirect(m_fd, false);
    if (m_direct) {
        written = writeAll(m_fd, m_buffer.get(), m_buffered);
        // Refused only when written: go on through the cache.
        if (!written && errno == EINVAL && setDirect(m_fd, false)) {
            m_direct = false;
            written = writeAll(m_fd, m_buffer.get(), m_buffered);
        }
    } else {
        written = writeAll(m_fd, m_buffer.get(), m_buffered);
    }
    m_buffered = 0;
    return written || failed(errno, error);
}

bool FileIO::AtomicFileWriter::write(QByteArrayView piece, QString *error)
{
    if (m_fd < 0)
        return fail(error, QStringLiteral("%1 is not open for writing").arg(m_path));
    if (!m_buffer)
        return writeAll(m_fd, piece.data(), size_t(piece.size())) || failed(errno, error);
    const char *bytes = piece.data();
    size_t left = size_t(piece.size());
    while (left > 0) {
        const size_t n = std::min(left, DirectChunk - m_buffered);
        std::memcpy(m_buffer.get() + m_buffered, bytes, n);
        m_buffered += n;
        bytes += n;
        left -= n;
        if (m_buffered == DirectChunk && !flush(error))
            return false;
    }
    return true;
}

bool FileIO::AtomicFileWriter::commit(QString *error)
{
    if (m_fd < 0)
        return fail(error, QStringLiteral("%1 is not open for writing").arg(m_path));
    if (!flush(error))
        return false;
    if (::fdatasync(m_fd) != 0)
        return failed(errno, error);
    if (m_temp.isEmpty()) {
        const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(m_fd);
        const bool linked = nameBeside(QFile::encodeName(m_path), &m_temp, [&](const char *name) {
            return ::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
        });
        if (!linked) {
            const int code = errno;
            m_temp.clear();
            return failed(code, error);
        }
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(m_temp.constData());
        return fail(error, QStringLiteral("cannot write %1: %2").arg(m_path, systemError(code)));
    }
    if (::rename(m_temp.constData(), QFile::encodeName(m_path).constData()) != 0) {
        const int code = errno;
        ::unlink(m_temp.constData());
        return fail(error, QStringLiteral("cannot replace %1: %2").arg(m_path, systemError(code)));
    }
    return true;
}

std::optional<QByteArray> FileIO::readFileLimited(const QString &path, qint64 maxBytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const auto tooLarge = [&] {
        if (error)
            *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
        return std::nullopt;
    };
    // QIODevice::read(n) reserves all n bytes before it reads, so the limit
    // itself is never asked for: a regular file is read by its size, and
    // what comes after (a file that grew, a pipe) in pieces.
    const qint64 size = file.isSequential() ? 0 : file.size();
    if (size > maxBytes)
        return tooLarge();
    QByteArray data = file.read(size);
    constexpr qint64 Piece = 1 << 20;
    while (data.size() <= maxBytes) {
        const QByteArray piece = file.read(std::min(Piece, maxBytes + 1 - data.size()));
        if (piece.isEmpty())
            break;
        data += piece;
    }
    if (data.size() > maxBytes)
        return tooLarge();
    return data;
}
