// Direct delivery against a test name server (dnsmasq, the zone in dns/)
// whose exchangers live on loopback addresses 127.0.0.2 and up, where a
// fake exchanger listens on one port for all of them.
#include "MailHandler_direct.h"
#include "MailMessage.h"
#include "SmtpProgressDelegate.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

namespace {

// Addresses of the zone's exchangers: mx1.alpha.test, mx2.alpha.test,
// mx.beta.test and nomx.test (its own implicit exchanger).
const char *const ExchangerAddresses[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};

class FakeExchangers {
public:
    struct Session {
        QString address;
        QList<QByteArray> lines;
        QByteArray data;
    };

    FakeExchangers()
    {
        for (int attempt = 0; attempt < 20 && m_listeners.empty(); ++attempt)
            listenOnAll();
        if (!m_listeners.empty())
            m_thread = std::thread([this] { run(); });
    }
    ~FakeExchangers() { stop(); }

    [[nodiscard]] quint16 port() const { return m_port; }
    // The greeting of one address (default 220), and a recipient that is refused with 550.
    std::map<QString, QByteArray> greetings;
    QByteArray refusedRecipient;

    const std::vector<Session> &stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (const auto &[fd, address] : m_listeners)
            ::close(fd);
        m_listeners.clear();
        return m_sessions;
    }

private:
    void listenOnAll()
    {
        quint16 port = 0;
        for (const char *address : ExchangerAddresses) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in in{};
            in.sin_family = AF_INET;
            in.sin_port = htons(port);
            ::inet_pton(AF_INET, address, &in.sin_addr);
            socklen_t length = sizeof in;
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            if (::bind(fd, reinterpret_cast<sockaddr *>(&in), length) != 0 || ::listen(fd, 4) != 0
                || ::getsockname(fd, reinterpret_cast<sockaddr *>(&in), &length) != 0) {
                ::close(fd);
                for (const auto &[other, name] : m_listeners)
                    ::close(other);
                m_listeners.clear();
                return;
            }
            port = ntohs(in.sin_port);
            m_listeners.emplace_back(fd, QString::fromLatin1(address));
        }
        m_port = port;
    }

    void run()
    {
        while (!m_stop) {
            std::vector<pollfd> polls;
            for (const auto &[fd, address] : m_listeners)
                polls.push_back({fd, POLLIN, 0});
            if (::poll(polls.data(), polls.size(), 50) <= 0)
                continue;
            for (size_t i = 0; i < polls.size(); ++i) {
                if (polls[i].revents & POLLIN) {
                    const int client = ::accept4(polls[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (client >= 0) {
                        serve(client, m_listeners[i].second);
                        ::close(client);
                    }
                }
            }
        }
    }

    void serve(int client, const QString &address)
    {
        Session session{address, {}, {}};
        const QByteArray greeting = greetings.count(address) ? greetings.at(address) : QByteArray("220 fake ESMTP");
        QByteArray in;
        const auto send = [client](const QByteArray &reply) {
            const QByteArray line = reply + "\r\n";
            return ::send(client, line.constData(), size_t(line.size()), MSG_NOSIGNAL) == line.size();
        };
        const auto readUntil = [client, &in](const QByteArray &marker) {
            while (!in.contains(marker)) {
                pollfd p{client, POLLIN, 0};
                char buffer[4096];
                if (::poll(&p, 1, 5000) <= 0)
                    return false;
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return false;
                in.append(buffer, n);
            }
            return true;
        };
        bool alive = send(greeting);
        while (alive && readUntil("\r\n")) {
            const qsizetype end = in.indexOf("\r\n");
            const QByteArray line = in.left(end);
            in.remove(0, end + 2);
            session.lines.append(line);
            if (line.startsWith("EHLO"))
                alive = send("250-fake\r\n250 8BITMIME");
            else if (line.startsWith("RCPT") && !refusedRecipient.isEmpty() && line.contains(refusedRecipient))
                alive = send("550 no such user");
            else if (line == "DATA") {
                alive = send("354 go") && readUntil("\r\n.\r\n");
                if (alive) {
                    const qsizetype dataEnd = in.indexOf("\r\n.\r\n") + 5;
                    session.data = in.left(dataEnd);
                    in.remove(0, dataEnd);
                    alive = send("250 queued");
                }
            } else if (line == "QUIT") {
                send("221 bye");
                break;
            } else
                alive = send("250 ok");
        }
        m_sessions.push_back(session);
    }

    std::vector<std::pair<int, QString>> m_listeners;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<Session> m_sessions;
};

// Free right now; another program may take it before dnsmasq does, hence the retries.
quint16 freeUdpPort()
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof in;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&in), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&in), &length) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? ntohs(in.sin_port) : 0;
}

class DirectHandlerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QString program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"), {"/usr/sbin", "/sbin"});
        if (program.isEmpty()) {
            startError = "dnsmasq not found";
            return;
        }
        for (int attempt = 0; attempt < 5 && dnsPort == 0; ++attempt) {
            const quint16 port = freeUdpPort();
            dnsmasq = new QProcess;
            dnsmasq->setProcessChannelMode(QProcess::MergedChannels);
            dnsmasq->setStandardOutputFile(QProcess::nullDevice());
            dnsmasq->start(program, {"--keep-in-foreground", "--conf-file=" CORV_SOURCE_DIR "/tests/delivery/dns/dnsmasq.conf",
                                     "--pid-file=", "--port=" + QString::number(port)});
            if (dnsmasq->waitForStarted() && answers(port))
                dnsPort = port;
            else
                stopNameServer();
        }
        if (dnsPort == 0)
            startError = "dnsmasq did not answer";
    }
    static void TearDownTestSuite() { stopNameServer(); }

    static bool answers(quint16 port)
    {
        DNSResolver probe;
        probe.setNameServer(QStringLiteral("127.0.0.1"), port);
        const QDeadlineTimer deadline(10000);
        while (probe.open() == 0 && !deadline.hasExpired() && dnsmasq->state() == QProcess::Running) {
            if (probe.resolveName(QStringLiteral("beta.test"), DNSResolver::QueryMX))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    static void stopNameServer()
    {
        if (!dnsmasq)
            return;
        dnsmasq->terminate();
        if (!dnsmasq->waitForFinished(5000))
            dnsmasq->kill();
        dnsmasq->waitForFinished();
        delete dnsmasq;
        dnsmasq = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(startError.empty()) << startError;
        ASSERT_NE(exchangers.port(), 0);
        ASSERT_TRUE(handler.setNameServer(QStringLiteral("127.0.0.1"), dnsPort));
        handler.setSmtpPort(exchangers.port());
        handler.setConnectionData({{"accountType", "localserver"}, {"mailFromAddress", "Ann <ann@sender.test>"}});
        ASSERT_EQ(handler.connect(), 0);
    }

    MailMessage message(const QString &to, const QStringList &bcc = {})
    {
        MailMessage m;
        m.setFrom(QStringLiteral("Ann <ann@sender.test>"));
        m.setTo(to);
        m.setBCC(bcc);
        m.setSubject(QStringLiteral("Hello"));
        m.setPlainBody(QStringLiteral("Body"));
        m.setMessageID(handler.newMessageID());
        return m;
    }

    static QProcess *dnsmasq;
    static quint16 dnsPort;
    static std::string startError;
    FakeExchangers exchangers;
    MailHandler_direct handler;
};

QProcess *DirectHandlerTest::dnsmasq = nullptr;
quint16 DirectHandlerTest::dnsPort = 0;
std::string DirectHandlerTest::startError;

class StopAtOnce : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int) override { return false; }
};

} // namespace

TEST_F(DirectHandlerTest, EachExchangerGetsOnlyItsOwnRecipient)
{
    const MailMessage m = message("Bob <bob@alpha.test>, carol@beta.test", {"dave@nomx.test", "eve@alias.test"});
    EXPECT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(-12).toStdString();
    const std::vector<FakeExchangers::Session> &sessions = exchangers.stop();
    ASSERT_EQ(sessions.size(), 4u);
    // Lowest preference first; the implicit exchanger for a domain without MX.
    const QStringList expected[] = {{"127.0.0.2", "bob@alpha.test"}, {"127.0.0.4", "carol@beta.test"},
                                    {"127.0.0.5", "dave@nomx.test"}, {"127.0.0.2", "eve@alias.test"}};
    for (size_t i = 0; i < sessions.size(); ++i) {
        EXPECT_EQ(sessions[i].address, expected[i][0]);
        QList<QByteArray> rcpts;
        for (const QByteArray &line : sessions[i].lines) {
            if (line.startsWith("RCPT"))
                rcpts.append(line);
            EXPECT_FALSE(line.startsWith("AUTH") || line.startsWith("STARTTLS")) << line.constData();
        }
        EXPECT_EQ(rcpts, QList<QByteArray>{"RCPT TO:<" + expected[i][1].toUtf8() + ">"});
        EXPECT_TRUE(sessions[i].lines.contains("MAIL FROM:<ann@sender.test>"));
        EXPECT_TRUE(sessions[i].data.contains("Message-ID:<" + m.messageID().toLatin1() + ">"));
    }
    // Every session ends before the next one opens.
    for (const FakeExchangers::Session &session : sessions)
        EXPECT_EQ(session.lines.value(session.lines.size() - 1), "QUIT");
    // A real, unique Message-ID in the sender's domain.
    EXPECT_TRUE(m.messageID().endsWith("@sender.test")) << m.messageID().toStdString();
    EXPECT_TRUE(m.messageID().contains("Corvantiline")) << m.messageID().toStdString();
    EXPECT_NE(handler.newMessageID(), m.messageID());
    EXPECT_NE(handler.newMessageID(), MailHandler().newMessageID());
}

