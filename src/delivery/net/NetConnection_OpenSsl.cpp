#include "NetConnection_OpenSsl.h"

#include "NetConnection_Posix.h"
#include "Stream_OpenSsl.h"

namespace App {

NetConnection_OpenSsl::NetConnection_OpenSsl(std::string host, uint32_t port)
    : m_plain(std::make_unique<NetConnection_Posix>(std::move(host), port)),
      m_handshakeTimeout(Stream_OpenSsl::defaultHandshakeTimeout)
{
}

NetConnection_OpenSsl::~NetConnection_OpenSsl()
{
    close();
}

int NetConnection_OpenSsl::open()
{
    const int result = openPlainConnection();
    if (result != 0)
        return result;
    return openEncryptedConnection();
}

int NetConnection_OpenSsl::openPlainConnection()
{
    return m_plain->open();
}

int NetConnection_OpenSsl::openEncryptedConnection()
{
    beginEncryptedConnection();
    while (!continueEncryptedConnection(-1)) {
    }
    return 0;
}

void NetConnection_OpenSsl::beginEncryptedConnection()
{
    if (m_sslEnabled || m_sslStream)
        return;
    auto stream = std::make_unique<Stream_OpenSsl>(m_plain->stream(), m_plain->host());
    stream->beginHandshake(m_handshakeTimeout);
    m_sslStream = std::move(stream);
}

bool NetConnection_OpenSsl::continueEncryptedConnection(int timeoutMs)
{
    if (m_sslEnabled)
        return true;
    if (!m_sslStream)
        throw NetConnectionException();
    try {
        if (!m_sslStream->continueHandshake(timeoutMs))
            return false;
    } catch (...) {
        m_sslStream.reset();
        throw;
    }
    m_sslEnabled = true;
    return true;
}

int NetConnection_OpenSsl::close()
{
    if (m_sslStream)
        m_sslStream->close();
    m_sslStream.reset();
    m_sslEnabled = false;
    m_plain->close();
    return 0;
}

InputStream &NetConnection_OpenSsl::inputStream() const
{
    if (m_sslEnabled) {
        if (!m_sslStream)
            throw NetConnectionException();
        return *m_sslStream;
    }
    return m_plain->inputStream();
}

OutputStream &NetConnection_OpenSsl::outputStream() const
{
    if (m_sslEnabled) {
        if (!m_sslStream)
            throw NetConnectionException();
        return *m_sslStream;
    }
    return m_plain->outputStream();
}

void NetConnection_OpenSsl::setConnectTimeout(std::chrono::milliseconds timeout)
{
    m_plain->setConnectTimeout(timeout);
}

} // namespace App
