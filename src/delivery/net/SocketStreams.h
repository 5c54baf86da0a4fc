#pragma once

#include "ByteStream.h"

#include <QString>

#include <memory>
#include <optional>

// A pair of socket streams to a host and port (encryption modes 0 and 1 of
// the SMTP client). Nothing connects until a stream is opened; opening the
// second stream of the pair finds the connection open. With tls the
// connection speaks TLS from its first byte, accepting any certificate and
// not checking the host name.
namespace SocketStreams {

// The host's name when it resolves to at least one address, else none.
[[nodiscard]] std::optional<QString> hostWithName(const QString &host);

// False (and both outputs reset) when the streams cannot be made.
bool getStreamsToHost(const QString &host, quint16 port, bool tls,
                      std::shared_ptr<InputByteStream> *inputStream,
                      std::shared_ptr<OutputByteStream> *outputStream);

} // namespace SocketStreams
