#pragma once

#include "NetConnection.h"

#include <chrono>
#include <memory>
#include <string>

namespace App {

class Stream_PosixFd;

// A TCP connection to a host name and port: every address the name resolves
// to (IPv6 and IPv4) is tried in order until one connects.
class NetConnection_Posix : public NetConnection {
public:
    static constexpr std::chrono::milliseconds defaultConnectTimeout{30000};

    NetConnection_Posix(std::string host, uint32_t port);
    ~NetConnection_Posix() override;

    NetConnection_Posix(const NetConnection_Posix &) = delete;
    NetConnection_Posix &operator=(const NetConnection_Posix &) = delete;

    int open() override;
    int close() override;
    [[nodiscard]] InputStream &inputStream() const override;
    [[nodiscard]] OutputStream &outputStream() const override;

    // Limit for connecting to one address.
    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }

    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] const std::string &host() const { return m_host; }
    // The plain stream; throws NetConnectionException when not open.
    [[nodiscard]] Stream_PosixFd &stream() const;

private:
    std::string m_host;
    uint32_t m_port;
    bool m_open = false;
    int m_fd = -1;
    std::unique_ptr<Stream_PosixFd> m_stream;
    std::chrono::milliseconds m_connectTimeout = defaultConnectTimeout;
};

} // namespace App
