#pragma once

#include "AppStream.h"

#include <chrono>
#include <string>

using SSL = struct ssl_st;

namespace App {

class Stream_PosixFd;

// TLS over the descriptor of a plain stream. The peer's certificate and name
// are not verified (the mail accounts of this application may use any
// certificate); the name is only sent as SNI so that a server with several
// certificates picks the right one.
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
        const char *what() const noexcept override { return "App::Stream_OpenSsl::SslOpenException"; }
    };

    static constexpr std::chrono::milliseconds defaultHandshakeTimeout{30000};

    // serverName: the host name the connection was made to (an address
    // literal sends no SNI).
    Stream_OpenSsl(const Stream_PosixFd &plain, std::string serverName);
    ~Stream_OpenSsl() override;

    Stream_OpenSsl(const Stream_OpenSsl &) = delete;
    Stream_OpenSsl &operator=(const Stream_OpenSsl &) = delete;

    // The client handshake: 0, or SslOpenException (also when it takes
    // longer than the time-out).
    int open(std::chrono::milliseconds timeout = defaultHandshakeTimeout);

    void close() override;
    uint64_t read(uint8_t *buffer, uint64_t length) override;
    // True once the peer ended TLS with close_notify.
    [[nodiscard]] bool atEnd() const override { return m_atEnd; }
    uint64_t write(const uint8_t *buffer, uint64_t length) override;

private:
    void freeSsl();

    int m_fd;
    std::string m_serverName;
    SSL *m_ssl = nullptr;
    bool m_atEnd = false;
    bool m_failed = false; // after a fatal error no close_notify may be sent
};

} // namespace App
