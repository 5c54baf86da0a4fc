// Send runs as a user starts them, with the SMTP handler, against a
// scripted server: which failures are sent once more on a fresh connection
// and which are the row's outcome at once.
#include "Database.h"
#include "DispatcherRecorder.h"
#include "FakeSmtpServer.h"
#include "MailDispatcher.h"
#include "MailHandler_smtp.h"

#include <gtest/gtest.h>

namespace {

QVariantMap account(quint16 port, bool tls = false)
{
    return {{"accountType", "smtp"}, {"mailFromAddress", "me@a.test"}, {"smtpServer", "127.0.0.1"},
            {"smtpPort", QString::number(port)}, {"smtpAuthType", "0"}, {"useSSL", tls ? "1" : "0"}};
}

// The job of a row for each address: a plain message of about `bodyBytes`.
SendJob rowsJob(const QStringList &addresses, int bodyBytes)
{
    Database database;
    const QString mail = database.addField(QStringLiteral("Mail"));
    database.setAddressFieldNo(Database::columnIndexFromIdentifier(mail));
    for (const QString &address : addresses)
        database.addEntryWithDict(database.entryCount(), {{mail, address}});
    SendJob job;
    const QString line = QString(70, u'x') + u'\n';
    job.message = std::make_shared<const MessageSnapshot>(
        MessageMode::Plain, RichText(QStringLiteral("Hello")), RichText(line.repeated(bodyBytes / 71 + 1)), RichText(),
        RichText(), std::nullopt, QString());
    job.recipients = RecipientRows::fromDatabase(database);
    return job;
}

SendJob oneRowJob(const QString &address, int bodyBytes)
{
    return rowsJob({address}, bodyBytes);
}

int messagesReceived(const std::vector<FakeSmtpServer::Session> &sessions)
{
    int count = 0;
    for (const FakeSmtpServer::Session &session : sessions)
        count += int(session.messages.size());
    return count;
}

class MailDispatcherSmtp : public ::testing::Test {
protected:
    void TearDown() override { MailDispatcher::abortAndJoinAll(); }

    // Runs the job to its end against the server; with time-outs in
    // seconds when given, and the reconnect allowance of 200 ms with them.
    void run(const SendJob &job, quint16 port, bool tls = false, int timeoutSeconds = 0)
    {
        auto dispatcher = MailDispatcher::create();
        dispatcher->setJob(job);
        dispatcher->setAccountData(account(port, tls));
        if (timeoutSeconds > 0) {
            dispatcher->setHandlerFactory([timeoutSeconds](const QVariantMap &data) {
                auto handler = std::make_unique<MailHandler_smtp>();
                handler->setConnectionData(data);
                handler->setTimeouts(timeoutSeconds, std::chrono::milliseconds(200));
                return handler;
            });
        }
        dispatcher->setDelegate(&recorder);
        dispatcher->send();
        ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
    }

    Recorder recorder;
};

} // namespace

