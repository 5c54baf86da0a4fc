// The line reader and writer over in-memory streams and a virtual clock, so
// that time-outs and pauses cost no real time.
#include "LineReader.h"
#include "LineWriter.h"
#include "PollClock.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

namespace {

class VirtualClock : public PollClock {
public:
    double now() override { return t; }
    void pause(int ms) override
    {
        t += ms / 1000.0;
        ++pauses;
        if (onPause)
            onPause(t);
    }
    double t = 1000.0;
    int pauses = 0;
    std::function<void(double)> onPause;
};

class FakeInput : public InputByteStream {
public:
    void open() override
    {
        if (status == StreamStatus::NotOpen)
            status = openedStatus;
    }
    void close() override { status = StreamStatus::Closed; }
    StreamStatus streamStatus() const override { return status; }
    std::optional<StreamError> streamError() const override { return std::nullopt; }
    int64_t read(uint8_t *buffer, int64_t maxLength) override
    {
        ++reads;
        if (failReads)
            return -1;
        if (chunks.empty())
            return 0;
        QByteArray &chunk = chunks.front();
        const int64_t n = std::min<int64_t>(maxLength, chunk.size());
        memcpy(buffer, chunk.constData(), size_t(n));
        chunk.remove(0, qsizetype(n));
        if (chunk.isEmpty())
            chunks.pop_front();
        return n;
    }
    bool hasBytesAvailable() const override { return true; }

    StreamStatus status = StreamStatus::NotOpen;
    StreamStatus openedStatus = StreamStatus::Open;
    std::deque<QByteArray> chunks;
    int reads = 0;
    bool failReads = false;
};

class FakeOutput : public OutputByteStream {
public:
    void open() override { status = StreamStatus::Open; }
    void close() override { status = StreamStatus::Closed; }
    StreamStatus streamStatus() const override { return status; }
    std::optional<StreamError> streamError() const override { return std::nullopt; }
    int64_t write(const uint8_t *buffer, int64_t length) override
    {
        if (result < 0)
            return result;
        const int64_t n = std::min<int64_t>(length, accept);
        calls.push_back(int(length));
        data.append(reinterpret_cast<const char *>(buffer), qsizetype(n));
        return n;
    }
    bool hasSpaceAvailable() const override { return true; }

    StreamStatus status = StreamStatus::Open;
    int64_t accept = 1 << 20;
    int64_t result = 0;
    std::vector<int> calls;
    QByteArray data;
};

class RecordingDelegate : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int event) override
    {
        events.push_back(event);
        return event != ReadingPassEnded || !stopAfterPass;
    }
    bool sentBytesInfo(int sent, int total) override
    {
        progress.emplace_back(sent, total);
        return !(cancelAt >= 0 && sent >= cancelAt);
    }
    std::vector<int> events;
    std::vector<std::pair<int, int>> progress;
    bool stopAfterPass = false;
    int cancelAt = -1;
};

struct ReaderFixture {
    ReaderFixture()
        : input(std::make_shared<FakeInput>())
        , reader(input)
    {
        input->status = StreamStatus::Open;
        reader.setClock(clock);
        reader.setDelegate(&delegate);
    }
    VirtualClock clock;
    std::shared_ptr<FakeInput> input;
    LineReader reader;
    RecordingDelegate delegate;
};

} // namespace

TEST(LineReader, SplitsBufferedLinesAndJoinsLinesSplitOverReads)
{
    ReaderFixture f;
    f.input->chunks = {"250-a\r\n250 b\r\n"};
    EXPECT_EQ(f.reader.readLine(), QString("250-a"));
    const int readsAfterFirst = f.input->reads;
    EXPECT_EQ(f.reader.readLine(), QString("250 b"));
    EXPECT_EQ(f.input->reads, readsAfterFirst) << "the second line was already buffered";

    f.input->chunks = {"220 mx.exa", "mple ESMTP\r", "\nrest"};
    EXPECT_EQ(f.reader.readLine(), QString("220 mx.example ESMTP"));
    EXPECT_EQ(f.reader.bufferedBytes(), 4) << "text after the last CR LF waits for the next call";

    // A bare LF or CR does not end a line.
    f.input->chunks = {"\nx\ry\r\n"};
    EXPECT_EQ(f.reader.readLine(), QString("rest\nx\ry"));

    // A UTF-8 sequence cut between two reads, and bytes that are not UTF-8.
    const QByteArray umlaut = QString("ü").toUtf8();
    f.input->chunks = {"250 Gr" + umlaut.left(1), umlaut.mid(1) + "\xff!\r\n"};
    EXPECT_EQ(f.reader.readLine(), QString("250 Grü") + QChar(0xFFFD) + "!");
}

