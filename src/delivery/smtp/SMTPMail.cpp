#include "SMTPMail.h"

#include "Localizer.h"
#include "MailMessage.h"
#include "MimeEncoders.h"
#include "SmtpText.h"
#include "Values.h"

namespace {

// The text of each code, from the table "smtpErrors".
QString localizedErrorText(int code)
{
    switch (code) {
    case 1:
    case 2:
        return Localizer::localizedString("smtpErrors", "smtp_err_noconnect");
    case 3:
    case 4:
    case -1: // a write failed: the connection is gone, or the server takes nothing
        return Localizer::localizedString("smtpErrors", "smtp_err_connect_lost");
    case 5:
    case 6:
    case 7:
        return Localizer::localizedString("smtpErrors", "smtp_err_badgreeting");
    case 8:
    case 14:
    case 15:
        return Localizer::localizedString("smtpErrors", "smtp_err_badrcptreply");
    case 9:
    case 10:
        return Localizer::localizedString("smtpErrors", "smtp_err_badmail");
    case 11:
        return Localizer::localizedString("smtpErrors", "smtp_err_badreply");
    case 12:
    case 13:
        return Localizer::localizedString("smtpErrors", "smtp_err_noauth");
    case 17:
        return Localizer::localizedString("smtpErrors", "smtp_err_badstarttlsreply");
    default:
        return QString();
    }
}

// At most this much of a server's reply goes into an error text: it is
// shown and logged, and a server may send thousands of lines.
constexpr int QuotedReplyLines = 4;
constexpr int QuotedLineLength = 200;

QString quotedReply(const char *reply)
{
    QStringList lines = QString::fromUtf8(reply).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const bool cut = lines.size() > QuotedReplyLines;
    if (cut)
        lines.resize(QuotedReplyLines);
    for (QString &line : lines) {
        if (line.size() > QuotedLineLength)
            line = line.left(QuotedLineLength) + QStringLiteral("...");
    }
    if (cut)
        lines.append(QStringLiteral("(further lines left out)"));
    return lines.join(QStringLiteral("\r\n")) + (lines.isEmpty() ? QString() : QStringLiteral("\r\n"));
}

} // namespace

SMTPMail::~SMTPMail()
{
    if (m_connected)
        disconnect();
    smtp_closeStreams(m_session);
}

void SMTPMail::setPassword(const QString &password)
{
    if (!password.isNull())
        m_serverPassword = password;
}

bool SMTPMail::setPort(const QString &port)
{
    const int value = intValue(port);
    m_serverPort = value >= 1 && value <= 65535 ? value : 0;
    return m_serverPort != 0;
}

int SMTPMail::connect()
{
    m_refusal.clear();
    m_mayHaveDelivered = false;
    m_permanentFailure = false;
    if (m_connected)
        disconnect();
    m_session.timeoutTime = m_timeoutTime;
    m_session.encryption = m_smtpEncryption;
    m_session.receiveCallback = m_progressCallback;
    m_session.sendCallback = nullptr;
    if (m_serverPort < 1 || m_serverPort > 65535)
        return NoConnect;
    int result = smtp_connect(m_session, m_serverAddr.toUtf8().constData(), uint16_t(m_serverPort));
    if (result != 0) {
        smtp_closeStreams(m_session);
        return result;
    }
    if (m_authenticate) {
        if (m_accountLogin.isEmpty() || m_serverPassword.isEmpty()) {
            smtp_closeStreams(m_session);
            return AuthFailed;
        }
        // RFC 4616 and RFC 4954 carry UTF-8; the base64 keeps it intact.
        QByteArray login = m_accountLogin.toUtf8();
        QByteArray password = m_serverPassword.toUtf8();
        if (m_session.auth_mechanisms & SMTP_Session::AuthPlain)
            result = smtp_auth_plain(m_session, QByteArray(), login, password);
        else if (m_session.auth_mechanisms & SMTP_Session::AuthLogin)
            result = smtp_auth_login(m_session, login, password);
        else if (m_session.authOffered)
            result = AuthFailed; // only mechanisms this client cannot speak
        password.fill('\0');
        if (result != 0) {
            smtp_closeStreams(m_session);
            return result;
        }
    }
    m_connected = true;
    return 0;
}

int SMTPMail::refuse(const QString &reason)
{
    m_refusal = reason;
    m_permanentFailure = true;
    return NoConnect;
}

int SMTPMail::sendMailMessage(const MailMessage &message)
{
    m_refusal.clear();
    m_permanentFailure = false;
    // A message that cannot be built correctly is not sent at all.
    QString why;
    QByteArray text = message.mailSMTPBytes(&why);
    if (text.isNull())
        return refuse(why);
    // The text is ASCII but for what a header may carry as it is; that goes
    // out as UTF-8, as sendMessage would send it.
    if (smtp_is_non_ascii(text))
        text = QString::fromLatin1(text).toUtf8();
    return sendData(std::move(text), message.from(), message.to(), message.bcc());
}

