#pragma once

#include "MailAttachment.h"

#include <QList>
#include <QString>
#include <QStringList>

// One outgoing message and its MIME text. The send engine fills it per
// recipient; the SMTP client sends what mailSMTPData gives, unchanged.
//
// Structure: text/plain alone; with HTML a multipart/alternative of the plain
// part and the HTML part, the HTML part inside a multipart/related with its
// inline images when there are any; with attachments all of that as the
// first part of a multipart/mixed, followed by the files.
class MailMessage {
public:
    // Fixed, so equal messages give equal text. "=_" never occurs in
    // quoted-printable or base64 text, and none is a prefix of another
    // (RFC 2046 5.1.1).
    static constexpr char MixedBoundary[] = "=_6cd363f8a0b8213a8cfa81";
    static constexpr char AlternativeBoundary[] = "=_6cd363f8a0b8213a8cfa82";
    static constexpr char RelatedBoundary[] = "=_6cd363f8a0b8213a8cfa83";

    void setFrom(const QString &from) { m_from = from; }
    void setTo(const QString &to) { m_to = to; }
    void setBCC(const QStringList &bcc) { m_bcc = bcc; }
    void setSubject(const QString &subject) { m_subject = subject; }
    void setMessageID(const QString &messageID) { m_messageID = messageID; }
    void setPlainBody(const QString &body) { m_plainBody = body; }
    // A null string means no HTML part.
    void setFormattedBody(const QString &html) { m_formattedBody = html; }
    void setPriority(int priority) { m_priority = priority; }

    [[nodiscard]] const QString &from() const { return m_from; }
    [[nodiscard]] const QString &to() const { return m_to; }
    [[nodiscard]] const QStringList &bcc() const { return m_bcc; }
    [[nodiscard]] const QString &subject() const { return m_subject; }
    [[nodiscard]] const QString &messageID() const { return m_messageID; }
    [[nodiscard]] const QString &plainBody() const { return m_plainBody; }
    [[nodiscard]] const QString &formattedBody() const { return m_formattedBody; }
    [[nodiscard]] bool hasFormattedBody() const { return !m_formattedBody.isNull(); }
    [[nodiscard]] int priority() const { return m_priority; }
    [[nodiscard]] const QList<MailAttachment> &attachments() const { return m_attachments; }
    [[nodiscard]] const QList<MailAttachment> &htmlAttachments() const { return m_htmlAttachments; }

    // Read the file now. False when it cannot be read; the attachment is kept
    // all the same, so the message refuses to build rather than go out
    // without it.
    bool addAttachment(const QString &path);
    bool addHTMLAttachment(const QString &path);
    // One read before (a MailAttachmentCache's): its encoded text is shared.
    bool addAttachment(const MailAttachment &attachment);
    void clearAttachments() { m_attachments.clear(); }

    // The blind copies joined by ", ".
    [[nodiscard]] QString bccString() const;

    // The value of the "Subject:" header as written, folded.
    [[nodiscard]] QString encodedSubject() const;

    // The whole message text, lines ending in CRLF. It ends in CRLF only
    // where the last part's text does; the SMTP client adds the one that
    // any message ends in otherwise.
    // Built anew on every call. A message that cannot be written correctly
    // (no or a broken address, a control character in an address, an
    // unreadable attachment, no Message-ID) gives a null string and the
    // reason in `error`; nothing of it must be sent.
    [[nodiscard]] QString mailSMTPData(QString *error = nullptr) const;
    // The same text in its bytes (Latin-1), as the SMTP client sends it;
    // null when mailSMTPData is. Written into one buffer of the final size.
    [[nodiscard]] QByteArray mailSMTPBytes(QString *error = nullptr) const;

private:
    QString m_from;
    QString m_to;
    QStringList m_bcc;
    QString m_subject;
    QString m_messageID;
    QString m_plainBody;
    QString m_formattedBody;
    int m_priority = 0;
    QList<MailAttachment> m_attachments;
    QList<MailAttachment> m_htmlAttachments;
};
