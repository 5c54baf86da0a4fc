#pragma once

#include "ByteStream.h"
#include "OpenSslConnection.h"

#include <memory>

// What the input and output stream over one OpenSslConnection share.
namespace OpenSslStreamState {

// Status of a stream whose own recorded error is recentError.
inline StreamStatus status(const std::shared_ptr<OpenSslConnection> &connection, int recentError)
{
    if (recentError != 0)
        return StreamStatus::Error;
    if (!connection)
        return StreamStatus::Closed;
    if (connection->hasFailed())
        return StreamStatus::Error;
    if (connection->isOpening())
        return StreamStatus::Opening;
    return connection->isOpen() ? StreamStatus::Open : StreamStatus::Closed;
}

inline std::optional<StreamError> error(const std::shared_ptr<OpenSslConnection> &connection, int recentError,
                                        const QString &domain)
{
    if (recentError == 0 && !(connection && connection->hasFailed()))
        return std::nullopt;
    const int code = connection && connection->lastSystemError() != 0 ? connection->lastSystemError() : -1;
    return StreamError{domain, code};
}

inline void open(const std::shared_ptr<OpenSslConnection> &connection, int &recentError)
{
    if (recentError == 0)
        recentError = connection ? connection->open() : -1;
}

inline bool waitUntilOpened(const std::shared_ptr<OpenSslConnection> &connection, int recentError, int timeoutMs)
{
    return recentError != 0 || !connection || connection->waitUntilOpened(timeoutMs);
}

} // namespace OpenSslStreamState
