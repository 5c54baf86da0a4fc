#pragma once

// Byte streams as the mail code sees them: opened, polled for status, read
// and written one attempt at a time. No run loop and no events: callers
// wait on the stream in short slices (the line reader and writer ask their
// delegate between slices, so a cancel is seen promptly), never with fixed
// sleeps. Implementations:
// socket streams (plain or TLS from the first byte) and the streams over a
// connection that can switch to TLS in place.

#include <QString>

#include <cstdint>
#include <optional>

enum class StreamStatus {
    NotOpen = 0,
    Opening = 1,
    Open = 2,
    Reading = 3,
    Writing = 4,
    AtEnd = 5,
    Closed = 6,
    Error = 7,
};

struct StreamError {
    QString domain;
    int code = 0;
};

class ByteStream {
public:
    virtual ~ByteStream() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual StreamStatus streamStatus() const = 0;
    // Present while the status is Error.
    [[nodiscard]] virtual std::optional<StreamError> streamError() const = 0;
    // Waits at most timeoutMs for the stream to leave Opening (connected,
    // handshake done, or failed). True when it did. A stream that opens at
    // once answers true at once.
    virtual bool waitUntilOpened(int timeoutMs)
    {
        (void)timeoutMs;
        return streamStatus() != StreamStatus::Opening;
    }
};

class InputByteStream : public virtual ByteStream {
public:
    // Bytes read now, 0 when none are available, negative on failure.
    virtual int64_t read(uint8_t *buffer, int64_t maxLength) = 0;
    [[nodiscard]] virtual bool hasBytesAvailable() const = 0;
    // Waits at most timeoutMs until a read may give bytes, the end or an
    // error; true when it may. Streams that cannot wait answer true at once.
    virtual bool waitUntilReadable(int timeoutMs)
    {
        (void)timeoutMs;
        return true;
    }
};

class OutputByteStream : public virtual ByteStream {
public:
    // Bytes written now, 0 when the stream would block, negative on failure.
    virtual int64_t write(const uint8_t *buffer, int64_t length) = 0;
    [[nodiscard]] virtual bool hasSpaceAvailable() const = 0;
    // Waits at most timeoutMs until a write may make progress or fail.
    virtual bool waitUntilWritable(int timeoutMs)
    {
        (void)timeoutMs;
        return true;
    }
};
