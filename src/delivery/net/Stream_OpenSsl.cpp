#include "Stream_OpenSsl.h"

#include "OpenSslManager.h"
#include "Stream_PosixFd.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <poll.h>

#include <cerrno>
#include <climits>

namespace App {

namespace {

using Clock = std::chrono::steady_clock;

bool isAddressLiteral(const std::string &host)
{
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

int clampLength(uint64_t length)
{
    return length < uint64_t(INT_MAX) ? int(length) : INT_MAX;
}

} // namespace

Stream_OpenSsl::Stream_OpenSsl(const Stream_PosixFd &plain, std::string serverName)
    : m_fd(plain.fd()), m_serverName(std::move(serverName))
{
}

Stream_OpenSsl::~Stream_OpenSsl()
{
    close();
}

void Stream_OpenSsl::freeSsl()
{
    SSL_free(m_ssl);
    m_ssl = nullptr;
    // SSL_get_error reads this thread's error queue: leave nothing behind
    // for the next connection made on it.
    ERR_clear_error();
}

int Stream_OpenSsl::open(std::chrono::milliseconds timeout)
{
    if (m_ssl)
        return 0;
    const OpenSslManager &manager = SingletonHolder<OpenSslManager>::sharedInstance();
    ERR_clear_error();
    m_ssl = SSL_new(manager.context());
    BIO *bio = m_ssl ? BIO_new(manager.socketMethod()) : nullptr;
    if (!bio) {
        freeSsl();
        throw SslOpenException();
    }
    BIO_set_fd(bio, m_fd, BIO_NOCLOSE);
    SSL_set_bio(m_ssl, bio, bio);
    std::string sniName = m_serverName;
    if (!sniName.empty() && sniName.back() == '.')
        sniName.pop_back(); // SNI carries no trailing dot (RFC 6066, section 3)
    if (!sniName.empty() && !isAddressLiteral(m_serverName))
        SSL_set_tlsext_host_name(m_ssl, sniName.c_str()); // a name OpenSSL refuses just goes without SNI
    SSL_set_connect_state(m_ssl);
    m_atEnd = false;
    m_failed = false;

    // The socket is non-blocking: wait for it between the handshake's steps,
    // and give up at the deadline rather than spin on a silent peer.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(m_ssl);
        if (result == 1)
            return 0;
        const int error = SSL_get_error(m_ssl, result);
        short events = 0;
        if (error == SSL_ERROR_WANT_READ)
            events = POLLIN;
        else if (error == SSL_ERROR_WANT_WRITE)
            events = POLLOUT;
        bool ready = false;
        while (events) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{m_fd, events, 0};
            const int n = ::poll(&p, 1, int(left.count()));
            if (n < 0 && errno == EINTR)
                continue;
            ready = n > 0;
            break;
        }
        if (!ready) {
            freeSsl();
            throw SslOpenException();
        }
    }
}

void Stream_OpenSsl::close()
{
    if (!m_ssl)
        return;
    // One attempt at close_notify so that the server sees a clean end; a
    // connection that failed must not send it.
    if (!m_failed && SSL_is_init_finished(m_ssl)) {
        ERR_clear_error();
        SSL_shutdown(m_ssl);
    }
    freeSsl();
}

uint64_t Stream_OpenSsl::read(uint8_t *buffer, uint64_t length)
{
    if (!m_ssl)
        throw SslReadException(SSL_ERROR_SSL);
    if (length == 0 || m_atEnd)
        return 0;
    ERR_clear_error();
    const int n = SSL_read(m_ssl, buffer, clampLength(length));
    if (n > 0)
        return uint64_t(n);
    const int error = SSL_get_error(m_ssl, n);
    switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return 0;
    case SSL_ERROR_ZERO_RETURN:
        // close_notify: the peer ended the conversation properly.
        m_atEnd = true;
        return 0;
    default:
        // Includes a connection dropped without close_notify (a possible
        // truncation): a failure, not an end.
        m_failed = true;
        ERR_clear_error();
        throw SslReadException(error);
    }
}

uint64_t Stream_OpenSsl::write(const uint8_t *buffer, uint64_t length)
{
    if (!m_ssl)
        throw SslWriteException(SSL_ERROR_SSL);
    if (length == 0)
        return 0;
    ERR_clear_error();
    const int n = SSL_write(m_ssl, buffer, clampLength(length));
    if (n > 0)
        return uint64_t(n); // may be fewer than asked (partial writes are on)
    const int error = SSL_get_error(m_ssl, n);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return 0;
    m_failed = true;
    ERR_clear_error();
    throw SslWriteException(error);
}

} // namespace App
