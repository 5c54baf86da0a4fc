// Lookups through the system resolver against a real name server (dnsmasq
// with the zone in tests/delivery/dns/).
#include <gtest/gtest.h>

#include "MailExchangers.h"
#include "TestNameServer.h"

#include <QCoreApplication>

#include <atomic>
#include <iostream>

namespace {

class DnsResolverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new TestNameServer;
        startError = server->start();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(startError.isEmpty()) << startError.toStdString();
        ASSERT_TRUE(resolver.setNameServer(QStringLiteral("127.0.0.1"), server->port()));
        ASSERT_EQ(resolver.open(), 0);
    }
    void TearDown() override
    {
        if (HasFailure() && server)
            std::cerr << "name server log:\n" << server->log().toStdString();
    }

    static TestNameServer *server;
    static QString startError;
    DNSResolver resolver;
};

TestNameServer *DnsResolverTest::server = nullptr;
QString DnsResolverTest::startError;

} // namespace

TEST_F(DnsResolverTest, ExchangersInPreferenceOrder)
{
    // The least preference wins whatever order the server lists them in, in any case of the name.
    EXPECT_EQ(mailHostForAddress(resolver, "someone@alpha.test"), "mx1.alpha.test");
    EXPECT_EQ(mailHostForAddress(resolver, "Someone@ALPHA.Test"), "mx1.alpha.test");
    EXPECT_EQ(mailHostForAddress(resolver, "\"odd@local\"@beta.test"), "mx.beta.test");
    EXPECT_EQ(mailHostForAddress(resolver, "a@alias.test"), "mx1.alpha.test");
    EXPECT_EQ(mailHostForAddress(resolver, "käufer@bücher.test"), "mx.xn--bcher-kva.test");
}

TEST_F(DnsResolverTest, MissingExchangers)
{
    // Exists with an address but no MX: the domain is its own exchanger (RFC 5321 5.1).
    EXPECT_FALSE(resolver.resolveName(QStringLiteral("nomx.test"), DNSResolver::QueryMX));
    EXPECT_EQ(resolver.lastFailure(), DNSResolver::Failure::NoRecords);
    EXPECT_EQ(mailHostForAddress(resolver, "x@nomx.test"), "nomx.test");

    EXPECT_FALSE(resolver.resolveName(QStringLiteral("nothere.test"), DNSResolver::QueryMX));
    EXPECT_EQ(resolver.lastFailure(), DNSResolver::Failure::NoSuchName);
    EXPECT_TRUE(mailHostForAddress(resolver, "x@nothere.test").isNull());
    // A null MX: the domain takes no mail, and its own address is not tried either.
    EXPECT_TRUE(mailHostForAddress(resolver, "x@nullmx.test").isNull());
    EXPECT_TRUE(mailHostForAddress(resolver, "no-at-sign.alpha.test").isNull());
    EXPECT_TRUE(mailHostForAddress(resolver, "x@").isNull());
    EXPECT_TRUE(mailHostForAddress(resolver, "x@[127.0.0.1]").isNull());
    EXPECT_TRUE(mailHostForAddress(resolver, "x@alpha.test\r\nRCPT TO:<y@beta.test>").isNull());
}

// With a search list a failing name would be retried below a local domain,
// whose exchanger would then get the mail. The C library reads the search
// list from the environment once per process, so the lookup runs in a child.
TEST(DnsSearchList, NeverApplied)
{
    const QByteArray childPort = qgetenv("CORV_TEST_DNS_PORT");
    if (!childPort.isEmpty()) {
        DNSResolver resolver;
        ASSERT_TRUE(resolver.setNameServer(QStringLiteral("127.0.0.1"), quint16(childPort.toUInt())));
        ASSERT_EQ(resolver.open(), 0);
        EXPECT_EQ(mailHostForAddress(resolver, "x@alpha.test"), "mx1.alpha.test");
        EXPECT_FALSE(resolver.resolveName(QStringLiteral("missing.example"), DNSResolver::QueryMX));
        const QString host = mailHostForAddress(resolver, "x@missing.example");
        EXPECT_TRUE(host.isNull()) << host.toStdString();
        return;
    }
    TestNameServer server;
    const QString error = server.start();
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    // The child reads the variables when it starts; this process has read its own already.
    qputenv("LOCALDOMAIN", "wild.test");
    qputenv("CORV_TEST_DNS_PORT", QByteArray::number(server.port()));
    ChildProcess child;
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("child.log"));
    const bool started =
        child.start({QCoreApplication::applicationFilePath(), "--gtest_filter=DnsSearchList.NeverApplied"}, output);
    qunsetenv("LOCALDOMAIN");
    qunsetenv("CORV_TEST_DNS_PORT");
    ASSERT_TRUE(started);
    const int exitCode = child.wait(60000);
    QFile log(output);
    const QByteArray childLog = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    EXPECT_EQ(exitCode, 0) << childLog.constData() << server.log().toStdString();
}

TEST_F(DnsResolverTest, LongAnswerIsReadWhole)
{
    // Far more than 1024 bytes: truncated over UDP, fetched again over TCP.
    const std::unique_ptr<DNSRecord> answer = resolver.resolveName(QStringLiteral("big.test"), DNSResolver::QueryMX);
    ASSERT_TRUE(answer);
    EXPECT_GT(answer->dnsAnswerLength(), 2048);
    EXPECT_LE(answer->dnsAnswerLength(), DNSResolver::AnswerBufferSize);
    EXPECT_EQ(answer->header().answerCount, 40);
    ASSERT_EQ(answer->entries().size(), 40u);
    // The most preferred one is the last in the zone file.
    const QList<MailExchanger> exchangers = mailExchangersForDomain(*answer, QStringLiteral("big.test"));
    ASSERT_EQ(exchangers.size(), 40);
    EXPECT_EQ(exchangers.first().preference, 60u);
    EXPECT_EQ(exchangers.first().host, "exchanger-number-40-with-a-long-label.big.test");
}

TEST_F(DnsResolverTest, ReopenCloseAndThreads)
{
    // The engine reopens after every failure: nothing may pile up, and the
    // injected server stays in force.
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(resolver.open(), 0);
    EXPECT_EQ(mailHostForAddress(resolver, "a@beta.test"), "mx.beta.test");
    resolver.close();
    EXPECT_FALSE(resolver.resolveName(QStringLiteral("beta.test"), DNSResolver::QueryMX));
    resolver.close();

    // One resolver per thread, all at once.
    std::atomic<int> found{0};
    std::vector<std::thread> threads;
    const quint16 port = server->port();
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&found, port] {
            DNSResolver own;
            own.setNameServer(QStringLiteral("127.0.0.1"), port);
            if (own.open() != 0)
                return;
            for (int i = 0; i < 10; ++i) {
                if (mailHostForAddress(own, "a@alpha.test") == QLatin1String("mx1.alpha.test"))
                    ++found;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(found.load(), 40);
}
