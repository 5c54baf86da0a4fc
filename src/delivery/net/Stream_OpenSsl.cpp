#include "Stream_OpenSsl.h"

#include "OpenSslManager.h"
#include "PollWait.h"
#include "Stream_PosixFd.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace App {

namespace {

bool isAddressLiteral(const std::string &host)
{
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

int clampLength(uint64_t length)
{
    return length < uint64_t(INT_MAX) ? int(length) : INT_MAX;
}

// Empties this thread's OpenSSL error queue into one text (oldest first);
// firstCode gets the oldest code, the root cause.
std::string drainErrorQueue(unsigned long *firstCode)
{
    std::string text;
    *firstCode = 0;
    while (const unsigned long code = ERR_get_error()) {
        if (!*firstCode)
            *firstCode = code;
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

std::string withDetail(std::string text, const std::string &detail)
{
    return detail.empty() ? text : text + " (" + detail + ")";
}

// Codes of OpenSSL 3 (library << 23 | reason) fit in 31 bits.
int32_t errorCode(unsigned long openSslCode, int systemError)
{
    return openSslCode ? int32_t(openSslCode & 0x7FFFFFFF) : systemError;
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
    m_handshakeDone = false;
    // SSL_get_error reads this thread's error queue: leave nothing behind
    // for the next connection made on it.
    ERR_clear_error();
}

void Stream_OpenSsl::failHandshake(int32_t code, std::string reason)
{
    m_lastErrorCode = code;
    m_lastErrorText = reason;
    freeSsl();
    throw SslOpenException(code, std::move(reason));
}

bool Stream_OpenSsl::peerClosedSocket() const
{
    return m_ssl && BIO_eof(SSL_get_rbio(m_ssl)) == 1;
}

int Stream_OpenSsl::open(std::chrono::milliseconds timeout)
{
    if (m_handshakeDone)
        return 0;
    beginHandshake(timeout);
    while (!continueHandshake(-1)) {
    }
    return 0;
}

void Stream_OpenSsl::beginHandshake(std::chrono::milliseconds timeout)
{
    if (m_ssl)
        return;
    OpenSslManager &manager = SingletonHolder<OpenSslManager>::sharedInstance();
    const ContextReference context = manager.clientContext();
    ERR_clear_error();
    m_ssl = SSL_new(context.get());
    BIO *bio = m_ssl ? BIO_new(manager.socketMethod()) : nullptr;
    if (!bio) {
        unsigned long code = 0;
        const std::string detail = drainErrorQueue(&code);
        failHandshake(errorCode(code, ENOMEM), withDetail("TLS could not be set up", detail));
    }
    BIO_set_fd(bio, m_fd, BIO_NOCLOSE);
    SSL_set_bio(m_ssl, bio, bio);

    std::string name = m_serverName;
    if (!name.empty() && name.back() == '.')
        name.pop_back(); // neither SNI nor certificates carry the root's dot (RFC 6066, section 3)
    bool checked = false;
    if (isAddressLiteral(name)) {
        checked = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), name.c_str()) == 1;
    } else if (!name.empty()) {
        SSL_set_tlsext_host_name(m_ssl, name.c_str()); // a name OpenSSL refuses just goes without SNI
        SSL_set_hostflags(m_ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        checked = SSL_set1_host(m_ssl, name.c_str()) == 1;
    }
    // Without a name to check, any certificate that chains to a trusted
    // root would pass: refuse rather than talk to whoever answers.
    if (!checked) {
        unsigned long code = 0;
        const std::string detail = drainErrorQueue(&code);
        failHandshake(errorCode(code, EINVAL),
                      withDetail("the server name \"" + name + "\" cannot be checked against a certificate", detail));
    }
    SSL_set_connect_state(m_ssl);
    m_handshakeDeadline = SteadyClock::now() + timeout;
    m_handshakeDone = false;
    m_handshakeWants = 0;
    m_readWants = 0;
    m_writeWants = 0;
    m_atEnd = false;
    m_readError = 0;
    m_failed = false;
    m_lastErrorText.clear();
    m_lastErrorCode = 0;
    m_lastErrno = 0;
}

bool Stream_OpenSsl::continueHandshake(int timeoutMs)
{
    if (m_handshakeDone)
        return true;
    if (!m_ssl)
        throw SslOpenException(0, "TLS was not started");
    const auto sliceEnd = timeoutMs < 0 ? SteadyClock::time_point::max()
                                        : SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (m_handshakeWants) {
            // A peer that sends a byte now and then must not keep the
            // handshake going past its limit either.
            if (SteadyClock::now() >= m_handshakeDeadline)
                failHandshake(ETIMEDOUT, "TLS handshake timed out");
            // Wait for what the last step asked for, within this slice and
            // the handshake's own limit.
            const auto until = std::min(sliceEnd, m_handshakeDeadline);
            const short events = m_handshakeWants == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
            if (!waitForDescriptor(m_fd, events, millisecondsUntil(until))) {
                if (SteadyClock::now() >= m_handshakeDeadline)
                    failHandshake(ETIMEDOUT, "TLS handshake timed out");
                return false;
            }
        }
        ERR_clear_error();
        errno = 0;
        const int result = SSL_connect(m_ssl);
        const int savedErrno = errno;
        if (result == 1) {
            m_handshakeDone = true;
            m_handshakeWants = 0;
            return true;
        }
        const int error = SSL_get_error(m_ssl, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            m_handshakeWants = error;
            continue;
        }

        const long verifyResult = SSL_get_verify_result(m_ssl);
        const bool closed = peerClosedSocket();
        unsigned long code = 0;
        const std::string detail = drainErrorQueue(&code);
        std::string reason;
        if (verifyResult != X509_V_OK)
            reason = std::string("the server's certificate was not accepted: ")
                + X509_verify_cert_error_string(verifyResult);
        else if (closed)
            reason = "the server closed the connection during the TLS handshake";
        else if (error == SSL_ERROR_SYSCALL && savedErrno != 0)
            reason = std::string("TLS handshake failed: ") + std::strerror(savedErrno);
        else
            reason = "TLS handshake failed";
        failHandshake(errorCode(code, savedErrno), withDetail(std::move(reason), detail));
    }
}

void Stream_OpenSsl::close()
{
    if (!m_ssl)
        return;
    // One attempt at close_notify so that the server sees a clean end; a
    // connection that failed must not send it.
    if (!m_failed && m_handshakeDone) {
        ERR_clear_error();
        SSL_shutdown(m_ssl);
    }
    freeSsl();
}

int Stream_OpenSsl::receive(uint8_t *buffer, int length, bool peek)
{
    if (m_readError)
        return -1; // reported already; it stays
    ERR_clear_error();
    errno = 0;
    const int n = peek ? SSL_peek(m_ssl, buffer, length) : SSL_read(m_ssl, buffer, length);
    const int savedErrno = errno;
    m_readWants = 0;
    if (n > 0)
        return n;
    const int error = SSL_get_error(m_ssl, n);
    switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        m_readWants = error;
        return 0;
    case SSL_ERROR_ZERO_RETURN:
        // close_notify: the peer ended the conversation properly.
        m_atEnd = true;
        return 0;
    default:
        break;
    }
    m_failed = true;
    unsigned long code = 0;
    const std::string detail = drainErrorQueue(&code);
    if (peerClosedSocket()) {
        // Gone without close_notify: whatever was cut off is no complete
        // reply line, so for this protocol it is an end, not a failure.
        m_atEnd = true;
        m_lastErrorCode = errorCode(code, 0);
        m_lastErrorText = withDetail("the server closed the connection without ending TLS", detail);
        return 0;
    }
    m_readError = error;
    m_lastErrno = error == SSL_ERROR_SYSCALL ? savedErrno : 0;
    m_lastErrorCode = errorCode(code, savedErrno);
    m_lastErrorText = withDetail(
        error == SSL_ERROR_SYSCALL && savedErrno ? std::string("TLS read failed: ") + std::strerror(savedErrno)
                                                 : std::string("TLS read failed"),
        detail);
    return -1;
}

uint64_t Stream_OpenSsl::read(uint8_t *buffer, uint64_t length)
{
    if (!m_ssl || !m_handshakeDone)
        throw SslReadException(SSL_ERROR_SSL, "TLS is not running");
    if (length == 0 || m_atEnd)
        return 0;
    const int n = receive(buffer, clampLength(length), false);
    if (n < 0)
        throw SslReadException(m_readError, m_lastErrorText);
    return uint64_t(n);
}

uint64_t Stream_OpenSsl::write(const uint8_t *buffer, uint64_t length)
{
    if (!m_ssl || !m_handshakeDone)
        throw SslWriteException(SSL_ERROR_SSL, "TLS is not running");
    if (length == 0)
        return 0;
    ERR_clear_error();
    errno = 0;
    const int n = SSL_write(m_ssl, buffer, clampLength(length));
    const int savedErrno = errno;
    m_writeWants = 0;
    if (n > 0)
        return uint64_t(n); // may be fewer than asked (partial writes are on)
    const int error = SSL_get_error(m_ssl, n);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_writeWants = error;
        return 0;
    }
    m_failed = true;
    unsigned long code = 0;
    const std::string detail = drainErrorQueue(&code);
    m_lastErrno = error == SSL_ERROR_SYSCALL ? savedErrno : 0;
    m_lastErrorCode = errorCode(code, savedErrno);
    m_lastErrorText = withDetail(
        error == SSL_ERROR_SYSCALL && savedErrno ? std::string("TLS write failed: ") + std::strerror(savedErrno)
                                                 : std::string("TLS write failed"),
        detail);
    throw SslWriteException(error, m_lastErrorText);
}