TEST_F(DirectHandlerTest, FailuresEndTheMessageWithTheirCode)
{
    exchangers.greetings["127.0.0.4"] = "554 go away";
    exchangers.refusedRecipient = "nobody@";

    EXPECT_EQ(handler.sendMessage(message("no-at-sign.alpha.test")), MailHandler_direct::NoExchanger);
    EXPECT_EQ(handler.sendMessage(message("x@nothere.test")), MailHandler_direct::NoExchanger);
    EXPECT_EQ(handler.sendMessage(message("x@nullmx.test")), MailHandler_direct::NoExchanger);
    EXPECT_TRUE(handler.getErrorDesc(MailHandler_direct::NoExchanger).contains("x@nullmx.test"));
    EXPECT_EQ(handler.sendMessage(message("x@beta.test")), MailHandler_direct::SessionFailed);
    EXPECT_TRUE(handler.getErrorDesc(MailHandler_direct::SessionFailed).contains("554 go away"));
    EXPECT_TRUE(handler.getErrorDesc(MailHandler_direct::SessionFailed).contains("x@beta.test"));
    // The To address and the first blind copy have it; the third is never tried.
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test", {"b@nomx.test", "nobody@alpha.test", "c@alpha.test"})),
              MailHandler_direct::MessageRefused);
    const QString text = handler.getErrorDesc(MailHandler_direct::MessageRefused);
    EXPECT_TRUE(text.contains("nobody@alpha.test") && text.contains("mx1.alpha.test") && text.contains("550"))
        << text.toStdString();

    // A user's cancel stays a cancel, not a failure of the exchanger.
    StopAtOnce stop;
    handler.setProgressCallback(&stop);
    EXPECT_EQ(handler.progressCallback(), &stop);
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test")), MailHandler::Cancelled);
    handler.setProgressCallback(nullptr);

    // After a disconnect and a new connect (the engine's retry) it works again.
    handler.disconnect();
    ASSERT_EQ(handler.connect(), 0);
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test")), 0);

    const std::vector<FakeExchangers::Session> &sessions = exchangers.stop();
    QStringList recipients;
    for (const FakeExchangers::Session &session : sessions) {
        for (const QByteArray &line : session.lines) {
            if (line.startsWith("RCPT"))
                recipients.append(QString::fromUtf8(line.mid(8)));
        }
    }
    EXPECT_EQ(recipients, QStringList({"<a@alpha.test>", "<b@nomx.test>", "<nobody@alpha.test>", "<a@alpha.test>"}));

    EXPECT_TRUE(MailHandler_direct::checkAccountData({{"mailFromAddress", "a@b.test"}}));
    EXPECT_FALSE(MailHandler_direct::checkAccountData({{"mailFromAddress", ""}}));
}

TEST_F(DirectHandlerTest, RetryOfAMessageSkipsAddressesThatTookIt)
{
    exchangers.refusedRecipient = "nobody@";
    const MailMessage m = message("a@alpha.test", {"b@nomx.test", "nobody@alpha.test", "c@beta.test"});
    EXPECT_EQ(handler.sendMessage(m), MailHandler_direct::MessageRefused);
    // The engine's retry: a fresh connection, the same message.
    handler.disconnect();
    ASSERT_EQ(handler.connect(), 0);
    EXPECT_EQ(handler.sendMessage(m), MailHandler_direct::MessageRefused);
    // The next message, to the same addresses, goes to everyone again.
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test", {"b@nomx.test", "nobody@alpha.test", "c@beta.test"})),
              MailHandler_direct::MessageRefused);

    const std::vector<FakeExchangers::Session> &sessions = exchangers.stop();
    QStringList recipients;
    for (const FakeExchangers::Session &session : sessions) {
        for (const QByteArray &line : session.lines) {
            if (line.startsWith("RCPT"))
                recipients.append(QString::fromUtf8(line.mid(8)));
        }
    }
    EXPECT_EQ(recipients, QStringList({"<a@alpha.test>", "<b@nomx.test>", "<nobody@alpha.test>",
                                       "<nobody@alpha.test>",
                                       "<a@alpha.test>", "<b@nomx.test>", "<nobody@alpha.test>"}));
}
