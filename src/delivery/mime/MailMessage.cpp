#include "MailMessage.h"

#include "BetterString.h"
#include "ContentIdNames.h"
#include "MailHelper.h"
#include "MimeHeader.h"
#include "StringEncoder.h"

#include <optional>

namespace {

// A part's header lines (each ending in CRLF) and its body as pieces, so
// that file contents are not copied until the message is written out.
struct Part {
    QByteArray headers;
    QList<QByteArray> body;
};

// endsMessage: the part is the whole message, which SMTP ends with a line
// break of its own.
Part textPart(const StringEncoder &encoder, const char *subtype, bool endsMessage = false)
{
    return {"Content-Type: text/" + QByteArray(subtype) + "; charset=" + encoder.charset().toLatin1()
            + "\r\nContent-Transfer-Encoding: quoted-printable\r\n",
        {encoder.encodedString(endsMessage)}};
}

Part plainPart(const QString &text, bool endsMessage)
{
    StringEncoder encoder(text);
    encoder.guessCharset();
    return textPart(encoder, "plain", endsMessage);
}

Part filePart(const MailAttachment &attachment, const QString &messageID, MailAttachment::Disposition disposition,
    const QString &contentIdName)
{
    return {attachment.mimeHeadersForMessageID(messageID, disposition, contentIdName), {attachment.encData()}};
}

QStringList pathsOf(const QList<MailAttachment> &attachments)
{
    QStringList paths;
    paths.reserve(attachments.size());
    for (const MailAttachment &attachment : attachments)
        paths.append(attachment.filePath());
    return paths;
}

// The CRLF before each delimiter belongs to the delimiter (RFC 2046 5.1.1),
// so a part's body ends exactly where its content does.
Part multipart(const char *subtype, const char *boundary, const QList<Part> &parts, bool relatedToHtml = false)
{
    QByteArray headers = "Content-Type: multipart/" + QByteArray(subtype) + ";\r\n";
    if (relatedToHtml)
        headers += "    type=\"text/html\";\r\n";
    headers += "    boundary=\"" + QByteArray(boundary) + "\"\r\n";
    QList<QByteArray> body;
    for (const Part &part : parts) {
        body.append((body.isEmpty() ? "--" : "\r\n--") + QByteArray(boundary) + "\r\n" + part.headers + "\r\n");
        body.append(part.body);
    }
    body.append("\r\n--" + QByteArray(boundary) + "--");
    return {headers, body};
}

bool isPlainSubject(const QString &subject)
{
    for (const QChar c : subject) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return !subject.contains(QLatin1String("=?")) && !subject.startsWith(u' ') && !subject.endsWith(u' ');
}

// One header line "Name:value", folded; nothing when even folding cannot
// bring every line within the hard limit.
std::optional<QByteArray> headerLine(const QByteArray &name, const QString &value)
{
    const QByteArray line = MimeHeader::folded(name + ':' + value.toLatin1());
    if (!MimeHeader::linesWithin(line, MimeHeader::LineLimit))
        return std::nullopt;
    return line + "\r\n";
}

} // namespace

bool MailMessage::addAttachment(const QString &path)
{
    m_attachments.append(MailAttachment(path));
    return m_attachments.last().isReadable();
}

bool MailMessage::addAttachment(const MailAttachment &attachment)
{
    m_attachments.append(attachment);
    return attachment.isReadable();
}

bool MailMessage::addHTMLAttachment(const QString &path)
{
    m_htmlAttachments.append(MailAttachment(path));
    return m_htmlAttachments.last().isReadable();
}

QString MailMessage::bccString() const
{
    return m_bcc.join(QStringLiteral(", "));
}

QString MailMessage::encodedSubject() const
{
    static constexpr char Name[] = "Subject:";
    static constexpr int NameLength = sizeof(Name) - 1;
    const QString clean = BetterString::controlCharactersAsSpaces(m_subject);
    if (isPlainSubject(clean)) {
        const QByteArray folded = MimeHeader::folded(Name + clean.toLatin1());
        if (MimeHeader::linesWithin(folded, MimeHeader::LineGoal))
            return QString::fromLatin1(folded.mid(NameLength));
    }
    const QString words = BetterString::encodedMIMEHeaderString(clean, NameLength, BetterString::MimeEncoding::Always);
    return QString::fromLatin1(MimeHeader::folded(Name + words.toLatin1()).mid(NameLength));
}

