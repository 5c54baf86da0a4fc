#pragma once

#include "DNSResolver.h"
#include "MailHandler.h"
#include "SMTPMail.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <optional>

// Delivers every message straight to the mail exchanger of each recipient's
// domain: one DNS lookup and one SMTP session per address, on port 25,
// without authentication or encryption. Needs no server of its own.
//
// The exchangers of a domain are tried in preference order (equal ones in
// random order, RFC 5321 5.1) until one takes the message; one that cannot
// be reached, greets with a refusal or answers the message with a 4yz
// reply gives way to the next, a 5yz reply to the message is final. Each
// exchanger has the stage time-out, one message (its retry included) a
// time limit in all.
class MailHandler_direct : public MailHandler {
public:
    static constexpr int TimeoutSeconds = 10;
    static constexpr std::chrono::seconds MessageTimeLimit{60};
    // No exchanger for the address (no domain, lookup failed, null MX).
    static constexpr int NoExchanger = -1;
    // The session to the exchanger could not be opened (connect, greeting, EHLO).
    static constexpr int SessionFailed = -11;
    // The exchanger refused the message (sender, recipient, data, end of
    // data), or its answer to the whole message was lost: see
    // lastFailureMayHaveDelivered.
    static constexpr int MessageRefused = -12;

    MailHandler_direct();
    ~MailHandler_direct() override;
    Q_DISABLE_COPY_MOVE(MailHandler_direct)

    // True when "mailFromAddress" is not empty.
    [[nodiscard]] static bool checkAccountData(const QVariantMap &account);

    void setConnectionData(const QVariantMap &account) override;
    // Unique per message, for the sender's domain.
    [[nodiscard]] QString newMessageID() override;
    void setProgressCallback(SmtpProgressDelegate *callback) override { m_smtpMail.setProgressCallback(callback); }
    [[nodiscard]] SmtpProgressDelegate *progressCallback() const override { return m_smtpMail.getProgressCallback(); }

    // Opens the resolver afresh (the engine reconnects after a failure).
    [[nodiscard]] int connect() override;
    int disconnect() override;
    // Each address of `to`, then of every blind copy, in order; the first
    // failure ends the message. Sent again after a failure, the same message
    // (same Message-ID and addresses) skips the addresses that took it.
    [[nodiscard]] int sendMessage(const MailMessage &message) override;
    [[nodiscard]] QString getErrorDesc(int result) override;
    // The failed address's exchanger had the whole message and its answer
    // was lost; the addresses after it were not tried.
    [[nodiscard]] bool lastFailureMayHaveDelivered() const override { return m_mayHaveDelivered; }
    void beginMessage() override;
    [[nodiscard]] bool mayRetryLastFailure() const override;

    // The host that takes mail for one address, or a null string.
    [[nodiscard]] QString getMailDomain(const QString &address);

    // Tests: exchangers on loopback addresses, a name server of their own,
    // shorter times.
    void setSmtpPort(quint16 port) { m_smtpPort = port; }
    void setTimeouts(int exchangerSeconds, std::chrono::milliseconds messageLimit);
    bool setNameServer(const QString &address, quint16 port) { return m_dnsResolver.setNameServer(address, port); }

private:
    // text: the message's SMTP text, built at the first address that has an exchanger.
    int sendMessageTo(const MailMessage &message, QString &text, const QString &address);
    // One session with one exchanger.
    int deliverTo(const QString &host, const MailMessage &message, const QString &text, const QString &address);

    SMTPMail m_smtpMail;
    DNSResolver m_dnsResolver;
    quint16 m_smtpPort = 25;
    std::chrono::milliseconds m_messageTimeLimit = MessageTimeLimit;
    QString m_messageIdDomain;
    QString m_failedAddress;
    QString m_failedHost;
    // The exchangers of the failed address that were tried, in order.
    QStringList m_triedHosts;
    bool m_outOfTime = false;
    bool m_mayHaveDelivered = false;
    // The last failure was final: the message is not worth sending again.
    bool m_permanent = false;
    // When the current message's time runs out; none before its first send.
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    // Why the message was refused before any exchanger saw it (result 1).
    QString m_refusal;
    // The engine sends a failed message once more: addresses that took it
    // the first time must not get it twice. Kept for one message only.
    QString m_deliveredMessage;
    QSet<QString> m_deliveredAddresses;
};
