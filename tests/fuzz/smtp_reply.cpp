// Arbitrary bytes from a server into the SMTP client's reply reading: the
// line reader, reply parsing and the EHLO capabilities. The stream serves
// the input in pieces of varying size and then reports the peer closed; a
// virtual clock keeps time-outs instant.

#include "LineReader.h"
#include "PollClock.h"
#include "SMTP_Session.h"

#include "ByteStream.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class InstantClock : public PollClock {
public:
    double now() override { return m_now; }
    void pause(int milliseconds) override { m_now += milliseconds / 1000.0; }

private:
    double m_now = 0;
};

class BytesInput : public InputByteStream {
public:
    explicit BytesInput(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    void open() override { m_status = StreamStatus::Open; }
    void close() override { m_status = StreamStatus::Closed; }
    StreamStatus streamStatus() const override { return m_status; }
    std::optional<StreamError> streamError() const override { return std::nullopt; }
    int64_t read(uint8_t *buffer, int64_t maxLength) override
    {
        if (m_offset >= m_bytes.size()) {
            m_status = StreamStatus::AtEnd;
            return 0;
        }
        // Piece sizes follow the data, so the fuzzer also explores splits.
        const int64_t piece = 1 + (uint8_t(m_bytes[m_offset]) % 97);
        const int64_t n = std::min({maxLength, piece, int64_t(m_bytes.size() - m_offset)});
        memcpy(buffer, m_bytes.constData() + m_offset, size_t(n));
        m_offset += n;
        return n;
    }
    bool hasBytesAvailable() const override { return true; }

private:
    QByteArray m_bytes;
    qsizetype m_offset = 0;
    StreamStatus m_status = StreamStatus::NotOpen;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InstantClock clock;
    auto input = std::make_shared<BytesInput>(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    SMTP_Session session;
    session.timeoutTime = 1;
    session.lineReader = std::make_unique<LineReader>(input);
    session.lineReader->setClock(clock);
    session.lineReader->setTimeout(1);
    if (session.lineReader->openStream() != 0)
        return 0;
    for (int replies = 0; replies < 64; ++replies) {
        const int code = smtp_getreply(session);
        if (code == -1 || session.lineReader->lastEnd() != LineReader::End::None)
            break;
        smtp_dispatch_ehlo_response(session);
        (void)smtp_offers_starttls(session);
        if (strnlen(session.lastReply, SMTP_Session::ReplyBufferSize) >= size_t(SMTP_Session::ReplyBufferSize))
            __builtin_trap(); // the reply text must stay terminated
    }
    return 0;
}