int SMTPMail::sendMessage(const QString &text, const QString &from, const QString &to, const QStringList &bcc)
{
    m_refusal.clear();
    m_permanentFailure = false;
    return sendData(text.toUtf8(), from, to, bcc);
}

int SMTPMail::sendData(QByteArray text, const QString &from, const QString &to, const QStringList &bcc)
{
    m_mayHaveDelivered = false;
    m_session.timedOut = false;
    if (!m_connected || !m_session.lineWriter)
        return WriteFailed;
    const QByteArray sender = from.toUtf8();
    QList<QByteArray> recipients;
    for (const QString &address : SmtpText::splitAddressList(to))
        recipients.append(address.toUtf8());
    for (const QString &entry : bcc) {
        for (const QString &address : SmtpText::splitAddressList(entry))
            recipients.append(address.toUtf8());
    }
    // Nothing is written unless every envelope address can be sent.
    QString why;
    if (!SmtpText::envelopeAddress(sender, true, &why))
        return refuse(QStringLiteral("Sender: ") + why);
    if (recipients.isEmpty())
        return refuse(QStringLiteral("No recipient address was given."));
    for (const QByteArray &recipient : recipients) {
        if (!SmtpText::envelopeAddress(recipient, false, &why))
            return refuse(QStringLiteral("Recipient: ") + why);
    }

    const int result = transact(std::move(text), sender, recipients);
    m_mayHaveDelivered = result != 0 && m_session.endOfDataSent && m_session.lastReplyCode == -1;
    // The code of the failed stage's own reply: only a reply tells.
    m_permanentFailure = (result == MailFromRefused || result == RecipientRefused || result == RcptFailed
                          || result == DataRefused || result == MessageRefused)
        && m_session.lastReplyCode >= 500 && m_session.lastReplyCode <= 599;
    return result;
}

int SMTPMail::transact(QByteArray text, const QByteArray &sender, const QList<QByteArray> &recipients)
{
    m_session.sendCallback = nullptr;
    if (const int result = smtp_send_from(m_session, sender))
        return result;
    for (const QByteArray &recipient : recipients) {
        if (const int result = smtp_send_to(m_session, recipient))
            return result;
    }
    if (const int result = smtp_start_data(m_session))
        return result;
    m_session.sendCallback = m_progressCallback;
    const int result = smtp_send_text_and_end(m_session, std::move(text));
    m_session.sendCallback = nullptr;
    return result;
}

int SMTPMail::sendTestFrom(const QString &address)
{
    m_refusal.clear();
    if (!m_connected || !m_session.lineWriter)
        return WriteFailed;
    QString why;
    if (!SmtpText::envelopeAddress(address.toUtf8(), true, &why))
        return refuse(why);
    m_session.sendCallback = nullptr;
    return smtp_send_from(m_session, address.toUtf8());
}

int SMTPMail::disconnect()
{
    if (m_connected) {
        smtp_disconnect(m_session);
        m_connected = false;
    }
    return 0;
}

QString SMTPMail::getErrorDesc(int code) const
{
    // Nothing went to the server: its last reply would only mislead.
    if (code == NoConnect && !m_refusal.isEmpty())
        return refusalText(m_refusal);
    return headline(code) + QStringLiteral("\nMail Error: ") + QString::number(code)
        + QStringLiteral("\nServer Reply Num: ") + QString::number(m_session.lastReplyCode)
        + QStringLiteral("\nServer Reply: ") + quotedReply(m_session.lastReply) + QStringLiteral("\nSystem Error: ")
        + QString::number(m_session.lastSystemError)
        + (m_session.lastErrorText.isEmpty() ? QString() : QStringLiteral("\nReason: ") + m_session.lastErrorText);
}

QString SMTPMail::headline(int code) const
{
    // "Not accepted" would be wrong: the server had the whole message. A
    // user's cut of the wait is no failure and has no headline.
    if (m_mayHaveDelivered && code != Cancelled)
        return Localizer::localizedString("smtpErrors", "smtp_err_noanswer");
    const QString &reason = m_session.lastErrorText;
    if (code == StartTlsFailed && m_session.encryption == 1)
        return Localizer::localizedString("smtpErrors", "smtp_err_notls").arg(reason);
    if (code == StartTlsFailed && !reason.isEmpty())
        return Localizer::localizedString("smtpErrors", "smtp_err_nostarttls").arg(reason);
    return localizedErrorText(code);
}

QString SMTPMail::refusalText(const QString &reason)
{
    return Localizer::localizedString("smtpErrors", "smtp_err_notsendable") + QStringLiteral("\nMail Error: ")
        + QString::number(NoConnect) + QStringLiteral("\nReason: ") + reason;
}
