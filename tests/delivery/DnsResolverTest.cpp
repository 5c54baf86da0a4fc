// Lookups through the system resolver against a real name server: dnsmasq,
// started on a free loopback port with the zone in tests/delivery/dns/.
#include <gtest/gtest.h>

#include "DNSResolver.h"
#include "MailExchangers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

extern char **environ;

namespace {

// A loopback port free right now; start() tries again when someone takes it first.
quint16 freeLoopbackPort()
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), size) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &size) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? ntohs(addr.sin_port) : 0;
}

// A child with its output in a file, started with posix_spawn: the thread
// checker cannot follow QProcess's way of forking.
class ChildProcess {
public:
    ~ChildProcess() { stop(); }

    bool start(const QStringList &arguments, const QString &outputFile)
    {
        std::vector<QByteArray> args;
        std::vector<char *> argv;
        for (const QString &a : arguments)
            args.push_back(a.toLocal8Bit());
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const QByteArray output = outputFile.toLocal8Bit();
        posix_spawn_file_actions_addopen(&actions, 1, output.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        m_pid = rc == 0 ? m_pid : -1;
        return rc == 0;
    }

    [[nodiscard]] bool running()
    {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) == 0)
            return m_pid > 0;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = -1;
        return false;
    }

    // The exit code, or -1 after a signal or the time-out.
    int wait(int milliseconds)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (running() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return running() ? -1 : m_exitCode;
    }

    void stop()
    {
        if (!running())
            return;
        ::kill(m_pid, SIGTERM);
        if (wait(5000) == -1 && m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_exitCode = -1;
};

class TestNameServer {
public:
    // Empty on success, else what went wrong with the server's own words.
    QString start()
    {
        QString program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"), {"/usr/sbin", "/sbin"});
        if (program.isEmpty())
            return QStringLiteral("dnsmasq not found: scripts/install-deps.sh installs dnsmasq-base");
        const QString config = QStringLiteral(CORV_SOURCE_DIR "/tests/delivery/dns/dnsmasq.conf");
        m_log = m_dir.filePath(QStringLiteral("dnsmasq.log"));
        // Another test program may take the port between the check and the start: try again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = freeLoopbackPort();
            if (!m_process.start({program, "--keep-in-foreground", "--conf-file=" + config, "--pid-file=",
                                  "--port=" + QString::number(m_port)},
                                 m_log))
                return QStringLiteral("dnsmasq did not start");
            if (waitUntilAnswering())
                return QString();
            m_process.stop();
        }
        return QStringLiteral("dnsmasq did not answer:\n") + log();
    }

    [[nodiscard]] quint16 port() const { return m_port; }

    [[nodiscard]] QString log() const
    {
        QFile file(m_log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    bool waitUntilAnswering()
    {
        DNSResolver probe;
        probe.setNameServer(QStringLiteral("127.0.0.1"), m_port);
        if (probe.open() != 0)
            return false;
        const QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (!m_process.running())
                return false;
            if (probe.resolveName(QStringLiteral("beta.test"), DNSResolver::QueryMX))
                return true;
            // A query to a port nobody listens on fails at once: wait a little before asking again.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    QTemporaryDir m_dir;
    QString m_log;
    ChildProcess m_process;
    quint16 m_port = 0;
};

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
    const std::unique_ptr<DNSRecord> answer = resolver.resolveName(QStringLiteral("alpha.test"), DNSResolver::QueryMX);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->header().isResponse, 1);
    EXPECT_EQ(answer->header().answerCount, 2);
    ASSERT_EQ(answer->entries().size(), 2u);
    const QList<MailExchanger> exchangers = mailExchangersForDomain(*answer, QStringLiteral("alpha.test"));
    ASSERT_EQ(exchangers.size(), 2);
    EXPECT_EQ(exchangers[0].preference, 10u);
    EXPECT_EQ(exchangers[0].host, "mx1.alpha.test");

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
    for (const DNSEntry &entry : answer->entries()) {
        EXPECT_TRUE(entry.rdataAsAddress().startsWith("exchanger-number-")) << entry.rdataAsAddress().toStdString();
        EXPECT_TRUE(entry.rdataAsAddress().endsWith("-with-a-long-label.big.test"));
    }
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
