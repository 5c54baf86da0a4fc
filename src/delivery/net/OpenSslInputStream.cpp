#include "OpenSslInputStream.h"

#include "NetConnection_OpenSsl.h"
#include "OpenSslConnection.h"
#include "OpenSslStreamState.h"

OpenSslInputStream::OpenSslInputStream(std::shared_ptr<OpenSslConnection> connection)
    : m_connection(std::move(connection))
{
}

void OpenSslInputStream::open()
{
    OpenSslStreamState::open(m_connection, m_recentError);
}

void OpenSslInputStream::close()
{
    if (m_recentError == 0 && m_connection)
        m_connection->close();
}

StreamStatus OpenSslInputStream::streamStatus() const
{
    const StreamStatus status = OpenSslStreamState::status(m_connection, m_recentError);
    // A peer that closed ends a wait for a reply at once instead of at its
    // time-out.
    if (status == StreamStatus::Open && m_connection->atEnd())
        return StreamStatus::AtEnd;
    return status;
}

std::optional<StreamError> OpenSslInputStream::streamError() const
{
    return OpenSslStreamState::error(m_connection, m_recentError, errorDomain);
}

bool OpenSslInputStream::waitUntilOpened(int timeoutMs)
{
    return OpenSslStreamState::waitUntilOpened(m_connection, m_recentError, timeoutMs);
}

int64_t OpenSslInputStream::read(uint8_t *buffer, int64_t maxLength)
{
    if (maxLength <= 0)
        return 0;
    if (!m_connection || !m_connection->connectionObject()) {
        m_recentError = -1;
        return -1;
    }
    try {
        const uint64_t count = m_connection->connectionObject()->inputStream().read(buffer, uint64_t(maxLength));
        if (count == 0)
            m_connection->noteTlsEnd();
        return int64_t(count);
    } catch (...) {
        m_recentError = m_connection->noteCurrentException("reading from the server");
        return -1;
    }
}

bool OpenSslInputStream::waitUntilReadable(int timeoutMs)
{
    if (streamStatus() != StreamStatus::Open)
        return true;
    return m_connection->waitUntilReadable(timeoutMs);
}
