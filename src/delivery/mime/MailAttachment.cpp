#include "MailAttachment.h"

#include "BetterString.h"
#include "ContentId.h"
#include "MimeEncoders.h"
#include "MimeHeader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

// The whole file, when it is a regular file of at most `limit` bytes that
// reads without error. Opened without blocking, so a FIFO or device put in
// a file's place cannot stall a send run.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, QString *error)
{
    const auto fail = [&](const QString &why) {
        *error = why;
        return std::nullopt;
    };
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info { };
    if (::fstat(fd, &info) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return fail(QStringLiteral("not a regular file"));
    if (info.st_size > limit)
        return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    QByteArray data(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype filled = 0;
    // Reads one byte past the size found, so that a file that grew is noticed.
    char extra = 0;
    while (true) {
        char *into = filled < data.size() ? data.data() + filled : &extra;
        const size_t room = filled < data.size() ? size_t(data.size() - filled) : 1;
        const ssize_t got = ::read(fd, into, room);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (got == 0)
            break;
        if (filled >= data.size())
            return fail(QStringLiteral("changed while it was read"));
        filled += got;
    }
    if (filled != data.size())
        return fail(QStringLiteral("changed while it was read"));
    return data;
}

} // namespace

MailAttachment::MailAttachment(const QString &path)
    : m_path(path)
    , m_type(typeForPath(path))
{
    QString why;
    if (const std::optional<QByteArray> content = readRegularFile(path, MaxFileSize, &why))
        m_encData = enc_base64_maxLen(*content);
    else
        m_readError = why;
}

QString MailAttachment::fileName() const
{
    return BetterString::lastPathComponent(m_path);
}

QString MailAttachment::typeForPath(const QString &path)
{
    const QString extension = BetterString::fileNameSuffix(path).toLower();
    if (extension == u"jpeg" || extension == u"jpg")
        return QStringLiteral("image/jpeg");
    if (extension == u"gif")
        return QStringLiteral("image/gif");
    if (extension == u"png")
        return QStringLiteral("image/png");
    if (extension == u"pdf")
        return QStringLiteral("application/pdf");
    if (extension == u"zip")
        return QStringLiteral("application/zip");
    if (extension == u"txt")
        return QStringLiteral("text/plain");
    return QStringLiteral("application/octet-stream");
}

QByteArray MailAttachment::mimeDataForMessageID(const QString &messageID, Disposition disposition) const
{
    const QString name = fileName();
    return "Content-Type: " + m_type.toLatin1() + ";\r\n\t" + MimeHeader::parameter("name", name)
        + "\r\nContent-Disposition: " + (disposition == Disposition::Inline ? "inline" : "attachment") + ";\r\n\t"
        + MimeHeader::parameter("filename", name) + "\r\nContent-ID: <"
        + (contentIdNameForPath(m_path) + messageID).toLatin1() + ">\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + m_encData;
}
