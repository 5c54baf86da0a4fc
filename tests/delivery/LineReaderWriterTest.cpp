// The line reader and writer over in-memory streams and a virtual clock: a
// stream's wait moves the clock on, so time-outs cost no real time.
#include "LineReader.h"
#include "LineWriter.h"
#include "PollClock.h"
#include "SMTP_Session.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

namespace {

class VirtualClock : public PollClock {
public:
    double now() override { return t; }
    // A stream's wait that nothing ends early.
    void wait(int ms)
    {
        t += ms / 1000.0;
        ++waits;
        longestWait = std::max(longestWait, ms);
        if (onWait)
            onWait(t);
    }
    double t = 1000.0;
    int waits = 0;
    int longestWait = 0;
    std::function<void(double)> onWait;
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
    bool waitUntilOpened(int ms) override
    {
        if (status == StreamStatus::Opening)
            clock->wait(ms);
        return status != StreamStatus::Opening;
    }
    bool waitUntilReadable(int ms) override
    {
        if (chunks.empty())
            clock->wait(ms);
        return !chunks.empty();
    }

    VirtualClock *clock = nullptr;
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
    bool waitUntilWritable(int ms) override
    {
        if (accept == 0)
            clock->wait(ms);
        return accept > 0;
    }

    VirtualClock *clock = nullptr;
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
        input->clock = &clock;
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

    // UTF-8 sequences cut between reads (a four-byte one in three pieces),
    // and bytes that are not UTF-8.
    const QByteArray umlaut = QString("ü").toUtf8();
    const QByteArray emoji = QString::fromUtf8("\xF0\x9F\x93\xA7").toUtf8();
    f.input->chunks = {"250 Gr" + umlaut.left(1), umlaut.mid(1) + "\xff!" + emoji.left(1), emoji.mid(1, 2),
                       emoji.mid(3) + "\r\n"};
    EXPECT_EQ(f.reader.readLine(), QString("250 Grü") + QChar(0xFFFD) + "!" + QString::fromUtf8(emoji));
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
    EXPECT_EQ(f.clock.waits, 0);