QString MailMessage::mailSMTPData(QString *error) const
{
    const QByteArray text = mailSMTPBytes(error);
    return text.isNull() ? QString() : QString::fromLatin1(text);
}

QByteArray MailMessage::mailSMTPBytes(QString *error) const
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    // Bounded so that a Content-ID line (a file name and the id) stays
    // within 998 characters.
    static constexpr qsizetype LongestMessageID = 250;
    if (m_messageID.isEmpty())
        return fail(QStringLiteral("The message has no Message-ID."));
    if (m_messageID.size() > LongestMessageID)
        return fail(QStringLiteral("The Message-ID is too long."));
    for (const QChar c : m_messageID) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == u'<' || c == u'>')
            return fail(QStringLiteral("The Message-ID holds characters that a header may not."));
    }
    QString why;
    const QString from = MailHelper::encodeMailAddress(m_from, &why, 5);
    if (from.isNull())
        return fail(QStringLiteral("Sender: ") + why);
    const QString to = MailHelper::encodeMailAddress(m_to, &why, 3);
    if (to.isNull())
        return fail(QStringLiteral("Recipient: ") + why);
    for (const QList<MailAttachment> *list : {&m_htmlAttachments, &m_attachments}) {
        for (const MailAttachment &attachment : *list) {
            if (!attachment.isReadable())
                return fail(
                    QStringLiteral("The file \"%1\" cannot be attached: %2.")
                        .arg(BetterString::controlCharactersAsSpaces(attachment.filePath()), attachment.readError()));
        }
    }
    const std::optional<QByteArray> fromLine = headerLine("From", from);
    const std::optional<QByteArray> toLine = headerLine("To", to);
    if (!fromLine || !toLine)
        return fail(QStringLiteral("An address is too long for a header line."));

    // Named as the HTML writer names the inline files (the same list in the
    // same order); the file attachments each get a name none of them has.
    const ContentIdNames names(pathsOf(m_htmlAttachments));
    Part content = plainPart(m_plainBody, !hasFormattedBody() && m_attachments.isEmpty());
    if (hasFormattedBody()) {
        Part html = textPart(StringEncoder::forHtmlPage(m_formattedBody), "html");
        if (!m_htmlAttachments.isEmpty()) {
            QList<Part> related{html};
            for (qsizetype i = 0; i < m_htmlAttachments.size(); ++i)
                related.append(filePart(
                    m_htmlAttachments[i], m_messageID, MailAttachment::Disposition::Inline, names.names()[i]));
            html = multipart("related", RelatedBoundary, related, true);
        }
        content = multipart("alternative", AlternativeBoundary, {content, html});
    }
    if (!m_attachments.isEmpty()) {
        const QStringList fileNames = names.namesForFurtherParts(pathsOf(m_attachments));
        QList<Part> mixed{content};
        for (qsizetype i = 0; i < m_attachments.size(); ++i)
            mixed.append(
                filePart(m_attachments[i], m_messageID, MailAttachment::Disposition::Attachment, fileNames[i]));
        content = multipart("mixed", MixedBoundary, mixed);
    }

    QByteArray head = "Message-ID:<" + m_messageID.toLatin1()
        + ">\r\nDate:" + MailHelper::dateValue(MailHelper::now()).toLatin1() + "\r\n";
    if (m_priority != 3)
        head += "X-Priority: " + QByteArray::number(m_priority) + "\r\n";
    head += *fromLine + *toLine + "Mime-Version: 1.0\r\n" + content.headers + "Subject:" + encodedSubject().toLatin1()
        + "\r\n\r\n";
    qsizetype size = head.size();
    for (const QByteArray &piece : content.body)
        size += piece.size();
    QByteArray text;
    // Room for what the SMTP client puts after the text (CRLF "." CRLF),
    // so that it need not copy the text to add it.
    text.reserve(size + 8);
    text.append(head);
    for (const QByteArray &piece : content.body)
        text.append(piece);
    return text;
}
