#pragma once

#include "ByteStream.h"

#include <memory>

class OpenSslConnection;

// The reading side of a shared OpenSslConnection: plain bytes before
// startSsl(), decrypted bytes after it, through the same object.
class OpenSslInputStream : public InputByteStream {
public:
    explicit OpenSslInputStream(std::shared_ptr<OpenSslConnection> connection);

    void open() override;
    void close() override;
    // Error once a failure was recorded (it stays); AtEnd once the peer
    // closed; Open while the connection is open; else Closed.
    [[nodiscard]] StreamStatus streamStatus() const override;
    [[nodiscard]] std::optional<StreamError> streamError() const override;
    // Bytes read, 0 when none are pending, -1 on failure (recorded).
    int64_t read(uint8_t *buffer, int64_t maxLength) override;
    [[nodiscard]] bool hasBytesAvailable() const override { return true; }

    [[nodiscard]] const std::shared_ptr<OpenSslConnection> &connection() const { return m_connection; }

    static inline const QString errorDomain = QStringLiteral("OpenSslInputStream Error");

private:
    std::shared_ptr<OpenSslConnection> m_connection;
    int m_recentError = 0;
};
