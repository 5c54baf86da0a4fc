#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace App {
class NetConnection_OpenSsl;
}

// The connection framework as plain calls with 0 / -1 results: nothing
// above this class sees an exception from the connection. Shared by the
// input and output stream of one session.
//
// Nothing here blocks for long: open() only starts the connect and
// waitUntilOpened() advances it in slices, so that the caller can give up
// between them; startSsl() is bounded by its time-out and can be stopped
// between slices too.
class OpenSslConnection {
public:
    // startSsl's result when keepGoing said no.
    static constexpr int Cancelled = -2;
    static constexpr std::chrono::milliseconds defaultTimeout{30000};

    // Nothing is opened here. With tlsFromFirstByte, opening includes the
    // TLS handshake (the socket streams of encryption mode 1); otherwise the
    // connection stays plain until startSsl() (STARTTLS).
    OpenSslConnection(const QString &hostname, int port, bool tlsFromFirstByte = false);
    ~OpenSslConnection();

    OpenSslConnection(const OpenSslConnection &) = delete;
    OpenSslConnection &operator=(const OpenSslConnection &) = delete;

    // The limit for connecting (every address of the name together) and,
    // counted anew, for each TLS handshake.
    void setTimeout(std::chrono::milliseconds timeout);

    // Starts connecting: 0 when under way or already open, -1 when it failed
    // at once or failed before (a failed connection stays failed).
    [[nodiscard]] int open();
    // Advances an open under way, waiting at most timeoutMs (negative: until
    // it is done). True once it is no longer opening; isOpen() then tells
    // whether it succeeded.
    bool waitUntilOpened(int timeoutMs);
    // TLS over the open connection (opening it first when needed), bounded
    // by the time-out of setTimeout. 0 also when TLS is already on.
    [[nodiscard]] int startSsl();
    // The same within timeout, asking keepGoing between slices of at most
    // 50 ms: 0, -1 (failed, the connection stays plain), or Cancelled (the
    // connection is closed).
    [[nodiscard]] int startSsl(std::chrono::milliseconds timeout, const std::function<bool()> &keepGoing);
    void close();
    // Closes with a reset (NetConnection_Posix::resetOnClose): for a
    // conversation given up half-way.
    void abort();

    [[nodiscard]] bool isOpen() const { return m_state == State::Open; }
    [[nodiscard]] bool isOpening() const { return m_state == State::Connecting || m_state == State::Handshaking; }
    // Opening failed; stays so until the object is gone.
    [[nodiscard]] bool hasFailed() const { return m_state == State::Failed; }
    [[nodiscard]] bool isSslEnabled() const { return m_sslEnabled; }
    // The peer closed the connection (for TLS: with or without close_notify).
    [[nodiscard]] bool atEnd() const;
    // Waits until a read or write may make progress, the end or an error
    // (true), at most timeoutMs (false). True at once when not open.
    bool waitUntilReadable(int timeoutMs);
    bool waitUntilWritable(int timeoutMs);

    // The last failure, for error reports: a readable reason (what the
    // system or OpenSSL said, with the certificate's verification error) and
    // its code (errno; an OpenSSL error code for TLS failures; negative: a
    // resolver code). Empty and 0 when nothing failed.
    [[nodiscard]] const QString &lastErrorText() const { return m_lastErrorText; }
    [[nodiscard]] int lastSystemError() const { return m_lastSystemError; }
    // Records the exception being handled (call inside a catch block) as
    // the last failure; returns its code, or -1 when it has none.
    int noteCurrentException(const char *during);
    // Records an unclean end of TLS reported by the last read, if any.
    void noteTlsEnd();
    // The peer reset the connection (ECONNRESET, or EPIPE on a write): it
    // is gone without having taken what it had not read.
    [[nodiscard]] bool wasReset() const { return m_reset; }

    // None when its creation failed.
    [[nodiscard]] App::NetConnection_OpenSsl *connectionObject() const { return m_netConnection.get(); }

    // The bytes handed to the resolver for a host name: the ASCII (IDNA) form
    // of an international name, else its ISO 8859-1 bytes; empty when the
    // name cannot be a host name (empty, or NUL inside).
    [[nodiscard]] static QByteArray hostNameBytes(const QString &hostname);

private:
    enum class State { Idle, Connecting, Handshaking, Open, Failed };

    void fail(int code, const QString &text);
    void failOpen();

    std::unique_ptr<App::NetConnection_OpenSsl> m_netConnection;
    State m_state = State::Idle;
    bool m_sslEnabled = false;
    bool m_tlsFromFirstByte = false;
    std::chrono::milliseconds m_timeout = defaultTimeout;
    QString m_lastErrorText;
    int m_lastSystemError = 0;
    bool m_reset = false;
};
