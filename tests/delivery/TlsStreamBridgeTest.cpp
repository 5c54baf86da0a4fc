#include "NetConnection_OpenSsl.h"
#include "NetTestPeer.h"
#include "OpenSslConnection.h"
#include "OpenSslInputStream.h"
#include "OpenSslOutputStream.h"
#include "SocketStreams.h"
#include "Stream_PosixFd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Polls until the stream delivered text ending in marker, or stopped being open.
std::string readUntil(InputByteStream &stream, const std::string &marker)
{
    std::string text;
    uint8_t buffer[256];
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!text.ends_with(marker) && stream.streamStatus() == StreamStatus::Open
           && std::chrono::steady_clock::now() < deadline) {
        const int64_t n = stream.read(buffer, sizeof buffer);
        if (n > 0)
            text.append(reinterpret_cast<const char *>(buffer), size_t(n));
        else
            std::this_thread::sleep_for(2ms);
    }
    return text;
}

bool writeAll(OutputByteStream &stream, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const int64_t n = stream.write(reinterpret_cast<const uint8_t *>(text.data()) + done,
                                       int64_t(text.size() - done));
        if (n < 0)
            return false;
        done += size_t(n);
    }
    return true;
}

struct Pair {
    std::shared_ptr<OpenSslConnection> connection;
    OpenSslInputStream in;
    OpenSslOutputStream out;
    explicit Pair(std::shared_ptr<OpenSslConnection> c) : connection(c), in(c), out(c) {}
};

} // namespace

TEST(TlsStreamBridgeTest, StartTlsSwitchesTheSameStreamObjects)
{
    NetTestPeer peer("127.0.0.1", false, [](NetTestPeer::Conn &c) {
        c.send("220 hello\r\n");
        if (c.readUntil("\r\n") != "STARTTLS\r\n")
            return;
        c.send("220 ready\r\n");
        if (c.startTls() && c.readUntil("\r\n") == "EHLO x\r\n")
            c.send("250 encrypted\r\n");
        c.readUntil("QUIT\r\n");
    });
    Pair s(std::make_shared<OpenSslConnection>(QStringLiteral("127.0.0.1"), peer.port()));
    EXPECT_EQ(s.in.streamStatus(), StreamStatus::Closed);
    s.in.open();
    s.out.open();
    EXPECT_EQ(s.in.streamStatus(), StreamStatus::Open);
    EXPECT_EQ(s.out.streamStatus(), StreamStatus::Open);
    EXPECT_FALSE(s.in.streamError());
    uint8_t buffer[8];
    EXPECT_EQ(readUntil(s.in, "\r\n"), "220 hello\r\n");
    EXPECT_EQ(s.in.read(buffer, sizeof buffer), 0); // nothing pending, still open
    EXPECT_EQ(s.in.streamStatus(), StreamStatus::Open);
    ASSERT_TRUE(writeAll(s.out, "STARTTLS\r\n"));
    EXPECT_EQ(readUntil(s.in, "\r\n"), "220 ready\r\n");
    ASSERT_EQ(s.connection->startSsl(), 0);
    EXPECT_TRUE(s.connection->isSslEnabled());
    EXPECT_EQ(s.connection->startSsl(), 0);
    EXPECT_EQ(s.in.read(buffer, sizeof buffer), 0); // TLS, nothing pending
    ASSERT_TRUE(writeAll(s.out, "EHLO x\r\n"));
    EXPECT_EQ(readUntil(s.in, "\r\n"), "250 encrypted\r\n");
    ASSERT_TRUE(writeAll(s.out, "QUIT\r\n"));

    // Closing one stream closes the connection for the other.
    s.out.close();
    EXPECT_EQ(s.out.streamStatus(), StreamStatus::Closed);
    EXPECT_EQ(s.in.streamStatus(), StreamStatus::Closed);
    EXPECT_FALSE(s.connection->isOpen());
    EXPECT_EQ(peer.stop(), 1); // the second open made no second connection
}

TEST(TlsStreamBridgeTest, FailedHandshakeLeavesTheConnectionPlain)
{
    NetTestPeer peer("127.0.0.1", false, [](NetTestPeer::Conn &c) {
        c.readCount(5);
        c.send("502 no TLS here\r\n");
    });
    Pair s(std::make_shared<OpenSslConnection>(QStringLiteral("127.0.0.1"), peer.port()));
    EXPECT_EQ(s.connection->startSsl(), -1); // opens first, then fails the handshake
    EXPECT_TRUE(s.connection->isOpen());
    EXPECT_FALSE(s.connection->isSslEnabled());
    EXPECT_NE(dynamic_cast<App::Stream_PosixFd *>(&s.connection->connectionObject()->inputStream()), nullptr);
}

