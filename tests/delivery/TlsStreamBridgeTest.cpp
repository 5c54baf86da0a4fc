#include "NetConnection_OpenSsl.h"
#include "FakeSmtpServer.h"
#include "OpenSslConnection.h"
#include "OpenSslInputStream.h"
#include "OpenSslOutputStream.h"
#include "SocketStreams.h"

#include <gtest/gtest.h>

#include <openssl/x509_vfy.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <future>
#include <optional>
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
            stream.waitUntilReadable(100);
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
        if (n == 0)
            stream.waitUntilWritable(100);
        done += size_t(n);
    }
    return true;
}

struct Pair {
    std::shared_ptr<OpenSslConnection> connection;
    OpenSslInputStream in;
    OpenSslOutputStream out;
    explicit Pair(std::shared_ptr<OpenSslConnection> c) : connection(c), in(c), out(c) {}
    Pair(const char *host, quint16 port, bool tls = false)
        : Pair(std::make_shared<OpenSslConnection>(QString::fromLatin1(host), port, tls))
    {
    }

    // Opens both streams as the line reader and writer do, in slices.
    StreamStatus open()
    {
        in.open();
        out.open();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!in.waitUntilOpened(50) && std::chrono::steady_clock::now() < deadline) {
        }
        EXPECT_TRUE(out.waitUntilOpened(0));
        return in.streamStatus();
    }
};

} // namespace

TEST(TlsStreamBridgeTest, StartTlsSwitchesTheSameStreamObjects)
{
    const TrustedCertificate trust(PeerCertificate::Localhost);
    FakeSmtpServer peer([](FakeSmtpServer::Conn &c) {
        c.send("220 hello\r\n");
        if (c.readUntil("\r\n") != "STARTTLS\r\n")
            return;
        c.send("220 ready\r\n");
        if (c.startTls() && c.readUntil("\r\n") == "EHLO x\r\n")
            c.send("250 encrypted\r\n");
        c.readUntil("QUIT\r\n");
    });
    Pair s("127.0.0.1", peer.port());
    EXPECT_EQ(s.in.streamStatus(), StreamStatus::Closed);
    EXPECT_TRUE(s.in.waitUntilOpened(0)); // nothing is opening
    EXPECT_EQ(s.open(), StreamStatus::Open);
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

TEST(TlsStreamBridgeTest, FailuresBecomeAnErrorStatusThatStays)
{
    // Nothing resolves, nothing listens: both streams of each pair end in error.
    // The code is what the system said.
    for (const auto &[host, port] : {std::pair{"nothing.invalid", 25},
                                     std::pair{"127.0.0.1", int(FakeSmtpServer::closedPort())},
                                     std::pair{"127.0.0.1", 70000}}) {
        Pair t(std::make_shared<OpenSslConnection>(QString::fromLatin1(host), port));
        EXPECT_EQ(t.open(), StreamStatus::Error);
        EXPECT_EQ(t.out.streamStatus(), StreamStatus::Error);
        ASSERT_TRUE(t.out.streamError());
        EXPECT_EQ(t.out.streamError()->code, t.connection->lastSystemError());
        EXPECT_NE(t.connection->lastSystemError(), 0);
        EXPECT_FALSE(SocketStreams::lastErrorText(t.in).isEmpty());
        if (port == 70000) {
            EXPECT_EQ(t.connection->lastSystemError(), EINVAL);
        } else if (host == std::string("127.0.0.1")) {
            EXPECT_EQ(t.connection->lastSystemError(), ECONNREFUSED);
        }
        EXPECT_EQ(t.connection->startSsl(), -1);
        t.in.close(); // a failed connection stays failed
        EXPECT_EQ(t.out.streamStatus(), StreamStatus::Error);
    }

    // The peer leaves: a write fails without SIGPIPE (whose default action
    // would end the program), the error stays even though the connection is
    // still open, and close no longer reaches it.
    ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL) << "the test needs the default SIGPIPE action";
    const TrustedCertificate trust(PeerCertificate::Localhost);
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        FakeSmtpServer peer([](FakeSmtpServer::Conn &) {}, {.tls = tls});
        Pair s("127.0.0.1", peer.port(), tls);
        ASSERT_EQ(s.open(), StreamStatus::Open);
        peer.stop();
        const std::string block(4096, 'x');
        bool failed = false;
        for (int i = 0; i < 2000 && !failed; ++i, std::this_thread::sleep_for(1ms))
            failed = !writeAll(s.out, block);
        ASSERT_TRUE(failed);
        EXPECT_EQ(s.out.streamStatus(), StreamStatus::Error);
        EXPECT_TRUE(s.out.streamError()->code == EPIPE || s.out.streamError()->code == ECONNRESET)
            << s.out.streamError()->code;
        EXPECT_TRUE(s.connection->lastErrorText().startsWith(QStringLiteral("sending to the server: ")))
            << s.connection->lastErrorText().toStdString();
        s.out.close();
        EXPECT_TRUE(s.connection->isOpen());
        EXPECT_EQ(s.out.streamStatus(), StreamStatus::Error);
    }
}

