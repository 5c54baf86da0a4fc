#pragma once

#include "ByteStream.h"

#include <memory>

class OpenSslConnection;

// The writing side of a shared OpenSslConnection (see OpenSslInputStream).
class OpenSslOutputStream : public OutputByteStream {
public:
    explicit OpenSslOutputStream(std::shared_ptr<OpenSslConnection> connection);

    void open() override;
    void close() override;
    // As for the input stream, without AtEnd.
    [[nodiscard]] StreamStatus streamStatus() const override;
    // In the domain "OpenSslInputStream Error", as for the input stream.
    [[nodiscard]] std::optional<StreamError> streamError() const override;
    bool waitUntilOpened(int timeoutMs) override;
    // Bytes written (possibly fewer than asked), 0 when the socket would
    // block, -1 on failure (recorded). After a 0 the caller offers the same
    // bytes again (from any address).
    int64_t write(const uint8_t *buffer, int64_t length) override;
    [[nodiscard]] bool hasSpaceAvailable() const override { return true; }
    bool waitUntilWritable(int timeoutMs) override;

    [[nodiscard]] const std::shared_ptr<OpenSslConnection> &connection() const { return m_connection; }

private:
    std::shared_ptr<OpenSslConnection> m_connection;
    int m_recentError = 0;
};
