#pragma once

#include "ByteStream.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// A pair of socket streams to a host and port (encryption modes 0 and 1 of
// the SMTP client). Nothing connects until a stream is opened, and opening
// only starts the connect: waitUntilOpened advances it. Opening the second
// stream of the pair finds the connection open or opening. With tls the
// connection speaks TLS from its first byte, and the server's certificate
// must verify and name the host.
namespace SocketStreams {

// The host's name when it resolves to at least one address, else none.
[[nodiscard]] std::optional<QString> hostWithName(const QString &host);

// False (and both outputs reset) when the streams cannot be made. timeout
// bounds the connect (every address together) and the TLS handshake.
bool getStreamsToHost(const QString &host, quint16 port, bool tls,
                      std::shared_ptr<InputByteStream> *inputStream,
                      std::shared_ptr<OutputByteStream> *outputStream,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The reason of the last failure of the connection under a stream made here
// or over an OpenSslConnection (empty when none or for other streams), e.g.
// "the server's certificate was not accepted: self-signed certificate (...)".
[[nodiscard]] QString lastErrorText(const ByteStream &stream);
// Its code: errno, an OpenSSL error code for TLS, negative for a resolver
// failure; 0 when none.
[[nodiscard]] int lastSystemError(const ByteStream &stream);
// Whether the peer reset that connection (see OpenSslConnection::wasReset).
[[nodiscard]] bool connectionWasReset(const ByteStream &stream);
// Closes the connection under the stream with a reset (OpenSslConnection::abort).
void abortConnection(const ByteStream &stream);

} // namespace SocketStreams
