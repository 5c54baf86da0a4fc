#pragma once

#include "NetConnection.h"

#include <chrono>
#include <memory>
#include <string>

namespace App {

class NetConnection_Posix;
class Stream_OpenSsl;

// A connection that starts in plain text and can be switched to TLS in place
// (STARTTLS): after openEncryptedConnection the same connection object hands
// out the TLS stream.
class NetConnection_OpenSsl : public NetConnection_Ssl {
public:
    NetConnection_OpenSsl(std::string host, uint32_t port);
    ~NetConnection_OpenSsl() override;

    NetConnection_OpenSsl(const NetConnection_OpenSsl &) = delete;
    NetConnection_OpenSsl &operator=(const NetConnection_OpenSsl &) = delete;

    int open() override;
    int close() override;
    [[nodiscard]] InputStream &inputStream() const override;
    [[nodiscard]] OutputStream &outputStream() const override;
    int openPlainConnection() override;
    // 0, or an exception (SslOpenException, NetConnectionException when the
    // plain connection is not open); a failure leaves the connection plain.
    int openEncryptedConnection() override;

    // The TLS start in steps (see Stream_OpenSsl): begin, then continue
    // until true. Failures throw as above and leave the connection plain.
    void beginEncryptedConnection();
    bool continueEncryptedConnection(int timeoutMs);

    void setConnectTimeout(std::chrono::milliseconds timeout);
    void setHandshakeTimeout(std::chrono::milliseconds timeout) { m_handshakeTimeout = timeout; }

    [[nodiscard]] bool isSslEnabled() const { return m_sslEnabled; }
    [[nodiscard]] NetConnection_Posix &plainConnection() const { return *m_plain; }
    // The TLS stream while TLS is running or being started, else nullptr.
    [[nodiscard]] Stream_OpenSsl *sslStream() const { return m_sslStream.get(); }

private:
    std::unique_ptr<NetConnection_Posix> m_plain;
    std::unique_ptr<Stream_OpenSsl> m_sslStream;
    bool m_sslEnabled = false;
    std::chrono::milliseconds m_handshakeTimeout;
};

} // namespace App
