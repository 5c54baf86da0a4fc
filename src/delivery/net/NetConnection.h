#pragma once

#include "AppStream.h"

namespace App {

// Thrown when a stream is asked of a connection that has none.
class NetConnectionException {};

class NetConnection : public Object {
public:
    ~NetConnection() override = default;
    // 0 success, -1 failure.
    virtual int open() = 0;
    // 0, or -1 when closing the descriptor failed.
    virtual int close() = 0;
    [[nodiscard]] virtual InputStream &inputStream() const = 0;
    [[nodiscard]] virtual OutputStream &outputStream() const = 0;
};

class NetConnection_Ssl : public NetConnection {
public:
    virtual int openPlainConnection() = 0;
    virtual int openEncryptedConnection() = 0;
};

} // namespace App