TEST(LineReader, DelegateStopEndsTheWaitButKeepsTheLine)
{
    ReaderFixture f;
    f.delegate.stopAfterPass = true;
    f.input->chunks = {"250 ok\r\n"};
    EXPECT_FALSE(f.reader.readLine().has_value());
    EXPECT_EQ(f.reader.lastEnd(), LineReader::End::Cancelled);
    EXPECT_EQ(f.delegate.events, (std::vector<int>{0, 1}));

    // The completed line is handed out next time without asking anyone.
    f.delegate.events.clear();
    EXPECT_EQ(f.reader.readLine(), QString("250 ok"));
    EXPECT_TRUE(f.delegate.events.empty());

    // A stop while nothing arrives ends the wait after one pass.
    EXPECT_FALSE(f.reader.readLine().has_value());
    EXPECT_EQ(f.reader.lastEnd(), LineReader::End::Cancelled);
    EXPECT_EQ(f.clock.pauses, 0);
}

TEST(LineReader, TimeOutCountsFromTheLastReceivedBytes)
{
    ReaderFixture f;
    f.reader.setTimeout(2);
    const double start = f.clock.t;
    EXPECT_FALSE(f.reader.readLine().has_value());
    EXPECT_EQ(f.reader.lastEnd(), LineReader::End::TimedOut);
    EXPECT_GT(f.clock.t - start, 2.0);
    EXPECT_LT(f.clock.t - start, 2.1);

    // One byte a second for ten seconds never trips a two-second limit.
    QByteArray slow = "250 slowly\r\n";
    double next = f.clock.t + 1.0;
    f.clock.onPause = [&](double now) {
        if (now >= next && !slow.isEmpty()) {
            f.input->chunks.push_back(slow.left(1));
            slow.remove(0, 1);
            next = now + 1.0;
        }
    };
    const double slowStart = f.clock.t;
    EXPECT_EQ(f.reader.readLine(), QString("250 slowly"));
    EXPECT_GT(f.clock.t - slowStart, 10.0);
}

TEST(LineReader, EndOfStreamErrorAndOverlongLines)
{
    ReaderFixture f;
    // A line that came in before the peer closed is still handed out.
    f.input->chunks = {"221 bye\r\npartial"};
    EXPECT_EQ(f.reader.readLine(), QString("221 bye"));
    f.input->status = StreamStatus::AtEnd;
    EXPECT_FALSE(f.reader.readLine().has_value());
    EXPECT_EQ(f.reader.lastEnd(), LineReader::End::Closed);
    EXPECT_EQ(f.reader.bufferedBytes(), 7);

    ReaderFixture e;
    e.input->status = StreamStatus::Error;
    EXPECT_FALSE(e.reader.readLine().has_value());
    EXPECT_EQ(e.reader.lastEnd(), LineReader::End::StreamFailed);
    EXPECT_EQ(e.reader.readStream(), -1);
    EXPECT_TRUE(e.delegate.events.empty()) << "a stream in error is not a reading pass";

    ReaderFixture r;
    r.input->failReads = true;
    EXPECT_FALSE(r.reader.readLine().has_value());
    EXPECT_EQ(r.reader.lastEnd(), LineReader::End::StreamFailed);

    // A hostile peer cannot grow the buffer without bound: past the cap the
    // reader refuses the line and everything after it, even a "line" that
    // the tail of the long one would otherwise form.
    ReaderFixture h;
    for (int i = 0; i < 70; ++i)
        h.input->chunks.push_back(QByteArray(1024, 'x'));
    h.input->chunks.push_back("250 injected\r\n");
    EXPECT_FALSE(h.reader.readLine().has_value());
    EXPECT_EQ(h.reader.lastEnd(), LineReader::End::LineTooLong);
    EXPECT_LE(h.input->reads, LineReader::MaxLineLength / LineReader::ReadBlockSize + 2);
    EXPECT_FALSE(h.reader.readLine().has_value());
    EXPECT_EQ(h.reader.lastEnd(), LineReader::End::LineTooLong);
}

