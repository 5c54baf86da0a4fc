#include "OpenSslInputStream.h"

#include "NetConnection_OpenSsl.h"
#include "OpenSslConnection.h"

OpenSslInputStream::OpenSslInputStream(std::shared_ptr<OpenSslConnection> connection)
    : m_connection(std::move(connection))
{
}

void OpenSslInputStream::open()
{
    if (m_recentError == 0)
        m_recentError = m_connection ? m_connection->open() : -1;
}

void OpenSslInputStream::close()
{
    if (m_recentError == 0 && m_connection)
        m_connection->close();
}

StreamStatus OpenSslInputStream::streamStatus() const
{
    if (m_recentError != 0)
        return StreamStatus::Error;
    if (!m_connection || !m_connection->isOpen())
        return StreamStatus::Closed;
    // A peer that closed ends a wait for a reply at once instead of at its
    // time-out.
    try {
        if (m_connection->connectionObject()->inputStream().atEnd())
            return StreamStatus::AtEnd;
    } catch (...) {
    }
    return StreamStatus::Open;
}

std::optional<StreamError> OpenSslInputStream::streamError() const
{
    if (m_recentError == 0)
        return std::nullopt;
    return StreamError{errorDomain, m_recentError};
}

int64_t OpenSslInputStream::read(uint8_t *buffer, int64_t maxLength)
{
    if (maxLength <= 0)
        return 0;
    try {
        if (!m_connection || !m_connection->connectionObject())
            throw App::NetConnectionException();
        return int64_t(m_connection->connectionObject()->inputStream().read(buffer, uint64_t(maxLength)));
    } catch (...) {
        m_recentError = -1;
        return -1;
    }
}
