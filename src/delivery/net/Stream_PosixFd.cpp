#include "Stream_PosixFd.h"

#include "PollWait.h"

#include <sys/socket.h>

#include <cerrno>
#include <climits>

namespace App {

namespace {
// One call moves at most this much; the callers loop anyway.
constexpr uint64_t maxChunk = INT_MAX;
} // namespace

Stream_PosixFd::Stream_PosixFd(int fd) : m_fd(fd) {}

Stream_PosixFd::~Stream_PosixFd() = default;

void Stream_PosixFd::close()
{
    m_closed = true;
}

uint64_t Stream_PosixFd::read(uint8_t *buffer, uint64_t length)
{
    if (m_closed)
        throw ReadException(-EBADF);
    if (m_atEnd)
        return 0;
    // A zero-length read would return 0 and look like the peer's close.
    if (length == 0)
        return 0;
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, length < maxChunk ? length : maxChunk, 0);
        if (n > 0)
            return uint64_t(n);
        if (n == 0) {
            // The peer closed: its status says so, and a wait ends at once.
            m_atEnd = true;
            return 0;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw ReadException(-errno);
    }
}

uint64_t Stream_PosixFd::write(const uint8_t *buffer, uint64_t length)
{
    if (m_closed)
        throw WriteException(-EBADF);
    if (length == 0)
        return 0;
    for (;;) {
        // MSG_NOSIGNAL: a peer that went away gives EPIPE here instead of
        // a SIGPIPE that would end the whole application.
        const ssize_t n = ::send(m_fd, buffer, length < maxChunk ? length : maxChunk, MSG_NOSIGNAL);
        if (n >= 0)
            return uint64_t(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw WriteException(-errno);
    }
}

bool Stream_PosixFd::waitUntilReadable(int timeoutMs)
{
    if (m_closed || m_atEnd)
        return true;
    return waitForDescriptor(m_fd, POLLIN, timeoutMs);
}

bool Stream_PosixFd::waitUntilWritable(int timeoutMs)
{
    if (m_closed)
        return true;
    return waitForDescriptor(m_fd, POLLOUT, timeoutMs);
}

} // namespace App