TEST_F(MailDispatcherSmtp, OnlyFailuresThatMayPassAreSentAgain)
{
    // RFC 5321 4.2.1: a 5yz reply is permanent, the same transaction is not
    // to be repeated; a 4yz reply or a connection lost before the server had
    // the whole message is worth one more try.
    constexpr int Small = 2000;
    constexpr int Fits = 1 << 20;      // fits in the socket buffers of loopback
    constexpr int Exceeds = 6 << 20;   // more than the client's and server's buffers hold
    const auto upToData = [] { return SmtpScript().hello("SIZE").on("250 ok\r\n").on("250 ok\r\n").on("354 go\r\n"); };
    struct Case {
        const char *name;
        SmtpScript first; // the first connection; the ones after it take the message
        int bodyBytes;
        int sessions;
        int messages; // DATA texts the server read, on all connections
        int state;    // the row's outcome
        QString address = QStringLiteral("ann@a.test");
        bool tls = false; // TLS from the first byte
    };
    const Case cases[] = {
        {"554 to the end of the message", upToData().readData().send("554 5.7.1 refused\r\n"), Small, 1, 1,
         MailDispatcherStatus::Error},
        {"550 to MAIL FROM", SmtpScript().hello("SIZE").on("550 5.7.1 not you\r\n"), Small, 1, 0,
         MailDispatcherStatus::Error},
        {"553 to RCPT TO", SmtpScript().hello("SIZE").on("250 ok\r\n").on("553 5.1.3 bad address\r\n"), Small, 1, 0,
         MailDispatcherStatus::Error},
        {"554 to DATA", SmtpScript().hello("SIZE").on("250 ok\r\n").on("250 ok\r\n").on("554 5.3.0 no\r\n"), Small, 1, 0,
         MailDispatcherStatus::Error},
        {"451 to the end of the message", upToData().readData().send("451 4.3.0 later\r\n"), Small, 2, 2,
         MailDispatcherStatus::MailSent},
        // Refused before anything is written: no connection of its own.
        {"an address that cannot be sent", SmtpScript().willing(), Small, 1, 0, MailDispatcherStatus::Error,
         QStringLiteral("jörg@a.test")},
        // A reset is no end of the conversation: the server never had it whole.
        {"reset after the whole message", upToData().readData().reset(), Small, 2, 2, MailDispatcherStatus::MailSent},
        {"reset after the whole message, TLS", upToData().readData().reset(), Small, 2, 2,
         MailDispatcherStatus::MailSent, QStringLiteral("ann@a.test"), true},
        {"closed with a part unread, the rest in the buffers", upToData().readBytes(100000).close(), Fits, 2, 1,
         MailDispatcherStatus::MailSent},
        {"closed with a part unread, more than the buffers", upToData().readBytes(100000).close(), Exceeds, 2, 1,
         MailDispatcherStatus::MailSent},
        // A clean end after the whole message and its end: it may have been delivered.
        {"closed after the whole message", upToData().readData().close(), Exceeds, 1, 1,
         MailDispatcherStatus::MayHaveBeenDelivered},
    };
    const TrustedCertificate trusted(PeerCertificate::Localhost);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        recorder.reports.clear();
        FakeSmtpServer server(FakeSmtpServer::inTurn({c.first, SmtpScript().willing()}),
                              {.tls = c.tls, .receiveBuffer = c.bodyBytes == Exceeds ? 65536 : 0});
        run(oneRowJob(c.address, c.bodyBytes), server.port(), c.tls);
        server.stop();
        const std::vector<FakeSmtpServer::Session> sessions = server.sessions();
        EXPECT_EQ(int(sessions.size()), c.sessions);
        EXPECT_EQ(messagesReceived(sessions), c.messages);
        EXPECT_EQ(recorder.steps(), (std::vector<int>{c.state, MailDispatcherStatus::Done}));
        for (const Report &error : recorder.only(MailDispatcherStatus::Error))
            EXPECT_EQ(error.code, MailDispatcher::ErrorSendFailed);
    }
}

TEST_F(MailDispatcherSmtp, AMessageGetsOneStageTimeOutAndAReconnectInAll)
{
    // The reply to MAIL FROM trickles in and takes longer than a stage may;
    // the retry then has only what is left of the message's time, too
    // little to wait for a slow greeting.
    FakeSmtpServer server(FakeSmtpServer::inTurn(
        {SmtpScript().hello("SIZE").readLine().trickle("250 2.1.0 sender ok\r\n", 100),
         SmtpScript().pause(600).hello("SIZE").readLine().send("250 ok\r\n")}));
    run(oneRowJob("ann@a.test", 100), server.port(), false, 1);
    server.stop();
    EXPECT_EQ(recorder.steps(), (std::vector<int>{MailDispatcherStatus::Error, MailDispatcherStatus::Done}));
    const QString text = recorder.only(MailDispatcherStatus::Error).front().info;
    EXPECT_TRUE(text.contains("Reason: no complete reply to MAIL FROM within 1 s")) << text.toStdString();
    const std::vector<FakeSmtpServer::Session> sessions = server.sessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_TRUE(sessions[1].lines.isEmpty()) << "the retry gave up before the greeting came";
}

