#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>
#include <optional>
#include <vector>

// One file of a message: read and base64-encoded once, when it is made.
// Immutable afterwards, so copies share the encoded text.
class MailAttachment {
public:
    // Files above this are refused: the whole file is held in memory, base64
    // makes it a third larger, and few servers take much more anyway.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    enum class Disposition { Attachment, Inline };

    // Reads the file now. A file that cannot be read (missing, not a regular
    // file, too large, a read error) gives no content and a readError, which
    // makes the message that holds it fail to build.
    explicit MailAttachment(const QString &path);

    [[nodiscard]] const QString &filePath() const { return m_path; }
    [[nodiscard]] QString fileName() const;
    [[nodiscard]] const QString &type() const { return m_type; }
    // The content in base64, CRLF after every 76 characters.
    [[nodiscard]] const QByteArray &encData() const { return m_encData; }
    [[nodiscard]] bool isReadable() const { return m_readError.isEmpty(); }
    [[nodiscard]] const QString &readError() const { return m_readError; }

    // The part: its header lines, a blank line and the base64 text (no CRLF
    // after it: the boundary line that follows brings its own). Its
    // Content-ID is <contentIdName + messageID>; a null name stands for the
    // file's plain name (contentIdNameForPath), which another part of the
    // message may share (ContentIdNames tells them apart).
    [[nodiscard]] QByteArray mimeDataForMessageID(const QString &messageID,
        Disposition disposition = Disposition::Attachment, const QString &contentIdName = QString()) const;
    // Only the header lines of that part, each ending in CRLF.
    [[nodiscard]] QByteArray mimeHeadersForMessageID(const QString &messageID,
        Disposition disposition = Disposition::Attachment, const QString &contentIdName = QString()) const;

    // The MIME type by the file's extension, in any case; octet-stream for
    // anything unknown.
    [[nodiscard]] static QString typeForPath(const QString &path);

    // What tells one state of a file from another: device, inode, size and
    // the change and modification times, as the read found them.
    struct FileStamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modified = 0; // nanoseconds since the epoch
        qint64 changed = 0;  // nanoseconds since the epoch
        bool operator==(const FileStamp &) const = default;
    };
    [[nodiscard]] const FileStamp &fileStamp() const { return m_stamp; }

private:
    friend class MailAttachmentCache;
    MailAttachment(const QString &path, const std::optional<QByteArray> &content, const FileStamp &stamp,
                   const QString &readError);

    QString m_path;
    QString m_type;
    QByteArray m_encData;
    QString m_readError;
    FileStamp m_stamp;
    // A text file in UTF-8 that needs it said.
    bool m_utf8Text = false;
};

// The attachments of one send run: a file that many messages carry is read
// and encoded once, and every message shares the encoded text. An entry is
// used only while the file at the path is still the one that was read (the
// same FileStamp); a file that changed is read again, and one that cannot
// be read is never kept. Safe to use from any thread.
class MailAttachmentCache {
public:
    // Files kept, the most recently used first; beyond the first, no more
    // than MaxBytes of them, so a file per recipient costs little memory.
    static constexpr qsizetype MaxEntries = 8;
    static constexpr qint64 MaxBytes = 32 * 1024 * 1024;
    // A file changed this recently may change again within the same tick of
    // its file system's clock, which its stamp would not show: until it is
    // older, its entry is used only when the content read again is equal.
    static constexpr qint64 SettleNanoseconds = 2'000'000'000;

    // As MailAttachment(path), from the cache when the file is unchanged.
    [[nodiscard]] MailAttachment attachment(const QString &path);

private:
    struct Entry {
        MailAttachment attachment;
        // The content, kept only while the stamp is too recent to trust.
        QByteArray content;
        bool verify = false;
        [[nodiscard]] qint64 bytes() const { return attachment.encData().size() + content.size(); }
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
};
