#pragma once

#include "AppObject.h"

#include <cstdint>

// Byte streams of the connection framework. Every read and write makes one
// attempt and returns at once (the sockets are non-blocking); waiting and
// time-outs belong to the caller.
namespace App {

class Stream : public Object {
public:
    class Exception : public App::Exception {
    public:
        const char *what() const noexcept override { return "App::Stream::Exception"; }
    };

    ~Stream() override = default;
    virtual void close() = 0;
};

class InputStream : public virtual Stream {
public:
    class ReadException : public Stream::Exception {
    public:
        explicit ReadException(int32_t code) : m_code(code) {}
        const char *what() const noexcept override { return "App::InputStream::ReadException"; }
        [[nodiscard]] int32_t code() const { return m_code; }

    private:
        int32_t m_code;
    };

    // Bytes read now; 0 when none are pending (or the peer closed: see atEnd).
    virtual uint64_t read(uint8_t *buffer, uint64_t length) = 0;
    [[nodiscard]] virtual bool atEnd() const = 0;
};

class OutputStream : public virtual Stream {
public:
    class WriteException : public Stream::Exception {
    public:
        explicit WriteException(int32_t code) : m_code(code) {}
        const char *what() const noexcept override { return "App::OutputStream::WriteException"; }
        [[nodiscard]] int32_t code() const { return m_code; }

    private:
        int32_t m_code;
    };

    // Bytes written now (possibly fewer than asked); 0 when the socket would block.
    virtual uint64_t write(const uint8_t *buffer, uint64_t length) = 0;
};

} // namespace App
