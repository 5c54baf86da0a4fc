#include "NetConnection_Posix.h"

#include "Stream_PosixFd.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace App {

namespace {

using Clock = std::chrono::steady_clock;

// Connects a fresh non-blocking socket to one address; the descriptor, or -1
// with nothing left open.
int connectTo(const addrinfo &address, std::chrono::milliseconds timeout)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0)
        return -1;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return fd;
    if (errno == EINPROGRESS || errno == EINTR) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, int(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
                return fd;
            break;
        }
    }
    ::close(fd);
    return -1;
}

} // namespace

NetConnection_Posix::NetConnection_Posix(std::string host, uint32_t port)
    : m_host(std::move(host)), m_port(port)
{
}

NetConnection_Posix::~NetConnection_Posix()
{
    close();
}

int NetConnection_Posix::open()
{
    if (m_open)
        return 0;
    if (m_host.empty() || m_host.find('\0') != std::string::npos || m_port == 0 || m_port > 0xFFFF)
        return -1;

    // getaddrinfo is thread-safe (sends run on worker threads) and gives
    // IPv6 as well as IPv4 addresses, in the system's preferred order.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *addresses = nullptr;
    if (::getaddrinfo(m_host.c_str(), std::to_string(m_port).c_str(), &hints, &addresses) != 0 || !addresses)
        return -1;
    int fd = -1;
    for (const addrinfo *a = addresses; a && fd < 0; a = a->ai_next)
        fd = connectTo(*a, m_connectTimeout);
    ::freeaddrinfo(addresses);
    if (fd < 0)
        return -1;

    m_fd = fd;
    m_stream = std::make_unique<Stream_PosixFd>(fd);
    m_open = true;
    return 0;
}

int NetConnection_Posix::close()
{
    if (!m_open)
        return 0;
    m_open = false;
    m_stream.reset();
    const int fd = m_fd;
    m_fd = -1;
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return ::close(fd) == 0 ? 0 : -1;
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
