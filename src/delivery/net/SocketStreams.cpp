#include "SocketStreams.h"

#include "OpenSslConnection.h"
#include "OpenSslInputStream.h"
#include "OpenSslOutputStream.h"

#include <netdb.h>
#include <sys/socket.h>

namespace SocketStreams {

std::optional<QString> hostWithName(const QString &host)
{
    const QByteArray name = OpenSslConnection::hostNameBytes(host);
    if (name.isEmpty())
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    if (::getaddrinfo(name.constData(), nullptr, &hints, &addresses) != 0 || !addresses)
        return std::nullopt;
    ::freeaddrinfo(addresses);
    return host;
}

bool getStreamsToHost(const QString &host, quint16 port, bool tls, std::shared_ptr<InputByteStream> *inputStream,
                      std::shared_ptr<OutputByteStream> *outputStream, std::chrono::milliseconds timeout)
{
    if (!inputStream || !outputStream)
        return false;
    inputStream->reset();
    outputStream->reset();
    if (OpenSslConnection::hostNameBytes(host).isEmpty())
        return false;
    // The same connection as STARTTLS uses, with TLS started right after the
    // connect: one socket and TLS code path for every encryption mode.
    auto connection = std::make_shared<OpenSslConnection>(host, int(port), tls);
    if (!connection->connectionObject())
        return false;
    connection->setTimeout(timeout);
    *inputStream = std::make_shared<OpenSslInputStream>(connection);
    *outputStream = std::make_shared<OpenSslOutputStream>(connection);
    return true;
}

namespace {

OpenSslConnection *connectionOf(const ByteStream &stream)
{
    if (const auto *in = dynamic_cast<const OpenSslInputStream *>(&stream))
        return in->connection().get();
    if (const auto *out = dynamic_cast<const OpenSslOutputStream *>(&stream))
        return out->connection().get();
    return nullptr;
}

} // namespace

QString lastErrorText(const ByteStream &stream)
{
    const OpenSslConnection *connection = connectionOf(stream);
    return connection ? connection->lastErrorText() : QString();
}

int lastSystemError(const ByteStream &stream)
{
    const OpenSslConnection *connection = connectionOf(stream);
    return connection ? connection->lastSystemError() : 0;
}

bool connectionWasReset(const ByteStream &stream)
{
    const OpenSslConnection *connection = connectionOf(stream);
    return connection && connection->wasReset();
}

void abortConnection(const ByteStream &stream)
{
    if (OpenSslConnection *connection = connectionOf(stream))
        connection->abort();
}

} // namespace SocketStreams