    // A cancel in the middle of a long wait is seen within one slice.
    ReaderFixture w;
    double cancelledAt = 0;
    w.clock.onWait = [&](double now) {
        if (now >= 1003.0 && cancelledAt == 0) {
            cancelledAt = now;
            w.delegate.stopAfterPass = true;
        }
    };
    EXPECT_FALSE(w.reader.readLine().has_value());
    EXPECT_EQ(w.reader.lastEnd(), LineReader::End::Cancelled);
    EXPECT_LE(w.clock.t - cancelledAt, LineReader::WaitSliceMs / 1000.0);
    EXPECT_LE(w.clock.longestWait, LineReader::WaitSliceMs);
}

TEST(LineReader, TimeOutCountsFromTheLastReceivedBytes)
{
    ReaderFixture f;
    f.reader.setTimeout(2);
    const double start = f.clock.t;
    EXPECT_FALSE(f.reader.readLine().has_value());
    EXPECT_EQ(f.reader.lastEnd(), LineReader::End::TimedOut);
    EXPECT_GE(f.clock.t - start, 2.0 - 1e-9);
    EXPECT_LT(f.clock.t - start, 2.01) << "the last slice is cut to what is left of the limit";

    // One byte a second for ten seconds never trips a two-second limit.
    QByteArray slow = "250 slowly\r\n";
    double next = f.clock.t + 1.0;
    f.clock.onWait = [&](double now) {
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
    f.clock.onWait = [&](double) {
        if (f.clock.waits == 3)
            f.input->status = StreamStatus::Open;
    };
    EXPECT_EQ(f.reader.openStream(), 0);
    EXPECT_EQ(f.clock.waits, 3);

    ReaderFixture never;
    never.input->status = StreamStatus::NotOpen;
    never.input->openedStatus = StreamStatus::Opening;
    never.reader.setTimeout(1);
    EXPECT_EQ(never.reader.openStream(), -1);
    EXPECT_NEAR(never.clock.t - 1000.0, 1.0, 0.01);

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

TEST(LineWriter, WritesInPiecesAndReportsProgress)
{
    VirtualClock clock;
    auto output = std::make_shared<FakeOutput>();
    output->clock = &clock;
    LineWriter writer(output);
    writer.setClock(clock);
    RecordingDelegate delegate;
    writer.setDelegate(&delegate);

    constexpr int Piece = LineWriter::ChunkSize;
    const QByteArray line = QByteArray(2 * Piece, 'a') + "tail";
    EXPECT_EQ(writer.writeLine(QString::fromLatin1(line)), 0);
    const int total = 2 * Piece + 6;
    EXPECT_EQ(output->calls, (std::vector<int>{Piece, Piece, 6}));
    EXPECT_EQ(delegate.progress, (std::vector<std::pair<int, int>>{{Piece, total}, {2 * Piece, total}, {total, total}}));
    EXPECT_EQ(output->data, line + "\r\n");
    EXPECT_EQ(clock.waits, 0);

    // A command goes out in one write, CR LF included.
    output->calls.clear();
    output->data.clear();
    EXPECT_EQ(writer.writeLineBytes("RCPT TO:<a@b.example>"), 0);
    EXPECT_EQ(output->calls, std::vector<int>{23});
    EXPECT_EQ(output->data, "RCPT TO:<a@b.example>\r\n");

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
    output->clock = &clock;
    LineWriter writer(output);
    writer.setClock(clock);
    RecordingDelegate delegate;
    writer.setDelegate(&delegate);

    delegate.cancelAt = LineWriter::ChunkSize;
    EXPECT_EQ(writer.writeLine(QString(3 * LineWriter::ChunkSize, 'c')), 16);
    EXPECT_EQ(output->data.size(), LineWriter::ChunkSize) << "the rest is not written after a cancel";

    // A peer that takes nothing: the time-out counts from the last progress.
    delegate.cancelAt = -1;
    writer.setTimeout(3);
    output->accept = 0;
    const double start = clock.t;
    EXPECT_EQ(writer.writeLine("DATA"), -1);
    EXPECT_NEAR(clock.t - start, 3.0, 0.05);
    EXPECT_GE(clock.waits, 60) << "a stream that would block is waited on in slices";
    EXPECT_LE(clock.longestWait, LineWriter::WaitSliceMs);

    // A cancel while the peer takes nothing is seen within one slice.
    double cancelledAt = 0;
    clock.onWait = [&](double now) {
        if (cancelledAt == 0 && now - start > 4.0) {
            cancelledAt = now;
            delegate.cancelAt = 0;
        }
    };
    EXPECT_EQ(writer.writeLine("DATA"), 16);
    EXPECT_LE(clock.t - cancelledAt, LineWriter::WaitSliceMs / 1000.0);
    clock.onWait = nullptr;
    delegate.cancelAt = -1;

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

TEST(SmtpSession, ReplyToTheFinalDotIsAwaitedForTenMinutes)
{
    // A server may take minutes to accept a message; giving up earlier
    // would have the message sent twice. Yet ten minutes is all the whole
    // reply gets: one that trickles in a byte a minute is never silent for
    // long, but takes too long all the same.
    struct Row {
        double replyAfter;
        double byteEvery; // seconds; 0: the reply comes in one piece
        int result;
    };
    const Row rows[] = {{300.0, 0, 0}, {SMTP_Session::EndOfDataTimeout + 5.0, 0, 10}, {0, 60.0, 10}};
    for (const Row &row : rows) {
        VirtualClock clock;
        auto input = std::make_shared<FakeInput>();
        input->status = StreamStatus::Open;
        input->clock = &clock;
        auto output = std::make_shared<FakeOutput>();
        output->clock = &clock;
        SMTP_Session session;
        session.lineReader = std::make_unique<LineReader>(input);
        session.lineReader->setClock(clock);
        session.lineReader->setTimeout(10);
        session.lineWriter = std::make_unique<LineWriter>(output);
        session.lineWriter->setClock(clock);
        const double start = clock.t;
        QByteArray reply = "250 queued\r\n";
        double nextByte = start;
        clock.onWait = [&](double now) {
            if (row.byteEvery > 0) {
                if (now >= nextByte && !reply.isEmpty()) {
                    input->chunks.push_back(reply.left(1));
                    reply.remove(0, 1);
                    nextByte = now + row.byteEvery;
                }
            } else if (now - start >= row.replyAfter && input->chunks.empty()) {
                input->chunks.push_back("250 queued\r\n");
            }
        };
        EXPECT_EQ(smtp_end_mail(session), row.result);
        EXPECT_EQ(output->data, ".\r\n");
        EXPECT_EQ(session.lineReader->timeout(), 10) << "other replies keep the usual time-out";
        if (row.result != 0) {
            EXPECT_NEAR(clock.t - start, SMTP_Session::EndOfDataTimeout, 0.01);
        }
    }
}

TEST(SmtpSession, MessageTextGoesOutDotStuffedInLargePiecesAndCanBeCancelled)
{
    VirtualClock clock;
    auto output = std::make_shared<FakeOutput>();
    output->clock = &clock;
    SMTP_Session session;
    session.lineWriter = std::make_unique<LineWriter>(output);
    session.lineWriter->setClock(clock);
    RecordingDelegate delegate;
    session.sendCallback = &delegate;

    // Already in wire form (the message writer's case): sent as it is.
    QByteArray body;
    for (int i = 0; body.size() < 3 * LineWriter::ChunkSize; ++i)
        body += "line " + QByteArray::number(i) + " of base64-like text ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
    const QByteArray wire = "Subject: x\r\n\r\n" + body;
    EXPECT_EQ(smtp_send_text(session, wire), 0);
    EXPECT_EQ(output->data, wire) << "the text's last CR LF is the one before the dot line";
    EXPECT_EQ(output->calls.size(), size_t((wire.size() + LineWriter::ChunkSize - 1) / LineWriter::ChunkSize));
    EXPECT_EQ(delegate.progress.back(), std::make_pair(int(wire.size()), int(wire.size())));

    // Bare line ends and leading dots, also at a piece boundary.
    output->data.clear();
    const QByteArray edge = QByteArray(LineWriter::ChunkSize - 1, 'x') + "\n.dot\r.\r\n..two\rend";
    EXPECT_EQ(smtp_send_text(session, edge), 0);
    EXPECT_EQ(output->data,
              QByteArray(LineWriter::ChunkSize - 1, 'x') + "\r\n..dot\r\n..\r\n...two\r\nend\r\n");
    output->data.clear();
    EXPECT_EQ(smtp_send_text(session, ".first"), 0);
    EXPECT_EQ(output->data, "..first\r\n");

    // A cancel after the first piece leaves the rest unsent, and the
    // writer does not keep the delegate.
    output->data.clear();
    delegate.cancelAt = 1;
    EXPECT_EQ(smtp_send_text(session, wire), 16);
    EXPECT_EQ(output->data.size(), LineWriter::ChunkSize);
    EXPECT_EQ(session.lineWriter->delegate(), nullptr);
}