TEST(TlsStreamBridgeTest, FailuresBecomeAnErrorStatusThatStays)
{
    // Nothing resolves, nothing listens: both streams of each pair end in error.
    for (const auto &[host, port] : {std::pair{QStringLiteral("nothing.invalid"), 25},
                                     std::pair{QStringLiteral("127.0.0.1"), int(NetTestPeer::closedPort())}}) {
        Pair s(std::make_shared<OpenSslConnection>(host, port));
        s.in.open();
        s.out.open();
        EXPECT_EQ(s.in.streamStatus(), StreamStatus::Error);
        EXPECT_EQ(s.out.streamStatus(), StreamStatus::Error);
        ASSERT_TRUE(s.out.streamError());
        EXPECT_EQ(s.out.streamError()->domain, QStringLiteral("OpenSslInputStream Error"));
        EXPECT_EQ(s.out.streamError()->code, -1);
        EXPECT_EQ(s.connection->startSsl(), -1);
    }

    // The peer leaves: a write fails (no SIGPIPE), the error stays even
    // though the connection is still open, and close no longer reaches it.
    NetTestPeer peer("127.0.0.1", false, [](NetTestPeer::Conn &) {});
    Pair s(std::make_shared<OpenSslConnection>(QStringLiteral("127.0.0.1"), peer.port()));
    s.out.open();
    peer.stop();
    const std::string block(4096, 'x');
    bool failed = false;
    for (int i = 0; i < 2000 && !failed; ++i, std::this_thread::sleep_for(1ms))
        failed = !writeAll(s.out, block);
    ASSERT_TRUE(failed);
    EXPECT_EQ(s.out.streamStatus(), StreamStatus::Error);
    s.out.close();
    EXPECT_TRUE(s.connection->isOpen());
    EXPECT_EQ(s.out.streamStatus(), StreamStatus::Error);
}

TEST(TlsStreamBridgeTest, PeerCloseEndsReadingWithAtEnd)
{
    NetTestPeer plainPeer("127.0.0.1", false, [](NetTestPeer::Conn &c) { c.send("221 bye\r\n"); });
    Pair plain(std::make_shared<OpenSslConnection>(QStringLiteral("127.0.0.1"), plainPeer.port()));
    plain.in.open();
    EXPECT_EQ(readUntil(plain.in, "never"), "221 bye\r\n");
    EXPECT_EQ(plain.in.streamStatus(), StreamStatus::AtEnd);
    EXPECT_FALSE(plain.in.streamError());

    NetTestPeer tlsPeer("127.0.0.1", true, [](NetTestPeer::Conn &c) {
        c.send("221 bye\r\n");
        c.sendCloseNotify();
    });
    Pair tls(std::make_shared<OpenSslConnection>(QStringLiteral("localhost"), tlsPeer.port(), true));
    tls.in.open();
    EXPECT_EQ(readUntil(tls.in, "never"), "221 bye\r\n");
    EXPECT_EQ(tls.in.streamStatus(), StreamStatus::AtEnd);
}

TEST(TlsStreamBridgeTest, SocketStreamsSpeakPlainOrTlsFromTheFirstByte)
{
    EXPECT_EQ(SocketStreams::hostWithName(QStringLiteral("localhost")), QStringLiteral("localhost"));
    EXPECT_FALSE(SocketStreams::hostWithName(QStringLiteral("nothing.invalid")));
    EXPECT_FALSE(SocketStreams::hostWithName(QString()));
    std::shared_ptr<InputByteStream> in;
    std::shared_ptr<OutputByteStream> out;
    EXPECT_FALSE(SocketStreams::getStreamsToHost(QString(), 25, false, &in, &out));
    EXPECT_FALSE(in);

    auto echo = [](NetTestPeer::Conn &c) {
        c.send("220 " + std::string(c.ssl ? "tls" : "plain") + "\r\n");
        c.send(c.readUntil("\r\n"));
    };
    NetTestPeer tlsPeer("127.0.0.1", true, echo);
    NetTestPeer plainPeer("127.0.0.1", false, echo);
    for (const bool tls : {true, false}) {
        ASSERT_TRUE(SocketStreams::getStreamsToHost(QStringLiteral("127.0.0.1"),
                                                    tls ? tlsPeer.port() : plainPeer.port(), tls, &in, &out));
        in->open();
        out->open();
        EXPECT_EQ(out->streamStatus(), StreamStatus::Open);
        EXPECT_EQ(readUntil(*in, "\r\n"), tls ? "220 tls\r\n" : "220 plain\r\n");
        ASSERT_TRUE(writeAll(*out, "NOOP\r\n"));
        EXPECT_EQ(readUntil(*in, "\r\n"), "NOOP\r\n");
        in->close();
        EXPECT_EQ(out->streamStatus(), StreamStatus::Closed);
    }
    EXPECT_EQ(tlsPeer.stop(), 1);

    // TLS asked of a peer that speaks none: the open fails.
    NetTestPeer plainOnly("127.0.0.1", false, [](NetTestPeer::Conn &c) { c.send("220 plain only\r\n"); });
    ASSERT_TRUE(SocketStreams::getStreamsToHost(QStringLiteral("127.0.0.1"), plainOnly.port(), true, &in, &out));
    in->open();
    EXPECT_EQ(in->streamStatus(), StreamStatus::Error);
}