TEST(LineReader, OpenWaitsForTheStreamAndCanBeCancelled)
{
    ReaderFixture f;
    f.input->status = StreamStatus::NotOpen;
    f.input->openedStatus = StreamStatus::Opening;
    f.clock.onPause = [&](double) {
        if (f.clock.pauses == 3)
            f.input->status = StreamStatus::Open;
    };
    EXPECT_EQ(f.reader.openStream(), 0);
    EXPECT_EQ(f.clock.pauses, 3);

    ReaderFixture never;
    never.input->status = StreamStatus::NotOpen;
    never.input->openedStatus = StreamStatus::Opening;
    never.reader.setTimeout(1);
    EXPECT_EQ(never.reader.openStream(), -1);
    EXPECT_NEAR(never.clock.t - 1000.0, 1.05, 0.06);

    ReaderFixture refused;
    refused.input->status = StreamStatus::NotOpen;
    refused.input->openedStatus = StreamStatus::Error;
    EXPECT_EQ(refused.reader.openStream(), -1);

    ReaderFixture cancelled;
    cancelled.input->status = StreamStatus::NotOpen;
    cancelled.input->openedStatus = StreamStatus::Opening;
    cancelled.delegate.stopAfterPass = true;
    EXPECT_EQ(cancelled.reader.openStream(), 16);
    EXPECT_EQ(cancelled.reader.closeStream(), 0);
    EXPECT_EQ(cancelled.input->status, StreamStatus::Closed);
}

TEST(LineWriter, WritesInPiecesOf256AndReportsProgress)
{
    VirtualClock clock;
    auto output = std::make_shared<FakeOutput>();
    LineWriter writer(output);
    writer.setClock(clock);
    RecordingDelegate delegate;
    writer.setDelegate(&delegate);

    EXPECT_EQ(writer.writeLine(QString(600, 'a')), 0);
    EXPECT_EQ(output->calls, (std::vector<int>{256, 256, 90}));
    EXPECT_EQ(delegate.progress, (std::vector<std::pair<int, int>>{{256, 602}, {512, 602}, {602, 602}}));
    EXPECT_TRUE(output->data.endsWith("a\r\n"));
    EXPECT_EQ(clock.pauses, 0);

    // Measured and written in UTF-8 bytes, CR LF included.
    output->data.clear();
    delegate.progress.clear();
    EXPECT_EQ(writer.writeLine(QString("Grüße")), 0);
    EXPECT_EQ(output->data, QString("Grüße\r\n").toUtf8());
    EXPECT_EQ(delegate.progress.back(), std::make_pair(9, 9));

    // Short writes continue where they stopped.
    output->data.clear();
    output->accept = 100;
    EXPECT_EQ(writer.writeLine(QString(300, 'b')), 0);
    EXPECT_EQ(output->data, QByteArray(300, 'b') + "\r\n");

    // Without a delegate the writer answers for itself.
    writer.setDelegate(nullptr);
    EXPECT_EQ(writer.writeLine("QUIT"), 0);
}

TEST(LineWriter, CancelTimeOutAndBrokenStreams)
{
    VirtualClock clock;
    auto output = std::make_shared<FakeOutput>();
    LineWriter writer(output);
    writer.setClock(clock);
    RecordingDelegate delegate;
    writer.setDelegate(&delegate);

    delegate.cancelAt = 256;
    EXPECT_EQ(writer.writeLine(QString(1000, 'c')), 16);
    EXPECT_EQ(output->data.size(), 256) << "the rest is not written after a cancel";

    // A peer that takes nothing: the time-out counts from the last progress.
    delegate.cancelAt = -1;
    writer.setTimeout(3);
    output->accept = 0;
    const double start = clock.t;
    EXPECT_EQ(writer.writeLine("DATA"), -1);
    EXPECT_NEAR(clock.t - start, 3.0, 0.05);
    EXPECT_GT(clock.pauses, 100) << "a stream that would block is polled with pauses";

    output->accept = 1 << 20;
    output->result = -1;
    EXPECT_EQ(writer.writeLine("DATA"), -1);

    // A closed or failed stream fails at once instead of waiting out the time-out.
    output->result = 0;
    for (StreamStatus status : {StreamStatus::Error, StreamStatus::Closed, StreamStatus::AtEnd}) {
        output->status = status;
        const double before = clock.t;
        EXPECT_EQ(writer.writeLine("NOOP"), -1);
        EXPECT_EQ(clock.t, before);
    }
}
