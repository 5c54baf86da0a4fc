#include "OpenSslOutputStream.h"

#include "NetConnection_OpenSsl.h"
#include "OpenSslConnection.h"
#include "OpenSslInputStream.h"

OpenSslOutputStream::OpenSslOutputStream(std::shared_ptr<OpenSslConnection> connection)
    : m_connection(std::move(connection))
{
}

void OpenSslOutputStream::open()
{
    if (m_recentError == 0)
        m_recentError = m_connection ? m_connection->open() : -1;
}

void OpenSslOutputStream::close()
{
    if (m_recentError == 0 && m_connection)
        m_connection->close();
}

StreamStatus OpenSslOutputStream::streamStatus() const
{
    if (m_recentError != 0)
        return StreamStatus::Error;
    return m_connection && m_connection->isOpen() ? StreamStatus::Open : StreamStatus::Closed;
}

std::optional<StreamError> OpenSslOutputStream::streamError() const
{
    if (m_recentError == 0)
        return std::nullopt;
    return StreamError{OpenSslInputStream::errorDomain, m_recentError};
}

int64_t OpenSslOutputStream::write(const uint8_t *buffer, int64_t length)
{
    if (length <= 0)
        return 0;
    try {
        if (!m_connection || !m_connection->connectionObject())
            throw App::NetConnectionException();
        return int64_t(m_connection->connectionObject()->outputStream().write(buffer, uint64_t(length)));
    } catch (...) {
        m_recentError = -1;
        return -1;
    }
}
