#pragma once

#include "AppStream.h"

#include <chrono>
#include <string>

using SSL = struct ssl_st;

namespace App {

class Stream_PosixFd;

// TLS over the descriptor of a plain stream. The peer's certificate must
// verify against the trust store of OpenSslManager and name the server: the
// host name (also sent as SNI), or for an address literal the address.
class Stream_OpenSsl : public InputStream, public OutputStream {
public:
    class SslReadException : public InputStream::ReadException {
    public:
        using ReadException::ReadException;
        const char *what() const noexcept override { return "App::Stream_OpenSsl::ReadException"; }
    };
    class SslWriteException : public OutputStream::WriteException {
    public:
        using WriteException::WriteException;
        const char *what() const noexcept override { return "App::Stream_OpenSsl::WriteException"; }
    };
    class SslOpenException : public App::Exception {
    public:
        SslOpenException() = default;
        // code: the first OpenSSL error code, else errno (0: none known).
        SslOpenException(int32_t code, std::string reason) : m_code(code), m_reason(std::move(reason)) {}
        const char *what() const noexcept override { return "App::Stream_OpenSsl::SslOpenException"; }
        [[nodiscard]] int32_t code() const { return m_code; }
        [[nodiscard]] const std::string &reason() const { return m_reason; }

    private:
        int32_t m_code = 0;
        std::string m_reason;
    };

    static constexpr std::chrono::milliseconds defaultHandshakeTimeout{30000};

    // serverName: the host name or address literal the connection was made to.
    Stream_OpenSsl(const Stream_PosixFd &plain, std::string serverName);
    ~Stream_OpenSsl() override;

    Stream_OpenSsl(const Stream_OpenSsl &) = delete;
    Stream_OpenSsl &operator=(const Stream_OpenSsl &) = delete;

    // The whole client handshake: 0, or SslOpenException (also when it
    // takes longer than the time-out).
    int open(std::chrono::milliseconds timeout = defaultHandshakeTimeout);

    // The handshake in steps, so that the caller can give up between them:
    // beginHandshake sets it up with its overall time-out; each
    // continueHandshake advances it, waiting at most timeoutMs for the peer,
    // and is true once it is done. Both throw SslOpenException on failure
    // (the time-out passed, the certificate did not verify, ...).
    void beginHandshake(std::chrono::milliseconds timeout = defaultHandshakeTimeout);
    bool continueHandshake(int timeoutMs);
    [[nodiscard]] bool isHandshakeDone() const { return m_handshakeDone; }

    void close() override;
    uint64_t read(uint8_t *buffer, uint64_t length) override;
    // True once the peer ended the connection: close_notify, or the socket
    // closed without it (the end of the conversation all the same).
    [[nodiscard]] bool atEnd() const override { return m_atEnd; }
    uint64_t write(const uint8_t *buffer, uint64_t length) override;
    // Counts what OpenSSL holds already and what the last attempt waited
    // for (a read can need the socket to be writable, and a write readable).
    bool waitUntilReadable(int timeoutMs) override;
    bool waitUntilWritable(int timeoutMs) override;

    // The last failure or unclean end ("" when none) and its code (the
    // first OpenSSL error code, else errno).
    [[nodiscard]] const std::string &lastErrorText() const { return m_lastErrorText; }
    [[nodiscard]] int32_t lastErrorCode() const { return m_lastErrorCode; }
    // The system's errno of the last failed read or write, 0 when none was set.
    [[nodiscard]] int lastSystemErrno() const { return m_lastErrno; }

private:
    [[noreturn]] void failHandshake(int32_t code, std::string reason);
    // One SSL_read or SSL_peek: bytes, 0 (nothing now, or the end), or -1
    // for a failure (m_readError and the error text set).
    int receive(uint8_t *buffer, int length, bool peek);
    bool peerClosedSocket() const;
    void freeSsl();

    int m_fd;
    std::string m_serverName;
    SSL *m_ssl = nullptr;
    std::chrono::steady_clock::time_point m_handshakeDeadline;
    bool m_handshakeDone = false;
    int m_handshakeWants = 0; // the SSL_ERROR_WANT_* of the last step
    int m_readWants = 0;
    int m_readError = 0; // the SSL_get_error code of a failed read; it stays
    int m_writeWants = 0;
    bool m_atEnd = false;
    bool m_failed = false; // after a fatal error no close_notify may be sent
    std::string m_lastErrorText;
    int32_t m_lastErrorCode = 0;
    int m_lastErrno = 0;
};

} // namespace App