bool Stream_OpenSsl::waitUntilReadable(int timeoutMs)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (!m_ssl || !m_handshakeDone || m_atEnd || m_failed)
            return true;
        // Decrypted bytes are ready at once. Undecrypted ones count only when
        // the last read did not stop on them for want of the rest of a record,
        // else this would answer true until the rest arrives.
        if (SSL_pending(m_ssl) > 0 || (m_readWants != SSL_ERROR_WANT_READ && SSL_has_pending(m_ssl) == 1))
            return true;
        const short events = m_readWants == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
        if (!waitForDescriptor(m_fd, events, timeoutMs < 0 ? -1 : millisecondsUntil(deadline)))
            return false;
        // The socket may have brought only records without data (TLS 1.3
        // session tickets come after the handshake): take them in, and wait
        // on unless data, the end or a failure came.
        uint8_t byte;
        if (receive(&byte, 1, true) != 0 || m_atEnd)
            return true;
        if (timeoutMs >= 0 && SteadyClock::now() >= deadline)
            return false;
    }
}

bool Stream_OpenSsl::waitUntilWritable(int timeoutMs)
{
    if (!m_ssl || !m_handshakeDone || m_failed)
        return true;
    return waitForDescriptor(m_fd, m_writeWants == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs);
}

} // namespace App