TEST(TlsStreamBridgeTest, PeerCloseEndsReadingWithAtEnd)
{
    const TrustedCertificate trust(PeerCertificate::Localhost);
    FakeSmtpServer plainPeer([](FakeSmtpServer::Conn &c) { c.send("221 bye\r\n"); });
    Pair plain("127.0.0.1", plainPeer.port());
    ASSERT_EQ(plain.open(), StreamStatus::Open);
    EXPECT_EQ(readUntil(plain.in, "never"), "221 bye\r\n");
    EXPECT_EQ(plain.in.streamStatus(), StreamStatus::AtEnd);
    EXPECT_TRUE(plain.in.waitUntilReadable(5000));
    EXPECT_FALSE(plain.in.streamError());

    // With close_notify, and without it (the socket just closes).
    for (const bool closeNotify : {true, false}) {
        FakeSmtpServer tlsPeer([&](FakeSmtpServer::Conn &c) {
            c.send("221 bye\r\n");
            if (closeNotify)
                c.sendCloseNotify();
        }, {.tls = true});
        Pair tls("localhost", tlsPeer.port(), true);
        ASSERT_EQ(tls.open(), StreamStatus::Open);
        EXPECT_EQ(readUntil(tls.in, "never"), "221 bye\r\n");
        EXPECT_EQ(tls.in.streamStatus(), StreamStatus::AtEnd);
        EXPECT_FALSE(tls.in.streamError());
        EXPECT_EQ(tls.connection->lastErrorText().isEmpty(), closeNotify)
            << tls.connection->lastErrorText().toStdString();
    }
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

    // Plain streams serve every SmtpClient test; TLS from the first byte:
    const TrustedCertificate trust(PeerCertificate::Localhost);
    FakeSmtpServer tlsPeer([](FakeSmtpServer::Conn &c) { c.send("220 tls\r\n"); }, {.tls = true});
    ASSERT_TRUE(SocketStreams::getStreamsToHost(QStringLiteral("127.0.0.1"), tlsPeer.port(), true, &in, &out));
    in->open();
    out->open();
    while (!in->waitUntilOpened(50)) {
    }
    EXPECT_EQ(out->streamStatus(), StreamStatus::Open);
    EXPECT_EQ(readUntil(*in, "\r\n"), "220 tls\r\n");
    in->close();
    EXPECT_EQ(out->streamStatus(), StreamStatus::Closed);
}

