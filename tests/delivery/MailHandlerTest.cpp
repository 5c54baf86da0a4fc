// The handler factory, the account checks, and the SMTP handler's password
// sourcing and pause against a loopback server that takes any number of
// connections.
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "MailHandler.h"
#include "MailHandler_direct.h"
#include "MailHandler_dummy.h"
#include "MailHandler_script.h"
#include "MailHandler_smtp.h"
#include "MailMessage.h"
#include "PasswordPrompter.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <climits>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;

namespace {

// Answers every command as a willing server would and records, per
// connection, the lines it got ("<open>", "<message>" and "<closed>" mark
// the rest). Connections are served one after another.
class FakeSmtpServer {
public:
    struct Event {
        int connection;
        QByteArray line;
        steady_clock::time_point at;
    };

    FakeSmtpServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 4) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~FakeSmtpServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    QString port() const { return QString::number(m_port); }
    // How the end of a message is answered.
    enum class EndOfData { Queued, Refused, HangUp };
    std::atomic<EndOfData> endOfData{EndOfData::Queued};
    std::vector<Event> events() const
    {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Connection of each message, in order.
    std::vector<int> messageConnections() const
    {
        std::vector<int> result;
        for (const Event &event : events()) {
            if (event.line == "<message>")
                result.push_back(event.connection);
        }
        return result;
    }

private:
    void note(int connection, const QByteArray &line)
    {
        const std::lock_guard lock(m_mutex);
        m_events.push_back({connection, line, steady_clock::now()});
    }
    // One line without CRLF; false when the client closed or we stop.
    bool readLine(int fd, QByteArray &buffer, QByteArray &line)
    {
        qsizetype end;
        while ((end = buffer.indexOf("\r\n")) < 0) {
            pollfd p{fd, POLLIN, 0};
            if (m_stop)
                return false;
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            buffer.append(chunk, n);
        }
        line = buffer.left(end);
        buffer.remove(0, end + 2);
        return true;
    }
    void serve(int fd, int connection)
    {
        const auto reply = [fd](const QByteArray &text) { (void)!::send(fd, text.constData(), size_t(text.size()), MSG_NOSIGNAL); };
        note(connection, "<open>");
        reply("220 fake.test ESMTP\r\n");
        QByteArray buffer, line;
        while (readLine(fd, buffer, line)) {
            // Noted before the reply: once the client has its answer, a
            // test may look at the events.
            if (line.startsWith("EHLO")) {
                note(connection, line);
                reply("250-fake.test\r\n250 AUTH PLAIN\r\n");
            } else if (line == "DATA") {
                reply("354 go on\r\n");
                while (readLine(fd, buffer, line) && line != ".")
                    ;
                if (endOfData == EndOfData::HangUp)
                    break;
                note(connection, "<message>");
                reply(endOfData == EndOfData::Refused ? "554 no\r\n" : "250 queued\r\n");
                continue;
            } else if (line == "QUIT") {
                note(connection, line);
                reply("221 bye\r\n");
                break;
            } else {
                note(connection, line);
                reply(line.startsWith("AUTH") ? "235 ok\r\n" : "250 ok\r\n");
            }
        }
        note(connection, "<closed>");
        ::close(fd);
    }
    void run()
    {
        for (int connection = 0; !m_stop;) {
            pollfd p{m_listener, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                serve(fd, connection++);
        }
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

class FakePrompter : public PasswordPrompter {
public:
    std::optional<QString> askForPassword(QObject *, const QString &server, const QString &login) override
    {
        ++asked;
        askedFor = server + ' ' + login;
        return answer;
    }
    std::optional<QString> answer;
    QString askedFor;
    int asked = 0;
};

// A bound loopback socket; listening, connections complete but nobody
// ever answers.
QString loopbackPort(int *fd, bool listening)
{
    *fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    (void)::bind(*fd, reinterpret_cast<sockaddr *>(&address), length);
    if (listening)
        (void)::listen(*fd, 4);
    (void)::getsockname(*fd, reinterpret_cast<sockaddr *>(&address), &length);
    return QString::number(ntohs(address.sin_port));
}

// A port nothing listens on.
QString closedPort()
{
    int fd;
    const QString port = loopbackPort(&fd, false);
    ::close(fd);
    return port;
}

class StopAll : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int) override { return false; }
};

// Lets the transfer go on until told to stop; counts how often it was asked.
class StopLater : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int) override { return !stop.load(); }
    bool sentBytesInfo(int, int) override
    {
        ++asked;
        return !stop.load();
    }
    std::atomic<bool> stop{false};
    std::atomic<int> asked{0};
};

