#include "OpenSslOutputStream.h"

#include "NetConnection_OpenSsl.h"
#include "OpenSslConnection.h"
#include "OpenSslInputStream.h"
#include "OpenSslStreamState.h"

OpenSslOutputStream::OpenSslOutputStream(std::shared_ptr<OpenSslConnection> connection)
    : m_connection(std::move(connection))
{
}

void OpenSslOutputStream::open()
{
    OpenSslStreamState::open(m_connection, m_recentError);
}

void OpenSslOutputStream::close()
{
    if (m_recentError == 0 && m_connection)
        m_connection->close();
}

StreamStatus OpenSslOutputStream::streamStatus() const
{
    return OpenSslStreamState::status(m_connection, m_recentError);
}

std::optional<StreamError> OpenSslOutputStream::streamError() const
{
    return OpenSslStreamState::error(m_connection, m_recentError, OpenSslInputStream::errorDomain);
}

bool OpenSslOutputStream::waitUntilOpened(int timeoutMs)
{
    return OpenSslStreamState::waitUntilOpened(m_connection, m_recentError, timeoutMs);
}

int64_t OpenSslOutputStream::write(const uint8_t *buffer, int64_t length)
{
    if (length <= 0)
        return 0;
    if (!m_connection || !m_connection->connectionObject()) {
        m_recentError = -1;
        return -1;
    }
    try {
        return int64_t(m_connection->connectionObject()->outputStream().write(buffer, uint64_t(length)));
    } catch (...) {
        m_recentError = m_connection->noteCurrentException("sending to the server");
        return -1;
    }
}

bool OpenSslOutputStream::waitUntilWritable(int timeoutMs)
{
    if (streamStatus() != StreamStatus::Open)
        return true;
    return m_connection->waitUntilWritable(timeoutMs);
}