TEST(TlsStreamBridgeTest, CertificatesAreVerifiedInBothModes)
{
    const std::string selfSigned = X509_verify_cert_error_string(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
    struct Case {
        std::optional<PeerCertificate> trusted;
        PeerCertificate served;
        const char *host;
        std::string failure; // empty: the handshake succeeds
    };
    const Case cases[] = {
        {std::nullopt, PeerCertificate::Localhost, "localhost", selfSigned},
        {PeerCertificate::Localhost, PeerCertificate::Localhost, "localhost", ""},
        {PeerCertificate::Localhost, PeerCertificate::Localhost, "127.0.0.1", ""},
        {PeerCertificate::OtherName, PeerCertificate::OtherName, "localhost",
         X509_verify_cert_error_string(X509_V_ERR_HOSTNAME_MISMATCH)},
        {PeerCertificate::OtherName, PeerCertificate::OtherName, "127.0.0.1",
         X509_verify_cert_error_string(X509_V_ERR_IP_ADDRESS_MISMATCH)},
    };
    for (const Case &c : cases) {
        const TrustedCertificate trust(c.trusted);
        auto checkFailure = [&](const OpenSslConnection &connection, const char *mode) {
            const std::string text = connection.lastErrorText().toStdString();
            SCOPED_TRACE(std::string(mode) + " " + c.host + ": " + text);
            EXPECT_NE(text.find(c.failure), std::string::npos);
            EXPECT_NE(text.find("error:"), std::string::npos); // OpenSSL's own words too
            EXPECT_NE(connection.lastSystemError(), 0);
        };

        // Mode 1: TLS from the first byte.
        FakeSmtpServer tlsPeer([](FakeSmtpServer::Conn &conn) { conn.send("220 tls\r\n"); }, {.tls = true, .certificate = c.served});
        Pair first(c.host, tlsPeer.port(), true);
        if (c.failure.empty()) {
            EXPECT_EQ(first.open(), StreamStatus::Open) << c.host;
            EXPECT_EQ(readUntil(first.in, "\r\n"), "220 tls\r\n");
        } else {
            EXPECT_EQ(first.open(), StreamStatus::Error) << c.host;
            EXPECT_EQ(first.in.streamError()->code, first.connection->lastSystemError());
            checkFailure(*first.connection, "mode 1");
        }

        // Mode 2: STARTTLS.
        FakeSmtpServer plainPeer([](FakeSmtpServer::Conn &conn) {
            conn.send("220 plain\r\n");
            if (conn.readUntil("\r\n") == "STARTTLS\r\n" && conn.send("220 go\r\n") && conn.startTls())
                conn.send("250 tls\r\n");
        }, {.certificate = c.served});
        Pair second(c.host, plainPeer.port());
        ASSERT_EQ(second.open(), StreamStatus::Open);
        EXPECT_EQ(readUntil(second.in, "\r\n"), "220 plain\r\n");
        ASSERT_TRUE(writeAll(second.out, "STARTTLS\r\n"));
        EXPECT_EQ(readUntil(second.in, "\r\n"), "220 go\r\n");
        const int started = second.connection->startSsl(2s, [] { return true; });
        if (c.failure.empty()) {
            EXPECT_EQ(started, 0) << c.host << ": " << second.connection->lastErrorText().toStdString();
            EXPECT_EQ(readUntil(second.in, "\r\n"), "250 tls\r\n");
        } else {
            EXPECT_EQ(started, -1);
            EXPECT_FALSE(second.connection->isSslEnabled());
            checkFailure(*second.connection, "mode 2");
        }
    }
}

TEST(TlsStreamBridgeTest, OpeningIsBoundedAndAHandshakeCanBeStopped)
{
    using Clock = std::chrono::steady_clock;
    const TrustedCertificate trust(PeerCertificate::Localhost);
    // A connect that is never answered ends at the time-out, opening in slices.
    const StalledListener stalled;
    Pair blackHole(std::make_shared<OpenSslConnection>(QStringLiteral("127.0.0.1"), stalled.port()));
    blackHole.connection->setTimeout(300ms);
    auto start = Clock::now();
    EXPECT_EQ(blackHole.open(), StreamStatus::Error);
    EXPECT_GE(Clock::now() - start, 290ms);
    EXPECT_EQ(blackHole.connection->lastSystemError(), ETIMEDOUT);

    // A peer that accepts and never speaks: the TLS handshake of mode 1 ends
    // at the time-out too.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    FakeSmtpServer silent([&](FakeSmtpServer::Conn &) { released.wait_for(5s); });
    Pair handshake(std::make_shared<OpenSslConnection>(QStringLiteral("localhost"), silent.port(), true));
    handshake.connection->setTimeout(300ms);
    start = Clock::now();
    EXPECT_EQ(handshake.open(), StreamStatus::Error);
    EXPECT_GE(Clock::now() - start, 290ms);
    EXPECT_EQ(handshake.connection->lastErrorText(), QStringLiteral("TLS handshake timed out"));

    // STARTTLS into silence: bounded by its time-out, and stopped when
    // keepGoing says so.
    for (const bool cancel : {false, true}) {
        Pair plain("localhost", silent.port());
        ASSERT_EQ(plain.open(), StreamStatus::Open);
        int asked = 0;
        start = Clock::now();
        const int result = plain.connection->startSsl(cancel ? 10s : 300ms, [&] { return ++asked < 3 || !cancel; });
        const auto took = Clock::now() - start;
        if (cancel) {
            EXPECT_EQ(result, OpenSslConnection::Cancelled);
            EXPECT_EQ(asked, 3);
            EXPECT_LT(took, 1s);
            EXPECT_EQ(plain.in.streamStatus(), StreamStatus::Closed);
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_GE(took, 290ms);
            EXPECT_LT(took, 2s);
            EXPECT_EQ(plain.connection->lastSystemError(), ETIMEDOUT);
            EXPECT_GE(asked, 3); // asked between the slices
        }
    }
    release.set_value();
}

TEST(TlsStreamBridgeTest, WaitingForAReplyEndsWhenItArrives)
{
    using Clock = std::chrono::steady_clock;
    const TrustedCertificate trust(PeerCertificate::Localhost);
    std::atomic<Clock::rep> sentAt{0};
    auto replyLater = [&](FakeSmtpServer::Conn &c) {
        c.readUntil("go\r\n");
        std::this_thread::sleep_for(50ms); // the server takes its time
        sentAt = Clock::now().time_since_epoch().count();
        c.send("250 a\r\n250 b\r\n"); // one TLS record
        c.readUntil("QUIT\r\n");
    };
    FakeSmtpServer plainPeer(replyLater);
    FakeSmtpServer tlsPeer(replyLater, {.tls = true});
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        Pair s("localhost", tls ? tlsPeer.port() : plainPeer.port(), tls);
        ASSERT_EQ(s.open(), StreamStatus::Open);
        EXPECT_TRUE(s.out.waitUntilWritable(1000));
        sentAt = 0;
        const auto asked = Clock::now();
        ASSERT_TRUE(writeAll(s.out, "go\r\n"));
        ASSERT_TRUE(s.in.waitUntilReadable(3000));
        const auto woke = Clock::now();
        ASSERT_NE(sentAt.load(), 0);
        const Clock::time_point sent{Clock::duration(sentAt.load())};
        EXPECT_GE(woke - asked, 45ms);
        EXPECT_LT(woke - sent, 25ms);
        // Bytes OpenSSL decrypted already count as readable, though the
        // socket has nothing more.
        uint8_t buffer[7];
        std::string got;
        for (int i = 0; i < 100 && got.size() < 7; ++i) {
            const int64_t n = s.in.read(buffer, 7 - int64_t(got.size()));
            got.append(reinterpret_cast<const char *>(buffer), size_t(std::max<int64_t>(n, 0)));
            if (n == 0)
                s.in.waitUntilReadable(100);
        }
        EXPECT_EQ(got, "250 a\r\n");
        EXPECT_TRUE(s.in.waitUntilReadable(0));
        EXPECT_EQ(readUntil(s.in, "\r\n"), "250 b\r\n");
        EXPECT_FALSE(s.in.waitUntilReadable(20));
        ASSERT_TRUE(writeAll(s.out, "QUIT\r\n"));
    }
}