QVariantMap smtpAccount(const QString &port, const QVariantMap &extra = {})
{
    QVariantMap account{{"accountType", "smtp"},  {"mailFromAddress", "from@example.org"},
                        {"smtpServer", "127.0.0.1"}, {"smtpPort", port},
                        {"smtpAuthType", "0"},  {"smtpLogin", "user"}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        account.insert(it.key(), it.value());
    return account;
}

std::unique_ptr<MailHandler_smtp> smtpHandler(const QVariantMap &account)
{
    auto handler = std::make_unique<MailHandler_smtp>();
    handler->setConnectionData(account);
    return handler;
}

MailMessage message()
{
    MailMessage mail;
    mail.setFrom("from@example.org");
    mail.setTo("to@example.com");
    mail.setSubject("Hello");
    mail.setPlainBody("Body.\n");
    mail.setMessageID("1@fake.test");
    return mail;
}

struct MemoryKeychain {
    MemoryKeychain() { Keychain::setBackend(store); }
    ~MemoryKeychain() { Keychain::setBackend(nullptr); }
    std::shared_ptr<KeychainMemoryBackend> store = std::make_shared<KeychainMemoryBackend>();
};

} // namespace

TEST(MailHandlerFactory, PicksTheHandlerByExactTypeAndChecksAccounts)
{
    EXPECT_NE(dynamic_cast<MailHandler_dummy *>(MailHandler::mailHandlerForAccount({{"accountType", "dummy"}}).get()), nullptr);
    EXPECT_NE(dynamic_cast<MailHandler_direct *>(MailHandler::mailHandlerForAccount({{"accountType", "localserver"}}).get()), nullptr);
    EXPECT_NE(dynamic_cast<MailHandler_script *>(MailHandler::mailHandlerForAccount({{"accountType", "applemail"}}).get()), nullptr);
    const auto smtp = MailHandler::mailHandlerForAccount(smtpAccount("25"));
    ASSERT_NE(dynamic_cast<MailHandler_smtp *>(smtp.get()), nullptr);
    EXPECT_TRUE(smtp->newMessageID().endsWith("@127.0.0.1")) << qPrintable(smtp->newMessageID());
    EXPECT_EQ(MailHandler::mailHandlerForAccount({}), nullptr);
    EXPECT_EQ(MailHandler::mailHandlerForAccount({{"accountType", "SMTP"}}), nullptr);
    EXPECT_EQ(MailHandler::mailHandlerForAccount({{"accountType", "imap"}}), nullptr);

    // The dry run's set-up is an empty dictionary: success.
    const auto dummy = MailHandler::mailHandlerForAccount({{"accountType", "dummy"}});
    const auto setup = dummy->setup(nullptr, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_TRUE(setup->isEmpty());
    EXPECT_EQ(dummy->newMessageID(), "the message id");

    EXPECT_FALSE(MailHandler::checkAccountData({}));
    EXPECT_FALSE(MailHandler::checkAccountData({{"accountType", "dummy"}}));
    EXPECT_FALSE(MailHandler::checkAccountData(smtpAccount("25", {{"accountType", "SMTP"}})));
    EXPECT_TRUE(MailHandler::checkAccountData(smtpAccount("25", {{"smtpLogin", ""}})));
    for (const char *type : {"1", "2"}) {
        EXPECT_FALSE(MailHandler::checkAccountData(smtpAccount("25", {{"smtpAuthType", type}, {"smtpLogin", ""}})));
        EXPECT_TRUE(MailHandler::checkAccountData(smtpAccount("25", {{"smtpAuthType", type}})));
    }
    for (const char *key : {"mailFromAddress", "smtpServer", "smtpPort"}) {
        EXPECT_FALSE(MailHandler::checkAccountData(smtpAccount("25", {{key, ""}}))) << key;
        QVariantMap missing = smtpAccount("25");
        missing.remove(key);
        EXPECT_FALSE(MailHandler::checkAccountData(missing)) << key;
    }
    EXPECT_TRUE(MailHandler::checkAccountData({{"accountType", "localserver"}, {"mailFromAddress", "a@b.c"}}));
    EXPECT_FALSE(MailHandler::checkAccountData({{"accountType", "localserver"}, {"mailFromAddress", ""}}));
    EXPECT_TRUE(MailHandler::checkAccountData({{"accountType", "applemail"}, {"mailFromAddress", "a@b.c"}}));
    EXPECT_FALSE(MailHandler::checkAccountData({{"accountType", "applemail"}}));
}

TEST(SmtpHandler, PasswordComesFromTheRunThenTheKeychainThenTheUser)
{
    MemoryKeychain keychain;
    auto prompter = std::make_shared<FakePrompter>();
    const auto setupOf = [&](const QVariantMap &account, const std::optional<QVariantMap> &settings) {
        auto handler = smtpHandler(account);
        handler->setPasswordPrompter(prompter);
        return handler->setup(nullptr, settings);
    };
    const QVariantMap withAuth = smtpAccount("25", {{"smtpAuthType", "1"}});

    // No authentication: nothing is looked up or asked for.
    ASSERT_TRUE(Keychain::setKeychainServer("127.0.0.1", "user", "stored"));
    auto setup = setupOf(smtpAccount("25"), std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_TRUE(setup->isEmpty());

    setup = setupOf(withAuth, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->value("password").toString(), "stored");
    setup = setupOf(withAuth, QVariantMap{{"password", "given"}});
    EXPECT_EQ(setup->value("password").toString(), "given");
    EXPECT_EQ(prompter->asked, 0);

    // Neither the run nor the keychain: the user is asked once per run.
    ASSERT_TRUE(Keychain::setKeychainServer("127.0.0.1", "user", "")); // an empty stored one still counts
    EXPECT_EQ(setupOf(withAuth, std::nullopt)->value("password").toString(), "");
    const QVariantMap otherLogin = smtpAccount("25", {{"smtpAuthType", "2"}, {"smtpLogin", "other"}});
    prompter->answer = QString(); // OK on an empty field
    const auto first = setupOf(otherLogin, std::nullopt);
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->contains("password"));
    EXPECT_EQ(prompter->asked, 1);
    EXPECT_EQ(prompter->askedFor, "127.0.0.1 other");
    const auto resumed = setupOf(otherLogin, first);
    ASSERT_TRUE(resumed.has_value());
    EXPECT_EQ(prompter->asked, 1);
    EXPECT_EQ(keychain.store->itemCount(), 1); // nothing written here

    prompter->answer = std::nullopt;
    EXPECT_FALSE(setupOf(otherLogin, std::nullopt).has_value());
    EXPECT_FALSE(setupOf(otherLogin, QVariantMap{}).has_value());
    EXPECT_EQ(prompter->asked, 3);

    // Nobody to ask: refused, not sent without a password.
    PasswordPrompter::setDefault(nullptr);
    auto unattended = smtpHandler(otherLogin);
    EXPECT_FALSE(unattended->setup(nullptr, std::nullopt).has_value());
}

TEST(SmtpHandler, EncryptionChoiceAndSetupPasswordReachTheServer)
{
    const QString port = closedPort();
    const auto encryptionOf = [&](const QVariantMap &extra) {
        auto handler = smtpHandler(smtpAccount(port, extra));
        EXPECT_NE(handler->connect(), 0);
        return handler->client().session().encryption;
    };
    EXPECT_EQ(encryptionOf({{"useSSL", "1"}, {"useTLS", "1"}}), 1);
    EXPECT_EQ(encryptionOf({{"useTLS", "1"}}), 2);
    EXPECT_EQ(encryptionOf({{"useSSL", "0"}, {"useTLS", "0"}}), 0);
    EXPECT_EQ(encryptionOf({}), 0);

    FakeSmtpServer server;
    auto handler = smtpHandler(smtpAccount(server.port(), {{"smtpAuthType", "1"}}));
    ASSERT_TRUE(handler->setup(nullptr, QVariantMap{{"password", "pw"}}).has_value());
    ASSERT_EQ(handler->connect(), 0);
    handler->disconnect();
    bool sawAuth = false;
    for (const auto &event : server.events()) {
        if (event.line.startsWith("AUTH PLAIN"))
            sawAuth = QByteArray::fromBase64(event.line.mid(11)) == QByteArray("\0user\0pw", 8);
    }
    EXPECT_TRUE(sawAuth);
}

TEST(SmtpHandler, PausesAfterEveryNMessagesWithTheCounterSharedByAllRuns)
{
    FakeSmtpServer server;
    MailHandler_smtp::setDelayMailCounter(0);
    {
        auto handler = smtpHandler(smtpAccount(server.port(), {{"delayEnabled", "1"}, {"delayMails", "3"}, {"delayTime", "0.4"}}));
        ASSERT_EQ(handler->connect(), 0);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(handler->sendMessage(message()), 0) << i;
        handler->disconnect();
    }
    EXPECT_EQ(server.messageConnections(), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 1);
    steady_clock::time_point closed, reopened;
    for (const auto &event : server.events()) {
        if (event.connection == 0 && event.line == "QUIT")
            closed = event.at;
        if (event.connection == 1 && event.line == "<open>")
            reopened = event.at;
    }
    EXPECT_GE(reopened - closed, milliseconds(350));

    // Ten messages without pausing, then a run that pauses every five
    // pauses before its first message.
    {
        auto quiet = smtpHandler(smtpAccount(server.port()));
        ASSERT_EQ(quiet->connect(), 0);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(quiet->sendMessage(message()), 0);
        quiet->disconnect();
    }
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 10);
    auto pausing = smtpHandler(smtpAccount(server.port(), {{"delayEnabled", "1"}, {"delayMails", "5"}, {"delayTime", "0.05"}}));
    ASSERT_EQ(pausing->connect(), 0); // connection 3
    EXPECT_EQ(pausing->sendMessage(message()), 0);
    pausing->disconnect();
    EXPECT_EQ(server.messageConnections(), (std::vector<int>{0, 0, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4}));
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 1);

    // A failed reconnect is the message's result, and nothing is counted.
    auto unreachable = smtpHandler(smtpAccount(closedPort(), {{"delayEnabled", "1"}, {"delayMails", "0"}, {"delayTime", "0"}}));
    const int result = unreachable->sendMessage(message());
    EXPECT_NE(result, 0);
    EXPECT_EQ(result, unreachable->connect());
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 0);
}

