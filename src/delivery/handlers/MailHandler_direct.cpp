#include "MailHandler_direct.h"

#include "BetterString.h"
#include "Localizer.h"
#include "MailExchangers.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "SmtpText.h"

#include <QRandomGenerator>
#include <QSysInfo>

#include <algorithm>

namespace {

constexpr uint32_t TypeA = 1;

// The bare address of one list element ("Name <a@b>" gives a@b), or a null
// string when it could not go into a command.
QString envelopeOf(const QString &element)
{
    const std::optional<QByteArray> address = SmtpText::envelopeAddress(element.toUtf8(), false);
    return address ? QString::fromUtf8(*address) : QString();
}

} // namespace

MailHandler_direct::MailHandler_direct()
{
    // An exchanger that does not answer must not hold up the whole run.
    m_smtpMail.setTimeout(TimeoutSeconds);
}

void MailHandler_direct::setTimeouts(int exchangerSeconds, std::chrono::milliseconds messageLimit)
{
    m_smtpMail.setTimeout(exchangerSeconds);
    m_messageTimeLimit = messageLimit;
}

void MailHandler_direct::beginMessage()
{
    m_deadline.reset();
}

bool MailHandler_direct::mayRetryLastFailure() const
{
    return !m_permanent && (!m_deadline || std::chrono::steady_clock::now() < *m_deadline);
}

MailHandler_direct::~MailHandler_direct() = default;

bool MailHandler_direct::checkAccountData(const QVariantMap &account)
{
    return !account.value(QStringLiteral("mailFromAddress")).toString().isEmpty();
}

void MailHandler_direct::setConnectionData(const QVariantMap &account)
{
    const QString from = envelopeOf(account.value(QStringLiteral("mailFromAddress")).toString());
    const qsizetype at = from.lastIndexOf(QLatin1Char('@'));
    m_messageIdDomain = at >= 0 ? from.mid(at + 1) : QString();
}

QString MailHandler_direct::newMessageID()
{
    const QString domain = m_messageIdDomain.isEmpty() ? QSysInfo::machineHostName() : m_messageIdDomain;
    return MailHelper::createMessageID(QStringLiteral("Corvantiline"), domain);
}

int MailHandler_direct::connect()
{
    return m_dnsResolver.open();
}

int MailHandler_direct::disconnect()
{
    m_smtpMail.disconnect();
    m_dnsResolver.close();
    return 0;
}

int MailHandler_direct::sendMessage(const MailMessage &message)
{
    m_failedAddress.clear();
    m_failedHost.clear();
    m_triedHosts.clear();
    m_outOfTime = false;
    m_mayHaveDelivered = false;
    m_permanent = false;
    m_refusal.clear();
    // Every address on its own, so that each exchanger learns only of its own recipient.
    QStringList addresses = SmtpText::splitAddressList(message.to());
    for (const QString &bcc : message.bcc())
        addresses += SmtpText::splitAddressList(bcc);
    if (addresses.isEmpty()) {
        m_failedAddress = message.to();
        return NoExchanger;
    }
    // Without a Message-ID two messages cannot be told apart: nothing is skipped.
    const QString key = message.messageID().isEmpty()
        ? QString()
        : message.messageID() + QLatin1Char('\n') + message.to() + QLatin1Char('\n') + message.bcc().join(QLatin1Char('\n'));
    if (key.isEmpty() || key != m_deliveredMessage) {
        m_deliveredMessage = key;
        m_deliveredAddresses.clear();
        m_deadline.reset();
    }
    // Every address and exchanger, and the message's retry, within one limit.
    if (!m_deadline)
        m_deadline = std::chrono::steady_clock::now() + m_messageTimeLimit;
    QString text;
    for (const QString &address : addresses) {
        if (m_deliveredAddresses.contains(address))
            continue;
        if (const int result = sendMessageTo(message, text, address)) {
            // Whatever comes next, this exchanger is never offered it again.
            if (m_mayHaveDelivered && !key.isEmpty())
                m_deliveredAddresses.insert(address);
            return result;
        }
        if (!key.isEmpty())
            m_deliveredAddresses.insert(address);
    }
    return 0;
}

QString MailHandler_direct::getMailDomain(const QString &address)
{
    const QString bare = envelopeOf(address);
    return bare.isNull() ? QString() : mailHostForAddress(m_dnsResolver, bare);
}

