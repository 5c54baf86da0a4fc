#pragma once

#include "ByteStream.h"
#include "SmtpProgressDelegate.h"

#include <QByteArray>
#include <QString>

#include <memory>

class PollClock;

// Writes lines followed by CR LF to a byte stream in pieces of at most
// ChunkSize bytes on the calling thread, waiting on the stream in slices
// while it would block, and telling the delegate after every pass how far
// it got. Pieces are large because every one is a system call; a cancel is
// still seen after each, and while the stream would block.
class LineWriter {
public:
    static constexpr int ChunkSize = 64 * 1024;
    static constexpr int DefaultTimeout = 45;
    static constexpr int WaitSliceMs = 50;

    explicit LineWriter(std::shared_ptr<OutputByteStream> stream);
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    // nullptr: the writer answers for itself (always go on).
    void setDelegate(SmtpProgressDelegate *delegate) { m_delegate = delegate; }
    [[nodiscard]] SmtpProgressDelegate *delegate() const { return m_delegate; }
    // Seconds without any byte written after which a write gives up.
    void setTimeout(double seconds) { m_timeoutTime = seconds; }
    [[nodiscard]] double timeout() const { return m_timeoutTime; }
    // The time base of the time-out; tests give a virtual one.
    void setClock(PollClock &clock) { m_clock = &clock; }

    // 0 once the stream is open; -1 on error, close or time-out.
    [[nodiscard]] int openStream();
    int closeStream();

    // The UTF-8 form of the line followed by CR LF: 0 written, -1 failed,
    // 16 stopped by the delegate (the line is then partly written; a stop
    // at the report of the last byte is no stop, as all of it went out).
    [[nodiscard]] int writeLine(const QString &line);
    // The same for bytes that are already encoded. Taken by value: a line
    // handed over with room to spare gets its CR LF without a copy.
    [[nodiscard]] int writeLineBytes(QByteArray line);

    [[nodiscard]] OutputByteStream &stream() const { return *m_stream; }

private:
    [[nodiscard]] int writeAll(const QByteArray &data);

    std::shared_ptr<OutputByteStream> m_stream;
    SmtpProgressDelegate *m_delegate = nullptr;
    PollClock *m_clock;
    double m_timeoutTime = DefaultTimeout;
};