TEST(SmtpHandler, OnlyALostAnswerToTheWholeMessageMayHaveDelivered)
{
    FakeSmtpServer server;
    auto handler = smtpHandler(smtpAccount(server.port()));
    ASSERT_EQ(handler->connect(), 0);
    EXPECT_EQ(handler->sendMessage(message()), 0);
    EXPECT_FALSE(handler->lastFailureMayHaveDelivered());
    server.endOfData = FakeSmtpServer::EndOfData::Refused;
    EXPECT_NE(handler->sendMessage(message()), 0);
    EXPECT_FALSE(handler->lastFailureMayHaveDelivered()); // a clear "no"
    server.endOfData = FakeSmtpServer::EndOfData::HangUp;
    EXPECT_NE(handler->sendMessage(message()), 0);
    EXPECT_TRUE(handler->lastFailureMayHaveDelivered());
    // Nothing written on a dead connection: surely not delivered.
    EXPECT_NE(handler->sendMessage(message()), 0);
    EXPECT_FALSE(handler->lastFailureMayHaveDelivered());
    handler->disconnect();
}

TEST(SmtpHandler, CancelEndsAPauseAtOnceEvenAnAbsurdlyLongOne)
{
    MailHandler_smtp::setDelayMailCounter(0);
    auto handler = smtpHandler(smtpAccount(closedPort(), {{"delayEnabled", "1"}, {"delayMails", "0"}, {"delayTime", "1e30"}}));
    std::atomic<int> result{-100};
    const auto started = steady_clock::now();
    std::thread worker([&] { result = handler->sendMessage(message()); });
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(result.load(), -100);
    handler->cancel();
    worker.join();
    EXPECT_LT(steady_clock::now() - started, seconds(3));
    EXPECT_EQ(result.load(), MailHandler::Cancelled);
    EXPECT_EQ(handler->sendMessage(message()), MailHandler::Cancelled);
    EXPECT_EQ(handler->connect(), MailHandler::Cancelled);

    // A server that never greets: cancel() ends the client's wait too.
    int silentFd;
    auto silent = smtpHandler(smtpAccount(loopbackPort(&silentFd, true)));
    std::thread connector([&] { result = silent->connect(); });
    std::this_thread::sleep_for(milliseconds(100));
    silent->cancel();
    connector.join();
    ::close(silentFd);
    EXPECT_EQ(result.load(), MailHandler::Cancelled);
    EXPECT_LT(steady_clock::now() - started, seconds(6));

    // The engine's own callback still decides, and is what the handler reports.
    StopAll stop;
    auto stopped = smtpHandler(smtpAccount(loopbackPort(&silentFd, true)));
    stopped->setProgressCallback(&stop);
    EXPECT_EQ(stopped->progressCallback(), &stop);
    EXPECT_EQ(stopped->connect(), MailHandler::Cancelled);
    ::close(silentFd);

    // The engine stops through its callback alone: a pause asks it every
    // 100 ms and ends within a step.
    MailHandler_smtp::setDelayMailCounter(0);
    StopLater later;
    auto paused = smtpHandler(smtpAccount(closedPort(), {{"delayEnabled", "1"}, {"delayMails", "0"}, {"delayTime", "30"}}));
    paused->setProgressCallback(&later);
    const auto pauseStarted = steady_clock::now();
    std::thread pauser([&] { result = paused->sendMessage(message()); });
    std::this_thread::sleep_for(milliseconds(450));
    const auto stopAt = steady_clock::now();
    // One question at the start, then one per step (the test may oversleep).
    EXPECT_GE(later.asked.load(), 3);
    EXPECT_LE(later.asked.load(), duration_cast<milliseconds>(stopAt - pauseStarted).count() / 100 + 2);
    later.stop = true;
    pauser.join();
    EXPECT_LT(steady_clock::now() - stopAt, milliseconds(400));
    EXPECT_EQ(result.load(), MailHandler::Cancelled);
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 0); // the cut message is not counted
}

TEST(SmtpHandler, CounterIsSafeAcrossThreadsAndDoesNotWrap)
{
    MailHandler_smtp::setDelayMailCounter(0);
    const MailMessage empty;
    const auto sendMany = [&] {
        auto handler = smtpHandler(smtpAccount(closedPort()));
        for (int i = 0; i < 2000; ++i)
            (void)handler->sendMessage(empty); // not connected: fails, still counted
    };
    std::thread a(sendMany), b(sendMany);
    a.join();
    b.join();
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 4000);

    MailHandler_smtp::setDelayMailCounter(INT_MAX);
    auto handler = smtpHandler(smtpAccount(closedPort()));
    (void)handler->sendMessage(empty);
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), INT_MAX);
    MailHandler_smtp::setDelayMailCounter(0);
}