TEST_F(MailDispatcherSmtp, EachReplyHasTheTimeOutFromItsCommandHoweverLongTheMessageTakes)
{
    // The stage time-out is 1 s and the allowance for a retry 200 ms. The
    // first message's MAIL FROM, RCPT TO and DATA are each answered after
    // half a second, longer in all than a time-out and the allowance; the
    // second message's DATA is never answered, and the retry's greeting
    // comes too late for the allowance.
    const auto slowReply = [](SmtpScript &script, const QByteArray &reply) {
        script.readLine().pause(500).send(reply);
    };
    SmtpScript first = SmtpScript().hello("SIZE");
    for (const char *reply : {"250 ok\r\n", "250 ok\r\n", "354 go\r\n"})
        slowReply(first, reply);
    first.readData().send("250 queued\r\n");
    slowReply(first, "250 ok\r\n");
    slowReply(first, "250 ok\r\n");
    first.readLine();
    FakeSmtpServer server(FakeSmtpServer::inTurn({first, SmtpScript().pause(600).hello("SIZE").willing()}));
    run(rowsJob({"ann@a.test", "bob@a.test"}, 100), server.port(), false, 1);
    server.stop();
    const std::vector<Report> errors = recorder.only(MailDispatcherStatus::Error);
    const QString text = errors.empty() ? QString() : errors.front().info;
    ASSERT_EQ(recorder.steps(), (std::vector<int>{MailDispatcherStatus::MailSent, MailDispatcherStatus::Error,
                                                  MailDispatcherStatus::Done}))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Reason: no complete reply to DATA within 1 s")) << text.toStdString();
    const std::vector<FakeSmtpServer::Session> sessions = server.sessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].messages.size(), 1);
    EXPECT_TRUE(sessions[1].lines.isEmpty()) << "the retry gave up before the greeting came";
}

TEST_F(MailDispatcherSmtp, StopNowEndsTheRunWhenTheServerTakesNothingMore)
{
    // The server stopped reading in the middle of the message: nothing more
    // can be written, the last QUIT included.
    const std::unique_ptr<FakeSmtpServer> server = makeStalledSmtpServer();
    auto dispatcher = MailDispatcher::create();
    dispatcher->setJob(oneRowJob("ann@a.test", 6 << 20));
    dispatcher->setAccountData(account(server->port()));
    dispatcher->setDelegate(&recorder);
    dispatcher->send();
    // Stalled: some of it written, and no more for a while.
    double written = 0;
    ASSERT_TRUE(waitFor([&] {
        const double now = dispatcher->status().mailCompletition();
        const bool stalled = now > 0 && now == written;
        written = now;
        QThread::msleep(100);
        return stalled;
    }));
    dispatcher->abortNow();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }, 5000))
        << "the run waited for the server";
    EXPECT_EQ(recorder.steps(), std::vector<int>{MailDispatcherStatus::Done});
}

TEST_F(MailDispatcherSmtp, CancelDuringAPauseEndsItAndSendsNothingMore)
{
    // A pause after every message, due before the first one.
    FakeSmtpServer server;
    MailHandler_smtp::setDelayMailCounter(1);
    QVariantMap pausing = account(server.port());
    pausing.insert({{"delayEnabled", "1"}, {"delayMails", "1"}, {"delayTime", "30"}});
    auto dispatcher = MailDispatcher::create();
    dispatcher->setJob(oneRowJob("ann@a.test", 100));
    dispatcher->setAccountData(pausing);
    dispatcher->setDelegate(&recorder);
    dispatcher->send();
    // The connection is dropped for the pause.
    ASSERT_TRUE(waitFor([&] {
        const auto sessions = server.sessions();
        return sessions.size() == 1 && sessions[0].ended;
    }));
    dispatcher->abort();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }, 5000))
        << "the pause was waited out";
    server.stop();
    EXPECT_EQ(messagesReceived(server.sessions()), 0);
    EXPECT_EQ(recorder.steps(), (std::vector<int>{MailDispatcherStatus::Error, MailDispatcherStatus::Done}));
    MailHandler_smtp::setDelayMailCounter(0);
}
