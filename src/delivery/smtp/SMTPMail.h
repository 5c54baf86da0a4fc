#pragma once

#include "SMTP_Session.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

class MailMessage;

// One SMTP client with an account's connection settings: connect (STARTTLS
// and AUTH included), send messages on the open connection, disconnect, and
// the error text of a result code. Used by one thread at a time.
//
// Results: 0 success; 16 the progress delegate stopped a wait (the user
// cancelled; not an error); otherwise a failure whose text getErrorDesc
// gives. A failed transaction is not reset: the caller disconnects.
class SMTPMail {
public:
    enum Error {
        NoConnect = 1,         // no local host name, server name too long, unusable envelope address
        HostUnreachable = 2,   // name does not resolve, streams cannot be made or opened
        BadGreeting = 5,       // greeting not 220
        HelloWriteFailed = 6,  // EHLO (and HELO) could not be written
        HelloRefused = 7,      // EHLO not answered 250
        RcptFailed = 8,        // RCPT TO answered neither 250 nor 550
        DataRefused = 9,       // DATA not answered 354
        MessageRefused = 10,   // the final "." not answered 250
        AuthFailed = 12,       // no login or password, no mechanism in common, or an unexpected reply
        AuthOutOfSequence = 13, // AUTH PLAIN answered 503
        MailFromRefused = 14,  // MAIL FROM not answered 250
        RecipientRefused = 15, // RCPT TO answered 550
        Cancelled = 16,        // the progress delegate said stop
        StartTlsFailed = 17,   // STARTTLS not offered or refused, or a TLS handshake failed
        WriteFailed = -1,      // a command line could not be written
    };

    SMTPMail() = default;
    ~SMTPMail();
    SMTPMail(const SMTPMail &) = delete;
    SMTPMail &operator=(const SMTPMail &) = delete;

    void setServer(const QString &server) { m_serverAddr = server; }
    void setLogin(const QString &login) { m_accountLogin = login; }
    // A null password is ignored: the previous one stays.
    void setPassword(const QString &password);
    // The leading integer of the text. A number outside 1 to 65535 is
    // refused (false), and connect then fails with NoConnect: masking it to
    // 16 bits would reach a port nobody asked for ("70000" is 4464).
    bool setPort(const QString &port);
    void setTimeout(int seconds) { m_timeoutTime = seconds; }
    // 0 none, 1 TLS from the first byte, 2 STARTTLS.
    void setEncryption(int encryption) { m_smtpEncryption = encryption; }
    // The account's "smtpAuthType": above 0 authenticates.
    void setAuthentication(int authType) { m_authenticate = authType > 0; }
    // Not owned: it must outlive every call of this client that may ask it.
    void setProgressCallback(SmtpProgressDelegate *delegate) { m_progressCallback = delegate; }
    [[nodiscard]] SmtpProgressDelegate *getProgressCallback() const { return m_progressCallback; }

    [[nodiscard]] int connect();
    // 1 without writing anything when the message cannot be built.
    [[nodiscard]] int sendMailMessage(const MailMessage &message);
    // `to` and each blind copy may hold several addresses separated by
    // commas; every envelope address is checked before the first command is
    // written (1 when one cannot be sent, or there is none). Such a refusal
    // of this or any send gives an error text that names its cause.
    [[nodiscard]] int sendMessage(const QString &text, const QString &from, const QString &to,
                                  const QStringList &bcc);
    // Only MAIL FROM on the open connection (the account verifier).
    [[nodiscard]] int sendTestFrom(const QString &address);
    int disconnect();
    // After a TLS failure a last line "Reason: ..." tells what went wrong.
    [[nodiscard]] QString getErrorDesc(int code) const;
    // After a failed send: the whole message and its final "." went out,
    // but no answer came that could be read (lost, cut off, garbled, or a
    // wait the progress delegate stopped). The server may have taken it.
    [[nodiscard]] bool lastSendMayHaveDelivered() const { return m_mayHaveDelivered; }
    // After a failed send: the failure is final for this message, so that
    // sending it again is of no use: it was refused before anything was
    // written, or the server answered its sender, a recipient, DATA or the
    // whole message with a 5yz reply (RFC 5321 4.2.1).
    [[nodiscard]] bool lastFailureIsPermanent() const { return m_permanentFailure; }
    // After a failed send: the server's reply to a command did not come, or
    // it took no data, within the time it had.
    [[nodiscard]] bool lastFailureTimedOut() const { return m_session.timedOut; }
    // Every wait from now on (connecting, replies, writes that make no
    // progress) ends by then at the latest, the wait for the answer to a
    // whole message only when asked; none: each stage's own time-out alone.
    void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline, bool includingTheEndOfData = false)
    {
        m_session.deadline = deadline;
        m_session.deadlineIncludesEndOfData = includingTheEndOfData;
    }
    // Why the last send was refused before anything was written (its
    // result was 1); empty when it was not.
    [[nodiscard]] const QString &lastRefusal() const { return m_refusal; }
    // The error text of a message refused for that reason before anything
    // was written.
    [[nodiscard]] static QString refusalText(const QString &reason);

    [[nodiscard]] bool isConnected() const { return m_connected; }
    [[nodiscard]] const SMTP_Session &session() const { return m_session; }
    [[nodiscard]] int port() const { return m_serverPort; }

private:
    // The first line of an error text.
    [[nodiscard]] QString headline(int code) const;
    // Refuses a send before anything is written, for the reason given.
    int refuse(const QString &reason);
    // sendMessage with the text already in the bytes that go on the wire.
    [[nodiscard]] int sendData(QByteArray text, const QString &from, const QString &to, const QStringList &bcc);
    // The commands and the text of one transaction, envelope checked.
    [[nodiscard]] int transact(QByteArray text, const QByteArray &sender, const QList<QByteArray> &recipients);

    bool m_connected = false;
    bool m_mayHaveDelivered = false;
    bool m_permanentFailure = false;
    SMTP_Session m_session;
    QString m_serverAddr;
    int m_serverPort = 0;
    QString m_accountLogin;
    QString m_serverPassword;
    bool m_authenticate = false;
    int m_smtpEncryption = 0;
    int m_timeoutTime = LineReader::DefaultTimeout;
    SmtpProgressDelegate *m_progressCallback = nullptr;
    // Why the last send was refused before anything was written; empty when
    // it was not.
    QString m_refusal;
};
