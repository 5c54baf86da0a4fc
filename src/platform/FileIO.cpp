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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// From this size on, a file is written past the page cache. Copying a few
// hundred megabytes into newly made cache pages costs more than the disk
// takes to store them (seconds, against a fifth of one, for a million-row
// table here), and the cache would only be evicted for data read again
// rarely.
constexpr qint64 DirectBytes = qint64(16) << 20;
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

// The temporary file is made with O_EXCL under a fresh name, so nothing
// already there (a link planted beside the target) is ever written through.
int createBeside(const QByteArray &target, QByteArray *temp)
{
    constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = target + '.';
        for (int i = 0; i < 6; ++i)
            temp->append(Letters[QRandomGenerator::global()->bounded(62)]);
        const int fd = ::open(temp->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeLargeFile(const QString &path, const QByteArray &data, QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp;
    const int fd = createBeside(target, &temp);
    if (fd < 0)
        return fail(error, QStringLiteral("cannot create a file beside %1: %2").arg(path, systemError(errno)));
    const auto abandon = [&](int code) {
        ::close(fd);
        ::unlink(temp.constData());
        return fail(error, QStringLiteral("cannot write %1: %2").arg(path, systemError(code)));
    };
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0)
        return abandon(errno);

    // Direct writes need an aligned buffer and whole blocks; a file system
    // without them (tmpfs) is written through the cache, as is the tail.
    std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char *>(std::aligned_alloc(DirectBlock, DirectChunk)),
                                                       &std::free);
    bool direct = buffer && setDirect(fd, true);
    const char *bytes = data.constData();
    size_t left = size_t(data.size());
    while (left > 0) {
        const size_t n = std::min(left, DirectChunk);
        if (direct && n % DirectBlock != 0)
            direct = !setDirect(fd, false);
        bool written = false;
        if (direct) {
            std::memcpy(buffer.get(), bytes, n);
            written = writeAll(fd, buffer.get(), n);
            if (!written && errno == EINVAL) {
                // Refused only when written: continue through the cache.
                direct = !setDirect(fd, false);
                written = !direct && writeAll(fd, bytes, n);
            }
        } else {
            written = writeAll(fd, bytes, n);
        }
        if (!written)
            return abandon(errno);
        bytes += n;
        left -= n;
    }
    if (::fdatasync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(error, QStringLiteral("cannot write %1: %2").arg(path, systemError(code)));
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(error, QStringLiteral("cannot replace %1: %2").arg(path, systemError(code)));
    }
    return true;
}

} // namespace

bool FileIO::writeFileAtomically(const QString &path, const QByteArray &data)
{
    return writeFileAtomically(path, data, nullptr);
}

bool FileIO::writeFileAtomically(const QString &path, const QByteArray &data, QString *error)
{
    // The save file is renamed over its target, which would put a plain file
    // in place of a pipe or a device.
    if (const QFileInfo target(path); target.exists() && !target.isFile())
        return fail(error, QStringLiteral("%1 is not a plain file").arg(path));
    if (data.size() >= DirectBytes)
        return writeLargeFile(path, data, error);
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
