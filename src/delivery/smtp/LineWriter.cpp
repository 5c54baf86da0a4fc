#include "LineWriter.h"

#include "PollClock.h"
#include "StreamStatusCheck.h"

#include <algorithm>
#include <limits>

namespace {
int clampToInt(qsizetype value)
{
    return int(std::min<qsizetype>(value, std::numeric_limits<int>::max()));
}
} // namespace

LineWriter::LineWriter(std::shared_ptr<OutputByteStream> stream)
    : m_stream(std::move(stream))
    , m_clock(&PollClock::system())
{
}

int LineWriter::openStream()
{
    return openStreamAndWait(*m_stream, *m_clock, m_timeoutTime, WaitSliceMs);
}

int LineWriter::closeStream()
{
    closeStreamIfOpen(*m_stream);
    return 0;
}

int LineWriter::writeLine(const QString &line)
{
    return writeLineBytes(line.toUtf8());
}

int LineWriter::writeLineBytes(QByteArray line)
{
    line.append("\r\n");
    return writeAll(line);
}

int LineWriter::writeAll(const QByteArray &data)
{
    const qsizetype total = data.size();
    qsizetype written = 0;
    double lastProgress = m_clock->now();
    while (written < total) {
        const StreamStatus status = m_stream->streamStatus();
        // A broken connection will not take the rest: fail now rather than
        // when the time-out runs out.
        if (streamIsFinished(status) || status == StreamStatus::NotOpen)
            return -1;
        int64_t count = 0;
        if (streamIsUsable(status) && m_stream->hasSpaceAvailable()) {
            const qsizetype piece = std::min<qsizetype>(ChunkSize, total - written);
            count = m_stream->write(reinterpret_cast<const uint8_t *>(data.constData() + written), piece);
            if (count < 0)
                return -1;
            count = std::min<int64_t>(count, piece);
            written += qsizetype(count);
        }
        if (count > 0)
            lastProgress = m_clock->now();
        // A stop after the last byte comes too late: the line has gone out.
        if (m_delegate && !m_delegate->sentBytesInfo(clampToInt(written), clampToInt(total)) && written < total)
            return 16;
        if (count > 0 || written == total)
            continue;
        // A stream that would block is waited on, one slice at a time so
        // that the delegate can stop a transfer the peer no longer takes.
        const int wait = m_clock->sliceMs(lastProgress, m_timeoutTime, WaitSliceMs);
        if (wait == 0)
            return -1;
        m_stream->waitUntilWritable(wait);
    }
    return 0;
}
