#pragma once

#include "AppObject.h"

#include <cstdint>
#include <string>

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
        // reason: readable detail for error reports (empty: none).
        explicit ReadException(int32_t code, std::string reason = {}) : m_code(code), m_reason(std::move(reason)) {}
        const char *what() const noexcept override { return "App::InputStream::ReadException"; }
        [[nodiscard]] int32_t code() const { return m_code; }
        [[nodiscard]] const std::string &reason() const { return m_reason; }

    private:
        int32_t m_code;
        std::string m_reason;
    };

    // Bytes read now; 0 when none are pending (or the peer closed: see atEnd).
    virtual uint64_t read(uint8_t *buffer, uint64_t length) = 0;
    [[nodiscard]] virtual bool atEnd() const = 0;
    // Waits at most timeoutMs (negative: no limit) until a read may give
    // bytes, the end or an error; true when it may.
    virtual bool waitUntilReadable(int timeoutMs)
    {
        (void)timeoutMs;
        return true;
    }
};

class OutputStream : public virtual Stream {
public:
    class WriteException : public Stream::Exception {
    public:
        explicit WriteException(int32_t code, std::string reason = {}) : m_code(code), m_reason(std::move(reason)) {}
        const char *what() const noexcept override { return "App::OutputStream::WriteException"; }
        [[nodiscard]] int32_t code() const { return m_code; }
        [[nodiscard]] const std::string &reason() const { return m_reason; }

    private:
        int32_t m_code;
        std::string m_reason;
    };

    // Bytes written now (possibly fewer than asked); 0 when the socket would block.
    virtual uint64_t write(const uint8_t *buffer, uint64_t length) = 0;
    // Waits at most timeoutMs (negative: no limit) until a write may make
    // progress or fail; true when it may.
    virtual bool waitUntilWritable(int timeoutMs)
    {
        (void)timeoutMs;
        return true;
    }
};

} // namespace App
