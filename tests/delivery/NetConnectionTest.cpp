#include "NetConnection_OpenSsl.h"
#include "NetConnection_Posix.h"
#include "FakeSmtpServer.h"
#include "OpenSslManager.h"
#include "Stream_OpenSsl.h"
#include "Stream_PosixFd.h"

#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Polls a stream until it has delivered text ending in marker, or 5 s passed.
std::string readUntil(App::InputStream &stream, const std::string &marker)
{
    std::string text;
    uint8_t buffer[512];
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!text.ends_with(marker) && std::chrono::steady_clock::now() < deadline && !stream.atEnd()) {
        const uint64_t n = stream.read(buffer, sizeof buffer);
        text.append(reinterpret_cast<const char *>(buffer), n);
        if (n == 0)
            stream.waitUntilReadable(100);
    }
    return text;
}

void writeAll(App::OutputStream &stream, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const uint64_t n = stream.write(reinterpret_cast<const uint8_t *>(text.data()) + done, text.size() - done);
        done += n;
        if (n == 0)
            stream.waitUntilWritable(100);
    }
}

} // namespace

TEST(NetConnectionTest, SharedContextIsMadeOnceAndAnewOnlyForAnotherTrustStore)
{
    std::vector<std::future<App::OpenSslManager *>> firstUses;
    for (int i = 0; i < 8; ++i)
        firstUses.push_back(std::async(std::launch::async, []() -> App::OpenSslManager * {
            return &App::SingletonHolder<App::OpenSslManager>::sharedInstance();
        }));
    App::OpenSslManager *first = firstUses[0].get();
    for (size_t i = 1; i < firstUses.size(); ++i)
        EXPECT_EQ(firstUses[i].get(), first);

    const TrustedCertificate systemStore(std::nullopt);
    const App::ContextReference context = first->clientContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(first->clientContext().get(), context.get());
    EXPECT_EQ(SSL_CTX_get_verify_mode(context.get()), SSL_VERIFY_PEER);
    {
        const TrustedCertificate peer(PeerCertificate::Localhost);
        const App::ContextReference trusting = first->clientContext();
        EXPECT_NE(trusting.get(), context.get());
        EXPECT_EQ(first->clientContext().get(), trusting.get());
    }
    // The old context lives on while a connection holds it.
    EXPECT_EQ(SSL_CTX_get_verify_mode(context.get()), SSL_VERIFY_PEER);
}

TEST(NetConnectionTest, FailedOpensReturnMinusOneAndLeakNoDescriptor)
{
    (void)App::NetConnection_Posix("nothing.invalid", 25).open(); // the resolver may keep a file open once
    const int before = FakeSmtpServer::openDescriptorCount();
    const quint16 closed = FakeSmtpServer::closedPort();
    struct Case {
        std::string host;
        uint32_t port;
        int error; // 0: any; -1: a resolver code
    };
    for (const auto &[host, port, error] : std::vector<Case>{{"nothing.invalid", 25, -1},
                                                           {"", 25, EINVAL},
                                                           {"127.0.0.1", closed, ECONNREFUSED},
                                                           {"localhost", closed, 0},
                                                           {"::1", closed, 0},
                                                           {"127.0.0.1", 0, EINVAL},
                                                           {"127.0.0.1", 65536u + closed, EINVAL}}) {
        App::NetConnection_Posix connection(host, port);
        EXPECT_EQ(connection.open(), -1) << host << ":" << port;
        EXPECT_NE(connection.lastError(), 0);
        EXPECT_FALSE(connection.lastErrorText().empty());
        if (error < 0) {
            EXPECT_LT(connection.lastError(), 0) << connection.lastErrorText();
        } else if (error > 0) {
            EXPECT_EQ(connection.lastError(), error) << host << ":" << port << " " << connection.lastErrorText();
        }
        EXPECT_THROW((void)connection.inputStream(), App::NetConnectionException);
        App::NetConnection_OpenSsl tls(host, port);
        EXPECT_EQ(tls.open(), -1) << host << ":" << port;
        EXPECT_THROW(tls.openEncryptedConnection(), App::NetConnectionException);
    }
    EXPECT_EQ(FakeSmtpServer::openDescriptorCount(), before);
}

// Reads, writes and the end of the stream: TlsStreamBridgeTest, over these.
TEST(NetConnectionTest, ConnectsOverIPv6)
{
    if (!FakeSmtpServer::ipv6Available())
        GTEST_SKIP() << "no IPv6 loopback";
    FakeSmtpServer peer6([](FakeSmtpServer::Conn &c) { c.send("six\r\n"); }, {.addresses = {"::1"}});
    App::NetConnection_Posix v6("::1", peer6.port());
    ASSERT_EQ(v6.open(), 0);
    EXPECT_EQ(readUntil(v6.inputStream(), "\r\n"), "six\r\n");
}

