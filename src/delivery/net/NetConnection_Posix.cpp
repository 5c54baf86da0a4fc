#include "NetConnection_Posix.h"

#include "PollWait.h"
#include "Stream_PosixFd.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace App {

NetConnection_Posix::NetConnection_Posix(std::string host, uint32_t port)
    : m_host(std::move(host)), m_port(port)
{
}

NetConnection_Posix::~NetConnection_Posix()
{
    close();
}

void NetConnection_Posix::setError(int error, std::string text)
{
    m_lastError = error;
    m_lastErrorText = std::move(text);
}

std::string NetConnection_Posix::describe(const Address &address) const
{
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr *>(&address.storage), address.length, host, sizeof host,
                      nullptr, 0, NI_NUMERICHOST)
        != 0)
        return m_host;
    return std::string(host) + " port " + std::to_string(m_port);
}

int NetConnection_Posix::open()
{
    if (startOpen() != 0)
        return -1;
    int result = 0;
    while ((result = continueOpen(-1)) == 0) {
    }
    return result == 1 ? 0 : -1;
}

int NetConnection_Posix::startOpen()
{
    if (m_open || isConnecting())
        return 0;
    m_lastError = 0;
    m_lastErrorText.clear();
    if (m_port == 0 || m_port > 0xFFFF) {
        setError(EINVAL, "port " + std::to_string(m_port) + " is outside 1-65535");
        return -1;
    }
    if (m_host.empty() || m_host.find('\0') != std::string::npos) {
        setError(EINVAL, "no server name");
        return -1;
    }

    // getaddrinfo is thread-safe (sends run on worker threads) and gives
    // IPv6 as well as IPv4 addresses, in the system's preferred order.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const int status = ::getaddrinfo(m_host.c_str(), std::to_string(m_port).c_str(), &hints, &found);
    if (status != 0 || !found) {
        const int code = status == EAI_SYSTEM ? errno : status;
        setError(code, "\"" + m_host + "\" could not be resolved: "
                           + (status == EAI_SYSTEM ? std::strerror(code) : ::gai_strerror(status)));
        if (found)
            ::freeaddrinfo(found);
        return -1;
    }
    m_addresses.clear();
    for (const addrinfo *a = found; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Address address{};
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        address.family = a->ai_family;
        m_addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    m_nextAddress = 0;
    m_deadline = SteadyClock::now() + m_connectTimeout;
    return startNextAddress() ? 0 : -1;
}

bool NetConnection_Posix::startNextAddress()
{
    while (m_nextAddress < m_addresses.size()) {
        const Address &address = m_addresses[m_nextAddress++];
        const auto now = SteadyClock::now();
        if (now >= m_deadline) {
            setError(ETIMEDOUT, describe(address) + ": " + std::strerror(ETIMEDOUT));
            break;
        }
        const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            setError(errno, describe(address) + ": " + std::strerror(errno));
            continue;
        }
        // SMTP is a dialogue of small writes (a command, the message's last
        // piece, the final "."): left to Nagle's algorithm each waits for
        // the server's delayed acknowledgement, about 40 ms per message.
        const int noDelay = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        // A non-blocking connect is not restarted after a signal: EINTR
        // leaves it under way, like EINPROGRESS.
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address.storage), address.length) != 0
            && errno != EINPROGRESS && errno != EINTR) {
            setError(errno, describe(address) + ": " + std::strerror(errno));
            ::close(fd);
            continue;
        }
        m_connectingFd = fd;
        // An address that never answers must leave time for the others:
        // each gets an equal share of what is left, the last all of it.
        const size_t left = m_addresses.size() - m_nextAddress + 1;
        m_attemptDeadline = now + (m_deadline - now) / left;
        return true;
    }
    m_addresses.clear();
    return false;
}

void NetConnection_Posix::abandonAttempt(int error)
{
    setError(error, describe(m_addresses[m_nextAddress - 1]) + ": " + std::strerror(error));
    ::close(m_connectingFd);
    m_connectingFd = -1;
}

int NetConnection_Posix::continueOpen(int timeoutMs)
{
    if (m_open)
        return 1;
    if (!isConnecting())
        return -1;
    const auto sliceEnd = timeoutMs < 0 ? SteadyClock::time_point::max()
                                        : SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto until = std::min(sliceEnd, m_attemptDeadline);
        if (waitForDescriptor(m_connectingFd, POLLOUT, millisecondsUntil(until))) {
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(m_connectingFd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
            if (error == 0) {
                m_fd = m_connectingFd;
                m_connectingFd = -1;
                m_addresses.clear();
                m_stream = std::make_unique<Stream_PosixFd>(m_fd);
                m_open = true;
                return 1;
            }
            abandonAttempt(error);
        } else if (SteadyClock::now() >= m_attemptDeadline) {
            abandonAttempt(ETIMEDOUT);
        } else {
            return 0; // the slice is over, the connect still under way
        }
        if (!startNextAddress())
            return -1;
    }
}

int NetConnection_Posix::close()
{
    if (m_connectingFd >= 0) {
        ::close(m_connectingFd);
        m_connectingFd = -1;
    }
    m_addresses.clear();
    if (!m_open)
        return 0;
    m_open = false;
    m_stream.reset();
    const int fd = m_fd;
    m_fd = -1;
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return ::close(fd) == 0 ? 0 : -1;
}

void NetConnection_Posix::resetOnClose()
{
    if (m_fd < 0)
        return;
    const linger abort{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

Stream_PosixFd &NetConnection_Posix::stream() const
{
    if (!m_open || !m_stream)
        throw NetConnectionException();
    return *m_stream;
}

InputStream &NetConnection_Posix::inputStream() const
{
    return stream();
}

OutputStream &NetConnection_Posix::outputStream() const
{
    return stream();
}

} // namespace App
