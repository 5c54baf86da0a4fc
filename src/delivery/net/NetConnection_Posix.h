#pragma once

#include "NetConnection.h"

#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace App {

class Stream_PosixFd;

// A TCP connection to a host name and port: every address the name resolves
// to (IPv6 and IPv4) is tried in turn until one connects, all within one
// time-out. The connect itself never blocks, so a caller can run it in
// slices and give up between them.
class NetConnection_Posix : public NetConnection {
public:
    static constexpr std::chrono::milliseconds defaultConnectTimeout{30000};

    NetConnection_Posix(std::string host, uint32_t port);
    ~NetConnection_Posix() override;

    NetConnection_Posix(const NetConnection_Posix &) = delete;
    NetConnection_Posix &operator=(const NetConnection_Posix &) = delete;

    // startOpen, then continueOpen until it is done.
    int open() override;
    int close() override;
    // The next close resets the connection: what was not sent yet is
    // dropped at once, instead of being left to the system to push to a
    // peer that may never take it.
    void resetOnClose();
    [[nodiscard]] InputStream &inputStream() const override;
    [[nodiscard]] OutputStream &outputStream() const override;

    // Resolves the name (the system resolver cannot be interrupted) and
    // starts connecting: 0 when under way or already open, -1 when it failed
    // at once (no such host, port outside 1-65535, no address reachable).
    int startOpen();
    // Waits at most timeoutMs (negative: until done) for the connect under
    // way: 1 open, 0 still connecting, -1 failed (every address refused, or
    // the time-out passed).
    int continueOpen(int timeoutMs);
    [[nodiscard]] bool isConnecting() const { return m_connectingFd >= 0; }

    // The limit for the whole connect, all addresses together; it counts
    // from startOpen.
    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }

    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] const std::string &host() const { return m_host; }
    // The plain stream; throws NetConnectionException when not open.
    [[nodiscard]] Stream_PosixFd &stream() const;

    // The last failure: errno (a negative value is a getaddrinfo code), 0
    // when none; and a readable text for it.
    [[nodiscard]] int lastError() const { return m_lastError; }
    [[nodiscard]] const std::string &lastErrorText() const { return m_lastErrorText; }

private:
    struct Address {
        sockaddr_storage storage;
        socklen_t length;
        int family;
    };

    bool startNextAddress();
    void abandonAttempt(int error);
    void setError(int error, std::string text);
    std::string describe(const Address &address) const;

    std::string m_host;
    uint32_t m_port;
    bool m_open = false;
    int m_fd = -1;
    std::unique_ptr<Stream_PosixFd> m_stream;
    std::chrono::milliseconds m_connectTimeout = defaultConnectTimeout;

    std::vector<Address> m_addresses;
    size_t m_nextAddress = 0;
    int m_connectingFd = -1;
    std::chrono::steady_clock::time_point m_deadline;
    std::chrono::steady_clock::time_point m_attemptDeadline;
    int m_lastError = 0;
    std::string m_lastErrorText;
};

} // namespace App
