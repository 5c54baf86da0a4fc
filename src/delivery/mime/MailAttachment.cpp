#include "MailAttachment.h"

#include "BetterString.h"
#include "ContentId.h"
#include "MimeEncoders.h"
#include "MimeHeader.h"

#include <QUtf8StringView>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <optional>

namespace {

MailAttachment::FileStamp stampOf(const struct stat &info)
{
    constexpr qint64 Billion = 1000000000;
    MailAttachment::FileStamp stamp;
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    stamp.size = qint64(info.st_size);
    stamp.modified = qint64(info.st_mtim.tv_sec) * Billion + info.st_mtim.tv_nsec;
    stamp.changed = qint64(info.st_ctim.tv_sec) * Billion + info.st_ctim.tv_nsec;
    return stamp;
}

// The whole file, when it is a regular file of at most `limit` bytes that
// reads without error. Opened without blocking, so a FIFO or device put in
// a file's place cannot stall a send run. `stamp` is the file's as opened.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, QString *error,
                                          MailAttachment::FileStamp *stamp)
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
    *stamp = stampOf(info);
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

// Whether the bytes are UTF-8 (RFC 3629: Qt's check refuses overlong forms,
// surrogates and anything above U+10FFFF) with at least one character
// outside ASCII.
bool isUtf8BeyondAscii(const QByteArray &bytes)
{
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char byte) { return uchar(byte) < 0x80; });
    return !ascii && QUtf8StringView(bytes).isValidUtf8();
}

} // namespace

MailAttachment::MailAttachment(const QString &path)
{
    QString why;
    FileStamp stamp;
    const std::optional<QByteArray> content = readRegularFile(path, MaxFileSize, &why, &stamp);
    *this = MailAttachment(path, content, stamp, why);
}

MailAttachment::MailAttachment(const QString &path, const std::optional<QByteArray> &content,
                               const FileStamp &stamp, const QString &readError)
    : m_path(path)
    , m_type(typeForPath(path))
{
    if (content) {
        m_encData = enc_base64_maxLen(*content);
        m_stamp = stamp;
        // Text without a charset is read as US-ASCII (RFC 2046 4.1.2).
        m_utf8Text = m_type == u"text/plain" && isUtf8BeyondAscii(*content);
    } else {
        m_readError = readError;
    }
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

QByteArray MailAttachment::mimeHeadersForMessageID(
    const QString &messageID, Disposition disposition, const QString &contentIdName) const
{
    const QString name = fileName();
    const QString contentId = contentIdName.isNull() ? contentIdNameForPath(m_path) : contentIdName;
    return "Content-Type: " + m_type.toLatin1() + (m_utf8Text ? "; charset=utf-8" : "") + ";\r\n\t"
        + MimeHeader::parameter("name", name)
        + "\r\nContent-Disposition: " + (disposition == Disposition::Inline ? "inline" : "attachment") + ";\r\n\t"
        + MimeHeader::parameter("filename", name) + "\r\nContent-ID: <"
        + (contentId + messageID).toLatin1() + ">\r\nContent-Transfer-Encoding: base64\r\n";
}

QByteArray MailAttachment::mimeDataForMessageID(
    const QString &messageID, Disposition disposition, const QString &contentIdName) const
{
    return mimeHeadersForMessageID(messageID, disposition, contentIdName) + "\r\n" + m_encData;
}

MailAttachment MailAttachmentCache::attachment(const QString &path)
{
    const QByteArray native = path.toLocal8Bit();
    struct stat info { };
    const bool found = ::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode);
    const MailAttachment::FileStamp stamp = found ? stampOf(info) : MailAttachment::FileStamp{};
    const std::lock_guard guard(m_mutex);
    const auto useEntry = [this](size_t at) {
        std::rotate(m_entries.begin(), m_entries.begin() + qsizetype(at), m_entries.begin() + qsizetype(at) + 1);
        return m_entries.front().attachment;
    };
    // The entry of this path, kept only while the file is the one it was read from.
    std::optional<size_t> entry;
    for (size_t at = 0; at < m_entries.size(); ++at) {
        if (m_entries[at].attachment.filePath() != path)
            continue;
        if (found && m_entries[at].attachment.fileStamp() == stamp)
            entry = at;
        else
            m_entries.erase(m_entries.begin() + qsizetype(at));
        break;
    }
    if (entry && !m_entries[*entry].verify)
        return useEntry(*entry);

    // Room first, so that the old files and the new one are not all held at once.
    const qint64 expected = found ? qint64(info.st_size) * 2 : 0;
    qint64 held = 0;
    for (const Entry &kept : m_entries)
        held += kept.bytes();
    while (!m_entries.empty() && (held + expected > MaxBytes || qsizetype(m_entries.size()) >= MaxEntries)) {
        if (entry && *entry == m_entries.size() - 1)
            break;
        held -= m_entries.back().bytes();
        m_entries.pop_back();
    }

    // Read under the lock: threads that want the same file read it once.
    QString why;
    MailAttachment::FileStamp readStamp;
    const std::optional<QByteArray> content = readRegularFile(path, MailAttachment::MaxFileSize, &why, &readStamp);
    timespec now { };
    ::clock_gettime(CLOCK_REALTIME, &now);
    const bool recent = std::max(readStamp.modified, readStamp.changed)
        > qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec - SettleNanoseconds;
    if (entry) {
        Entry &kept = m_entries[*entry];
        if (content && readStamp == stamp && *content == kept.content) {
            if (!recent) {
                kept.verify = false;
                kept.content = QByteArray();
            }
            return useEntry(*entry);
        }
        m_entries.erase(m_entries.begin() + qsizetype(*entry));
    }
    MailAttachment fresh(path, content, readStamp, why);
    if (fresh.isReadable()) {
        m_entries.insert(m_entries.begin(), Entry{fresh, recent ? *content : QByteArray(), recent});
        if (qsizetype(m_entries.size()) > MaxEntries)
            m_entries.pop_back();
    }
    return fresh;
}
