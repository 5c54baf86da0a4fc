#include "LineReader.h"

#include "PollClock.h"
#include "StreamStatusCheck.h"

#include <algorithm>

LineReader::LineReader(std::shared_ptr<InputByteStream> stream)
    : m_stream(std::move(stream))
    , m_clock(&PollClock::system())
{
}

bool LineReader::ask(int event)
{
    return m_delegate ? m_delegate->lineReaderHandleEvent(*this, event) : true;
}

void LineReader::setDeadline(double seconds)
{
    m_deadline = std::pair(m_clock->now(), seconds);
}

int LineReader::openStream()
{
    return openStreamAndWait(*m_stream, *m_clock, m_timeoutTime, WaitSliceMs,
                             [this] { return ask(SmtpProgressDelegate::ReadingPassEnded); });
}

int LineReader::closeStream()
{
    closeStreamIfOpen(*m_stream);
    return 0;
}

int LineReader::readStream()
{
    m_lastPassBytes = 0;
    const StreamStatus status = m_stream->streamStatus();
    if (m_stream->hasBytesAvailable() && streamIsUsable(status)) {
        const int64_t count = m_stream->read(m_readBlock.data(), ReadBlockSize);
        if (count < 0)
            return -1;
        // Bytes are kept raw and decoded a whole line at a time, so a UTF-8
        // sequence split between two reads survives.
        m_buffer.append(reinterpret_cast<const char *>(m_readBlock.data()), qsizetype(count));
        m_lastPassBytes = count;
        const bool goOnAfterBytes = ask(SmtpProgressDelegate::BytesReceived);
        m_continueReceiving = ask(SmtpProgressDelegate::ReadingPassEnded) && goOnAfterBytes;
        return 0;
    }
    if (status == StreamStatus::Error)
        return -1;
    m_continueReceiving = ask(SmtpProgressDelegate::ReadingPassEnded);
    return 0;
}

std::optional<QString> LineReader::takeBufferedLine()
{
    const qsizetype end = m_buffer.indexOf("\r\n");
    if (end < 0) {
        if (m_buffer.size() > MaxLineLength)
            m_lineTooLong = true;
        return std::nullopt;
    }
    if (end > MaxLineLength) {
        m_lineTooLong = true;
        return std::nullopt;
    }
    QString line = QString::fromUtf8(m_buffer.constData(), end);
    m_buffer.remove(0, end + 2);
    return line;
}

std::optional<QString> LineReader::readLine()
{
    m_continueReceiving = true;
    m_lastEnd = End::None;
    double lastData = m_clock->now();
    for (;;) {
        if (!m_lineTooLong) {
            if (auto line = takeBufferedLine())
                return line;
        }
        if (m_lineTooLong) {
            // Whatever follows is the rest of the refused line, not a line
            // of its own: the reader stays failed.
            m_buffer.clear();
            m_lastEnd = End::LineTooLong;
            return std::nullopt;
        }
        // Checked only when no whole line is buffered: a line that came in
        // by the deadline is still handed out.
        const int deadlineWait =
            m_deadline ? m_clock->sliceMs(m_deadline->first, m_deadline->second, WaitSliceMs) : WaitSliceMs;
        if (deadlineWait == 0) {
            m_lastEnd = End::TimedOut;
            return std::nullopt;
        }
        const StreamStatus status = m_stream->streamStatus();
        if (!streamIsUsable(status)) {
            m_lastEnd = status == StreamStatus::Error ? End::StreamFailed : End::Closed;
            return std::nullopt;
        }
        if (readStream() < 0) {
            m_lastEnd = End::StreamFailed;
            return std::nullopt;
        }
        // Even when this pass completed a line, a stop stands; the line
        // stays buffered for the next call.
        if (!m_continueReceiving) {
            m_lastEnd = End::Cancelled;
            return std::nullopt;
        }
        if (m_lastPassBytes > 0) {
            lastData = m_clock->now();
            continue;
        }
        // An inactivity limit: it counts from the last bytes received. The
        // wait ends as soon as bytes arrive, so a reply costs no fixed delay.
        const int wait = std::min(deadlineWait, m_clock->sliceMs(lastData, m_timeoutTime, WaitSliceMs));
        if (wait == 0) {
            m_lastEnd = End::TimedOut;
            return std::nullopt;
        }
        m_stream->waitUntilReadable(wait);
    }
}