int MailHandler_direct::sendMessageTo(const MailMessage &message, QString &text, const QString &address)
{
    m_failedAddress = address;
    m_triedHosts.clear();
    // An address that cannot be sent has no exchanger to look for.
    const std::optional<QByteArray> bare = SmtpText::envelopeAddress(address.toUtf8(), false, &m_refusal);
    if (!bare) {
        m_permanent = true;
        return SMTPMail::NoConnect;
    }
    QList<MailExchanger> exchangers = mailHostsForAddress(m_dnsResolver, QString::fromUtf8(*bare));
    if (exchangers.isEmpty())
        return NoExchanger;
    // RFC 5321 5.1: those of equal preference in random order, which
    // spreads the load as the domain intends.
    for (auto run = exchangers.begin(); run != exchangers.end();) {
        const auto end = std::find_if(run, exchangers.end(), [&](const MailExchanger &e) {
            return e.preference != run->preference;
        });
        std::shuffle(run, end, *QRandomGenerator::global());
        run = end;
    }
    // Built once for all addresses; a message that cannot be written goes nowhere.
    if (text.isNull()) {
        text = message.mailSMTPData(&m_refusal);
        if (text.isNull()) {
            m_permanent = true;
            return SMTPMail::NoConnect;
        }
    }

    m_smtpMail.setDeadline(m_deadline, true);
    int result = SessionFailed;
    for (const MailExchanger &exchanger : exchangers) {
        if (std::chrono::steady_clock::now() >= *m_deadline) {
            m_outOfTime = true;
            break;
        }
        m_failedHost = exchanger.host;
        m_triedHosts.append(exchanger.host);
        result = deliverTo(exchanger.host, message, text, address);
        // Taken, cut by the user, maybe taken, or refused for good: no other
        // exchanger is asked. A session that failed, or a 4yz to the
        // message, gives way to the next.
        if (result == 0 || result == SMTPMail::Cancelled || m_mayHaveDelivered || m_permanent)
            return result;
    }
    return result;
}

int MailHandler_direct::deliverTo(const QString &host, const MailMessage &message, const QString &text,
                                  const QString &address)
{
    // The exchanger's address through the same resolver that named it; the
    // system's lookup only for one without an IPv4 address.
    QString server = host;
    if (const std::unique_ptr<DNSRecord> record = m_dnsResolver.resolveName(host, DNSResolver::QueryA)) {
        for (const DNSEntry &entry : record->entries()) {
            if (entry.answer().rrType == TypeA && entry.answer().dataLength == 4) {
                server = entry.rdataAsAddress();
                break;
            }
        }
    }

    m_smtpMail.setServer(server);
    m_smtpMail.setPort(QString::number(m_smtpPort));
    m_smtpMail.setAuthentication(0);
    m_smtpMail.setEncryption(0);
    int result = m_smtpMail.connect();
    // A user's cancel stays a cancel, whichever stage it stopped.
    if (result == SMTPMail::Cancelled)
        return result;
    if (result != 0)
        return SessionFailed;
    result = m_smtpMail.sendMessage(text, message.from(), address, {});
    m_mayHaveDelivered = result != 0 && m_smtpMail.lastSendMayHaveDelivered();
    m_permanent = result != 0 && m_smtpMail.lastFailureIsPermanent();
    m_smtpMail.disconnect();
    if (result == SMTPMail::Cancelled)
        return result;
    if (result == SMTPMail::NoConnect && !m_smtpMail.lastRefusal().isEmpty()) {
        m_refusal = m_smtpMail.lastRefusal();
        return result;
    }
    if (result != 0)
        return MessageRefused;
    m_failedAddress.clear();
    m_failedHost.clear();
    return 0;
}

QString MailHandler_direct::getErrorDesc(int result)
{
    QString text;
    // Also for a wait the user cut (16): which exchanger may have it is what counts.
    switch (m_mayHaveDelivered ? MessageRefused : result) {
    case NoExchanger:
        text = Localizer::localizedString("SendErrors", "Direct no exchanger");
        break;
    case SessionFailed:
        text = Localizer::localizedString("SendErrors", "Direct session failed");
        break;
    case MessageRefused:
        text = m_mayHaveDelivered ? Localizer::localizedString("SendErrors", "Direct answer lost")
                                  : Localizer::localizedString("SendErrors", "Direct message refused");
        break;
    case SMTPMail::NoConnect:
        if (m_refusal.isEmpty())
            return m_smtpMail.getErrorDesc(result);
        text = SMTPMail::refusalText(m_refusal);
        if (!m_failedAddress.isEmpty())
            text += QStringLiteral("\nAddress: ") + BetterString::controlCharactersAsSpaces(m_failedAddress);
        return text;
    default:
        return m_smtpMail.getErrorDesc(result);
    }
    if (!m_failedAddress.isEmpty())
        text += QStringLiteral("\nAddress: ") + BetterString::controlCharactersAsSpaces(m_failedAddress);
    if (!m_failedHost.isEmpty())
        text += QStringLiteral("\nMail exchanger: ") + m_failedHost;
    if (m_triedHosts.size() > 1 || m_outOfTime)
        text += QStringLiteral("\nMail exchangers tried: ") + m_triedHosts.join(QStringLiteral(", "))
            + (m_outOfTime ? QStringLiteral(" (the time for the message ran out)") : QString());
    // The server's own words, for a session that got that far.
    if (result != NoExchanger)
        text += QLatin1Char('\n') + m_smtpMail.getErrorDesc(result);
    return text;
}