TEST(NetConnectionTest, TlsFromTheFirstByteSendsSniForNamesOnly)
{
    const TrustedCertificate trust(PeerCertificate::Localhost);
    std::promise<std::string> sni;
    FakeSmtpServer peer([&](FakeSmtpServer::Conn &c) {
        sni.set_value(c.sniName);
        if (c.readUntil("\r\n") == "EHLO me\r\n")
            c.send("250 fine\r\n");
    }, {.tls = true});
    App::NetConnection_OpenSsl connection("localhost", peer.port());
    ASSERT_EQ(connection.open(), 0);
    EXPECT_TRUE(connection.isSslEnabled());
    EXPECT_EQ(sni.get_future().get(), "localhost");
    writeAll(connection.outputStream(), "EHLO me\r\n");
    EXPECT_EQ(readUntil(connection.inputStream(), "\r\n"), "250 fine\r\n");

    // An address is no host name: no SNI.
    std::promise<std::string> noSni;
    FakeSmtpServer second([&](FakeSmtpServer::Conn &c) { noSni.set_value(c.sniName); }, {.tls = true});
    App::NetConnection_OpenSsl byAddress("127.0.0.1", second.port());
    ASSERT_EQ(byAddress.open(), 0);
    EXPECT_EQ(noSni.get_future().get(), "");
}

TEST(NetConnectionTest, HandshakeWithAPeerThatSpeaksNoTlsFailsAndStaysPlain)
{
    const int before = FakeSmtpServer::openDescriptorCount();
    {
        FakeSmtpServer talker([](FakeSmtpServer::Conn &c) {
            c.readCount(5);
            c.send("500 what is this?\r\n");
        });
        App::NetConnection_OpenSsl connection("127.0.0.1", talker.port());
        ASSERT_EQ(connection.openPlainConnection(), 0);
        try {
            connection.openEncryptedConnection();
            ADD_FAILURE() << "no exception";
        } catch (const App::Stream_OpenSsl::SslOpenException &e) {
            // What OpenSSL said is kept for the error report.
            EXPECT_NE(e.reason().find("error:"), std::string::npos) << e.reason();
            EXPECT_NE(e.code(), 0);
        }
        EXPECT_FALSE(connection.isSslEnabled());
        EXPECT_NE(dynamic_cast<App::Stream_PosixFd *>(&connection.inputStream()), nullptr);
        EXPECT_NE(dynamic_cast<App::Stream_PosixFd *>(&connection.outputStream()), nullptr);
    }
    EXPECT_EQ(FakeSmtpServer::openDescriptorCount(), before);
}

TEST(NetConnectionTest, TlsWritesArePartialAndMayBeRetriedFromAMovedBuffer)
{
    const TrustedCertificate trust(PeerCertificate::Localhost);
    constexpr size_t total = 16 << 20;
    constexpr size_t window = 64 << 10;
    std::string sent(total, '\0');
    for (size_t i = 0; i < total; ++i)
        sent[i] = char('a' + (i * 7 + i / 251) % 26);
    std::promise<void> startReading;
    std::promise<std::string> received;
    FakeSmtpServer peer([&](FakeSmtpServer::Conn &c) {
        startReading.get_future().wait_for(10s);
        received.set_value(c.readCount(total));
    }, {.tls = true});
    App::NetConnection_OpenSsl connection("127.0.0.1", peer.port());
    ASSERT_EQ(connection.open(), 0);
    App::OutputStream &out = connection.outputStream();
    const auto *bytes = reinterpret_cast<const uint8_t *>(sent.data());

    // The peer does not read yet: a large write goes out in part, and later
    // ones fill the socket until one would block.
    size_t written = out.write(bytes, total);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, total);
    uint64_t n = 1;
    while (n > 0 && written < total) {
        n = out.write(bytes + written, std::min(window, total - written));
        written += n;
    }
    ASSERT_LT(written, total) << "the socket never filled";
    startReading.set_value();

    // Every retry offers the same bytes from another address, as a writer
    // whose buffer moved would.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (written < total && std::chrono::steady_clock::now() < deadline) {
        const std::vector<uint8_t> copy(bytes + written, bytes + written + std::min(window, total - written));
        written += out.write(copy.data(), copy.size());
    }
    EXPECT_EQ(written, total);
    EXPECT_TRUE(received.get_future().get() == sent);
}

TEST(NetConnectionTest, ConnectRunsInSlicesWithinOneTimeOut)
{
    const int before = FakeSmtpServer::openDescriptorCount();
    {
        const StalledListener stalled;
        App::NetConnection_Posix connection("127.0.0.1", stalled.port());
        connection.setConnectTimeout(300ms);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(connection.startOpen(), 0);
        EXPECT_TRUE(connection.isConnecting());
        EXPECT_EQ(connection.continueOpen(20), 0); // a slice passes, nothing happened
        EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
        int result = 0;
        while ((result = connection.continueOpen(20)) == 0) {
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result, -1);
        EXPECT_EQ(connection.lastError(), ETIMEDOUT);
        EXPECT_GE(took, 290ms);
        EXPECT_LT(took, 1s);
        EXPECT_FALSE(connection.isConnecting());

        // Given up between slices: close releases the socket.
        App::NetConnection_Posix abandoned("127.0.0.1", stalled.port());
        ASSERT_EQ(abandoned.startOpen(), 0);
        EXPECT_EQ(abandoned.continueOpen(10), 0);
        EXPECT_EQ(abandoned.close(), 0);
        EXPECT_FALSE(abandoned.isConnecting());
    }
    EXPECT_EQ(FakeSmtpServer::openDescriptorCount(), before);
}
