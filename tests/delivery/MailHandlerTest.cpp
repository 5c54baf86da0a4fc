// The handler factory, the account checks, and the SMTP handler's password
// sourcing and pause against a loopback server that takes any number of
// connections.
#include "FakePrompter.h"
#include "FakeSmtpServer.h"
#include "Keychain.h"
#include "Localizer.h"
#include "KeychainMemoryBackend.h"
#include "MailHandler.h"
#include "MailHandler_direct.h"
#include "MailHandler_dummy.h"
#include "MailHandler_script.h"
#include "MailHandler_smtp.h"
#include "MailMessage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

using namespace std::chrono;

namespace {

// The connection of each message the server took, in order.
std::vector<int> messageConnections(const FakeSmtpServer &server)
{
    std::vector<int> result;
    const auto sessions = server.sessions();
    for (size_t i = 0; i < sessions.size(); ++i)
        result.insert(result.end(), size_t(sessions[i].messages.size()), int(i));
    return result;
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

// Stops the wait for the answer once the whole message has gone out.
class StopAfterText : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int) override { return !textDone; }
    bool sentBytesInfo(int sent, int total) override
    {
        textDone = textDone || (total > 0 && sent == total);
        return true;
    }
    bool textDone = false;
};

QVariantMap smtpAccount(quint16 port, const QVariantMap &extra = {})
{
    QVariantMap account{{"accountType", "smtp"},  {"mailFromAddress", "from@example.org"},
                        {"smtpServer", "127.0.0.1"}, {"smtpPort", QString::number(port)},
                        {"smtpAuthType", "0"},  {"smtpLogin", "user"}};
    account.insert(extra);
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
    const auto smtp = MailHandler::mailHandlerForAccount(smtpAccount(25));
    ASSERT_NE(dynamic_cast<MailHandler_smtp *>(smtp.get()), nullptr);
    EXPECT_TRUE(smtp->newMessageID().endsWith("@127.0.0.1")) << qPrintable(smtp->newMessageID());
    EXPECT_EQ(MailHandler::mailHandlerForAccount({}), nullptr);
    EXPECT_EQ(MailHandler::mailHandlerForAccount({{"accountType", "SMTP"}}), nullptr);
    EXPECT_EQ(MailHandler::mailHandlerForAccount({{"accountType", "imap"}}), nullptr);

    // The dry run's set-up is an empty dictionary: success, not "cancelled".
    const auto setup = MailHandler::mailHandlerForAccount({{"accountType", "dummy"}})->setup(nullptr, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_TRUE(setup->isEmpty());

    EXPECT_FALSE(MailHandler::checkAccountData({}));
    EXPECT_FALSE(MailHandler::checkAccountData({{"accountType", "dummy"}}));
    EXPECT_FALSE(MailHandler::checkAccountData(smtpAccount(25, {{"accountType", "SMTP"}})));
    EXPECT_TRUE(MailHandler::checkAccountData(smtpAccount(25, {{"smtpLogin", ""}})));
    for (const char *type : {"1", "2"}) {
        EXPECT_FALSE(MailHandler::checkAccountData(smtpAccount(25, {{"smtpAuthType", type}, {"smtpLogin", ""}})));
        EXPECT_TRUE(MailHandler::checkAccountData(smtpAccount(25, {{"smtpAuthType", type}})));
    }
    for (const char *key : {"mailFromAddress", "smtpServer", "smtpPort"}) {
        EXPECT_FALSE(MailHandler::checkAccountData(smtpAccount(25, {{key, ""}}))) << key;
        QVariantMap missing = smtpAccount(25);
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
    const QVariantMap withAuth = smtpAccount(25, {{"smtpAuthType", "1"}});

    // No authentication: nothing is looked up or asked for.
    ASSERT_TRUE(Keychain::setKeychainServer("127.0.0.1", "user", "stored"));
    auto setup = setupOf(smtpAccount(25), std::nullopt);
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
    const QVariantMap otherLogin = smtpAccount(25, {{"smtpAuthType", "2"}, {"smtpLogin", "other"}});
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
    const quint16 port = FakeSmtpServer::closedPort();
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
    EXPECT_TRUE(server.finish().lines.contains("AUTH PLAIN " + QByteArray("\0user\0pw", 8).toBase64()));
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
    EXPECT_EQ(messageConnections(server), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 1);
    const auto sessions = server.sessions();
    EXPECT_GE(sessions.at(1).opened - sessions.at(0).closed, milliseconds(350));

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
    EXPECT_EQ(messageConnections(server), (std::vector<int>{0, 0, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4}));
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 1);

    // A failed reconnect is the message's result, and nothing is counted.
    auto unreachable = smtpHandler(smtpAccount(FakeSmtpServer::closedPort(), {{"delayEnabled", "1"}, {"delayMails", "0"}, {"delayTime", "0"}}));
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
    server.setEndOfData(FakeSmtpServer::EndOfData::Refused);
    EXPECT_NE(handler->sendMessage(message()), 0);
    EXPECT_FALSE(handler->lastFailureMayHaveDelivered()); // a clear "no"
    server.setEndOfData(FakeSmtpServer::EndOfData::HangUp);
    const int lost = handler->sendMessage(message());
    EXPECT_NE(lost, 0);
    EXPECT_TRUE(handler->lastFailureMayHaveDelivered());
    // Its text says that no answer came, not that the server refused it.
    const QString headline = handler->getErrorDesc(lost).section('\n', 0, 0);
    EXPECT_EQ(headline, Localizer::localizedString("smtpErrors", "smtp_err_noanswer"));
    EXPECT_FALSE(headline.isEmpty());
    // Nothing written on a dead connection: surely not delivered.
    EXPECT_NE(handler->sendMessage(message()), 0);
    EXPECT_FALSE(handler->lastFailureMayHaveDelivered());
    handler->disconnect();

    // An answer that cannot be read, and a wait for it cut by the user.
    server.setEndOfData(FakeSmtpServer::EndOfData::Garbled);
    ASSERT_EQ(handler->connect(), 0);
    EXPECT_EQ(handler->sendMessage(message()), SMTPMail::MessageRefused);
    EXPECT_TRUE(handler->lastFailureMayHaveDelivered());
    server.setEndOfData(FakeSmtpServer::EndOfData::Silent);
    StopAfterText stop;
    handler->setProgressCallback(&stop);
    ASSERT_EQ(handler->connect(), 0);
    EXPECT_EQ(handler->sendMessage(message()), MailHandler::Cancelled);
    EXPECT_TRUE(stop.textDone);
    EXPECT_TRUE(handler->lastFailureMayHaveDelivered());
    EXPECT_TRUE(handler->getErrorDesc(MailHandler::Cancelled)
                    .contains("Reason: stopped while waiting for the reply to the end of the message"))
        << handler->getErrorDesc(MailHandler::Cancelled).toStdString();
    handler->disconnect();
}

TEST(SmtpHandler, CancelEndsAPauseAtOnceEvenAnAbsurdlyLongOne)
{
    MailHandler_smtp::setDelayMailCounter(0);
    auto handler = smtpHandler(smtpAccount(FakeSmtpServer::closedPort(), {{"delayEnabled", "1"}, {"delayMails", "0"}, {"delayTime", "1e30"}}));
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
    FakeSmtpServer silentServer(SmtpScript().pause(10000));
    auto silent = smtpHandler(smtpAccount(silentServer.port()));
    std::thread connector([&] { result = silent->connect(); });
    std::this_thread::sleep_for(milliseconds(100));
    silent->cancel();
    connector.join();
    EXPECT_EQ(result.load(), MailHandler::Cancelled);
    EXPECT_LT(steady_clock::now() - started, seconds(6));

    // The engine's own callback still decides, and is what the handler reports.
    StopAll stop;
    auto stopped = smtpHandler(smtpAccount(silentServer.port()));
    stopped->setProgressCallback(&stop);
    EXPECT_EQ(stopped->connect(), MailHandler::Cancelled);

    // The engine stops through its callback alone: a pause asks it every
    // 100 ms and ends within a step.
    MailHandler_smtp::setDelayMailCounter(0);
    StopLater later;
    auto paused = smtpHandler(smtpAccount(FakeSmtpServer::closedPort(), {{"delayEnabled", "1"}, {"delayMails", "0"}, {"delayTime", "30"}}));
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
        auto handler = smtpHandler(smtpAccount(FakeSmtpServer::closedPort()));
        for (int i = 0; i < 2000; ++i)
            (void)handler->sendMessage(empty); // not connected: fails, still counted
    };
    std::thread a(sendMany), b(sendMany);
    a.join();
    b.join();
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 4000);

    MailHandler_smtp::setDelayMailCounter(INT_MAX);
    auto handler = smtpHandler(smtpAccount(FakeSmtpServer::closedPort()));
    (void)handler->sendMessage(empty);
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), INT_MAX);
    MailHandler_smtp::setDelayMailCounter(0);
}
