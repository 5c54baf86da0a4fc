#include "BoundedFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Closes the descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<QByteArray> BoundedFile::read(const QString &path, qint64 maxBytes, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0')) {
        setError(error, QStringLiteral("no file name"));
        return std::nullopt;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer, and a device could block on its first read.
    const Descriptor file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        const int code = errno;
        setError(error, code == ELOOP ? QStringLiteral("too many levels of symbolic links")
                                      : QString::fromLocal8Bit(std::strerror(code)));
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        setError(error, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        setError(error, QStringLiteral("not a regular file"));
        return std::nullopt;
    }
    if (info.st_size > maxBytes) {
        setError(error, QStringLiteral("larger than %1 bytes").arg(maxBytes));
        return std::nullopt;
    }
    // The file may grow while it is read: one byte beyond the limit tells.
    QByteArray data(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (true) {
        if (filled == data.size()) {
            if (filled > maxBytes)
                break;
            data.resize(std::min<qint64>(qint64(data.size()) * 2 + 4096, maxBytes + 1));
        }
        const ssize_t got = ::read(file.fd, data.data() + filled, size_t(data.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            setError(error, QString::fromLocal8Bit(std::strerror(errno)));
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maxBytes) {
        setError(error, QStringLiteral("larger than %1 bytes").arg(maxBytes));
        return std::nullopt;
    }
    data.truncate(filled);
    return data;
}
