#pragma once

#include "AppStream.h"

namespace App {

// A stream over a connected, non-blocking socket. The descriptor belongs to
// the connection that made the stream; closing the stream only stops its use.
class Stream_PosixFd : public InputStream, public OutputStream {
public:
    explicit Stream_PosixFd(int fd);
    ~Stream_PosixFd() override;

    Stream_PosixFd(const Stream_PosixFd &) = delete;
    Stream_PosixFd &operator=(const Stream_PosixFd &) = delete;

    void close() override;
    uint64_t read(uint8_t *buffer, uint64_t length) override;
    [[nodiscard]] bool atEnd() const override { return m_atEnd; }
    uint64_t write(const uint8_t *buffer, uint64_t length) override;
    bool waitUntilReadable(int timeoutMs) override;
    bool waitUntilWritable(int timeoutMs) override;

    [[nodiscard]] int fd() const { return m_fd; }

private:
    int m_fd;
    bool m_closed = false;
    bool m_atEnd = false;
};

} // namespace App
