#pragma once

#include "ByteStream.h"
#include "SmtpProgressDelegate.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

class PollClock;

// Reads CR LF terminated lines from a byte stream on the calling thread: one
// read attempt per pass, then a wait on the stream of at most one slice when
// nothing came, and the delegate asked after every pass whether to go on (so
// a cancel is seen within one slice).
class LineReader {
public:
    // Why the last readLine gave no line.
    enum class End { None, Cancelled, TimedOut, Closed, StreamFailed, LineTooLong };

    // A line longer than this without its CR LF is refused: a hostile peer
    // could otherwise grow the buffer without bound. RFC 5321 4.5.3.1.5
    // allows reply lines of 512 bytes.
    static constexpr int MaxLineLength = 64 * 1024;
    static constexpr int ReadBlockSize = 1024;
    static constexpr int DefaultTimeout = 45;
    // The longest single wait on the stream between two questions to the delegate.
    static constexpr int WaitSliceMs = 50;

    explicit LineReader(std::shared_ptr<InputByteStream> stream);
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // nullptr: the reader answers for itself (always go on).
    void setDelegate(SmtpProgressDelegate *delegate) { m_delegate = delegate; }
    [[nodiscard]] SmtpProgressDelegate *delegate() const { return m_delegate; }
    // Seconds without received data after which readLine gives up (an
    // inactivity limit, measured on the clock).
    void setTimeout(int seconds) { m_timeoutTime = seconds; }
    [[nodiscard]] int timeout() const { return m_timeoutTime; }
    // The time base of the time-outs; tests give a virtual one.
    void setClock(PollClock &clock) { m_clock = &clock; }
    // A limit on the whole of what the following readLine calls wait for,
    // counted from now, beside the inactivity limit: a peer that sends a
    // byte now and then is never silent for long, yet must not hold the
    // reader for ever. Until clearDeadline.
    void setDeadline(double seconds);
    void clearDeadline() { m_deadline.reset(); }

    // 0 once the stream is open; -1 on error, close or time-out; 16 when the
    // delegate stopped the wait.
    [[nodiscard]] int openStream();
    int closeStream();

    // The next line without its CR LF, decoded as UTF-8 (bad bytes become
    // U+FFFD), or nothing: see lastEnd(). Text after the last CR LF stays
    // buffered for the next call. After a line too long every call fails.
    [[nodiscard]] std::optional<QString> readLine();
    // One reading pass: 0, or -1 when the stream is in the error state.
    int readStream();

    [[nodiscard]] End lastEnd() const { return m_lastEnd; }
    // Received bytes not yet returned as a line.
    [[nodiscard]] qsizetype bufferedBytes() const { return m_buffer.size(); }
    [[nodiscard]] InputByteStream &stream() const { return *m_stream; }

private:
    bool ask(int event);
    std::optional<QString> takeBufferedLine();

    std::shared_ptr<InputByteStream> m_stream;
    QByteArray m_buffer;
    std::array<uint8_t, ReadBlockSize> m_readBlock{};
    SmtpProgressDelegate *m_delegate = nullptr;
    PollClock *m_clock;
    int m_timeoutTime = DefaultTimeout;
    // Start and length, in seconds.
    std::optional<std::pair<double, double>> m_deadline;
    bool m_continueReceiving = true;
    bool m_lineTooLong = false;
    int64_t m_lastPassBytes = 0;
    End m_lastEnd = End::None;
};
