#pragma once

#include "ByteStream.h"

#include <memory>

class OpenSslConnection;

// The reading side of a shared OpenSslConnection: plain bytes before
// startSsl(), decrypted bytes after it, through the same object.
class OpenSslInputStream : public InputByteStream {
public:
    explicit OpenSslInputStream(std::shared_ptr<OpenSslConnection> connection);

    // Starts connecting; waitUntilOpened advances it.
    void open() override;
    void close() override;
    // Error once a failure was recorded here or the connection failed to
    // open (it stays); Opening while it connects; AtEnd once the peer
    // closed; Open while the connection is open; else Closed.
    [[nodiscard]] StreamStatus streamStatus() const override;
    // The code is the connection's lastSystemError (errno or OpenSSL code),
    // -1 when none is known; the reason is OpenSslConnection::lastErrorText.
    [[nodiscard]] std::optional<StreamError> streamError() const override;
    bool waitUntilOpened(int timeoutMs) override;
    // Bytes read, 0 when none are pending, -1 on failure (recorded).
    int64_t read(uint8_t *buffer, int64_t maxLength) override;
    [[nodiscard]] bool hasBytesAvailable() const override { return true; }
    bool waitUntilReadable(int timeoutMs) override;

    [[nodiscard]] const std::shared_ptr<OpenSslConnection> &connection() const { return m_connection; }

    static inline const QString errorDomain = QStringLiteral("OpenSslInputStream Error");

private:
    std::shared_ptr<OpenSslConnection> m_connection;
    int m_recentError = 0;
};
