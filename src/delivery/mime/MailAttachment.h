#pragma once

#include <QByteArray>
#include <QString>

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
    // after it: the boundary line that follows brings its own).
    [[nodiscard]] QByteArray mimeDataForMessageID(
        const QString &messageID, Disposition disposition = Disposition::Attachment) const;

    // The MIME type by the file's extension, in any case; octet-stream for
    // anything unknown.
    [[nodiscard]] static QString typeForPath(const QString &path);

private:
    QString m_path;
    QString m_type;
    QByteArray m_encData;
    QString m_readError;
};
