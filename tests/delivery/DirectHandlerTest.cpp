// Direct delivery against a test name server (dnsmasq, the zone in dns/)
// whose exchangers live on loopback addresses 127.0.0.2 and up, where a
// fake exchanger listens on one port for all of them.
#include "FakeSmtpServer.h"
#include "Localizer.h"
#include "MailHandler_direct.h"
#include "MailMessage.h"
#include "SmtpProgressDelegate.h"
#include "TestNameServer.h"

#include <gtest/gtest.h>

#include <QSet>

#include <algorithm>

namespace {

class DirectHandlerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        nameServer = new TestNameServer;
        startError = nameServer->start();
    }
    static void TearDownTestSuite()
    {
        delete nameServer;
        nameServer = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(startError.isEmpty()) << startError.toStdString();
        ASSERT_NE(exchangers.port(), 0);
        ASSERT_TRUE(handler.setNameServer(QStringLiteral("127.0.0.1"), nameServer->port()));
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

    // The zone's exchangers mx1.alpha.test, mx2.alpha.test, mx.beta.test
    // and nomx.test (its own implicit exchanger) on one port.
    FakeSmtpServer exchangers{{.addresses = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}}};
    static TestNameServer *nameServer;
    static QString startError;
    MailHandler_direct handler;
};

TestNameServer *DirectHandlerTest::nameServer = nullptr;
QString DirectHandlerTest::startError;

class StopAtOnce : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int) override { return false; }
};

} // namespace

TEST_F(DirectHandlerTest, EachExchangerGetsOnlyItsOwnRecipient)
{
    const MailMessage m = message("Bob <bob@alpha.test>, carol@beta.test", {"dave@nomx.test", "eve@alias.test"});
    EXPECT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(-12).toStdString();
    exchangers.stop();
    const std::vector<FakeSmtpServer::Session> sessions = exchangers.sessions();
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
        EXPECT_TRUE(sessions[i].messages.value(0).contains("Message-ID:<" + m.messageID().toLatin1() + ">"));
    }
    // Every session ends before the next one opens.
    for (const FakeSmtpServer::Session &session : sessions)
        EXPECT_EQ(session.lines.value(session.lines.size() - 1), "QUIT");
    // A real, unique Message-ID in the sender's domain.
    EXPECT_TRUE(m.messageID().endsWith("@sender.test")) << m.messageID().toStdString();
    EXPECT_TRUE(m.messageID().contains("Corvantiline")) << m.messageID().toStdString();
    EXPECT_NE(handler.newMessageID(), m.messageID());
    EXPECT_NE(handler.newMessageID(), MailHandler().newMessageID());
}

TEST_F(DirectHandlerTest, FailuresEndTheMessageAndItsRetrySkipsWhoTookIt)
{
    exchangers.setGreeting("127.0.0.4", "554 go away");
    exchangers.setRefusedRecipient("nobody@");

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
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test")), MailHandler::Cancelled);
    handler.setProgressCallback(nullptr);

    // After a disconnect and a new connect (the engine's retry) it works again.
    handler.disconnect();
    ASSERT_EQ(handler.connect(), 0);
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test")), 0);

    // The engine's retry of a refused message, on a fresh connection, skips
    // the addresses that took it; the next message goes to everyone again.
    const MailMessage m = message("a@alpha.test", {"b@nomx.test", "nobody@alpha.test", "c@beta.test"});
    EXPECT_EQ(handler.sendMessage(m), MailHandler_direct::MessageRefused);
    handler.disconnect();
    ASSERT_EQ(handler.connect(), 0);
    EXPECT_EQ(handler.sendMessage(m), MailHandler_direct::MessageRefused);
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test", {"b@nomx.test", "nobody@alpha.test", "c@beta.test"})),
              MailHandler_direct::MessageRefused);

    exchangers.stop();
    QStringList recipients;
    for (const FakeSmtpServer::Session &session : exchangers.sessions()) {
        for (const QByteArray &line : session.lines) {
            if (line.startsWith("RCPT"))
                recipients.append(QString::fromUtf8(line.mid(8)));
        }
    }
    EXPECT_EQ(recipients, QStringList({"<a@alpha.test>", "<b@nomx.test>", "<nobody@alpha.test>", "<a@alpha.test>",
                                       "<a@alpha.test>", "<b@nomx.test>", "<nobody@alpha.test>",
                                       "<nobody@alpha.test>",
                                       "<a@alpha.test>", "<b@nomx.test>", "<nobody@alpha.test>"}));
}

TEST_F(DirectHandlerTest, ALostAnswerMayHaveDeliveredAndEndsTheMessage)
{
    // The exchanger had the whole message: it is not offered again, and
    // the addresses after it wait for the engine's decision.
    exchangers.setEndOfData(FakeSmtpServer::EndOfData::HangUp);
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test", {"b@nomx.test"})), MailHandler_direct::MessageRefused);
    EXPECT_TRUE(handler.lastFailureMayHaveDelivered());
    const QString text = handler.getErrorDesc(MailHandler_direct::MessageRefused);
    EXPECT_TRUE(text.contains("a@alpha.test") && text.contains("reply to the end of the message")) << text.toStdString();
    EXPECT_FALSE(text.contains(Localizer::localizedString("SendErrors", "Direct message refused")))
        << "not refused: the answer is unknown";

    exchangers.setEndOfData(FakeSmtpServer::EndOfData::Refused);
    EXPECT_EQ(handler.sendMessage(message("a@alpha.test")), MailHandler_direct::MessageRefused);
    EXPECT_FALSE(handler.lastFailureMayHaveDelivered());
    exchangers.stop();
    int rcpts = 0;
    for (const FakeSmtpServer::Session &session : exchangers.sessions())
        rcpts += int(std::count_if(session.lines.begin(), session.lines.end(),
                                   [](const QByteArray &line) { return line.startsWith("RCPT"); }));
    EXPECT_EQ(rcpts, 2);
}

TEST_F(DirectHandlerTest, NamesMayHoldLineBreaksAndRefusalsTellTheirCause)
{
    handler.setConnectionData(
        {{"accountType", "localserver"}, {"mailFromAddress", "Ann\r\nExample <ann@sender.test>"}});
    MailMessage m = message("Bob\nSmith <bob@alpha.test>");
    m.setFrom("Ann\r\nExample <ann@sender.test>");
    EXPECT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(MailHandler_direct::NoExchanger).toStdString();

    const struct {
        QString to;
        const char *reason;
    } refused[] = {
        {"jörg@alpha.test", "non-ASCII characters before"},
        {"Bob <bob@alpha.test\r\n>", "control character"},
        {"Jörg <jörg@alpha.test>", "non-ASCII characters before"},
    };
    for (const auto &row : refused) {
        const int result = handler.sendMessage(message(row.to));
        EXPECT_NE(result, 0) << row.to.toStdString();
        const QString text = handler.getErrorDesc(result);
        EXPECT_TRUE(text.contains(row.reason)) << text.toStdString();
        EXPECT_FALSE(text.contains(Localizer::localizedString("SendErrors", "Direct no exchanger")))
            << text.toStdString();
    }
    exchangers.stop();
    EXPECT_EQ(exchangers.sessions().size(), 1u);
}

TEST_F(DirectHandlerTest, EveryExchangerIsTriedUntilOneTakesTheMessage)
{
    // In preference order, moving on after a refused connection, a 4xx
    // greeting or a 4xx to the message; a 5xx to the message ends it.
    exchangers.setGreeting("127.0.0.4", "421 4.3.2 busy");
    exchangers.setRefusedRecipient("later@", "451 4.7.1 try later", "127.0.0.2");
    const struct {
        const char *to;
        int result;
        QStringList sessions; // the addresses that took the message, in order
    } rows[] = {
        {"ann@backup.test", 0, {"127.0.0.3"}},
        {"later@alpha.test", 0, {"127.0.0.2", "127.0.0.3"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.to);
        handler.beginMessage();
        EXPECT_EQ(handler.sendMessage(message(row.to)), row.result) << handler.getErrorDesc(-11).toStdString();
    }
    exchangers.setRefusedRecipient("never@", "550 5.1.1 no such user", "127.0.0.2");
    handler.beginMessage();
    EXPECT_EQ(handler.sendMessage(message("never@alpha.test")), MailHandler_direct::MessageRefused);
    EXPECT_FALSE(handler.mayRetryLastFailure()) << "a permanent refusal";
    // Every exchanger busy: worth another try later.
    handler.beginMessage();
    EXPECT_EQ(handler.sendMessage(message("x@beta.test")), MailHandler_direct::SessionFailed);
    EXPECT_TRUE(handler.mayRetryLastFailure());

    exchangers.stop();
    QStringList tried;
    for (const FakeSmtpServer::Session &session : exchangers.sessions())
        tried.append(session.address + (session.messages.isEmpty() ? "" : " took it"));
    EXPECT_EQ(tried, QStringList({"127.0.0.3 took it", "127.0.0.2", "127.0.0.3 took it", "127.0.0.2", "127.0.0.4"}));
}

TEST_F(DirectHandlerTest, ExchangersOfEqualPreferenceShareTheMail)
{
    for (int i = 0; i < 20; ++i) {
        handler.beginMessage();
        ASSERT_EQ(handler.sendMessage(message("a@equal.test")), 0);
    }
    exchangers.stop();
    QSet<QString> used;
    for (const FakeSmtpServer::Session &session : exchangers.sessions())
        used.insert(session.address);
    EXPECT_EQ(used, QSet<QString>({"127.0.0.2", "127.0.0.3"}));
}

TEST_F(DirectHandlerTest, AMessageEndsWithinItsTimeHoweverManyExchangersHang)
{
    // Four exchangers that never greet, 1 s each, 2.5 s for the message:
    // the third is given up when the time is out, the fourth never tried.
    FakeSmtpServer silent(SmtpScript().pause(10000), {.addresses = {"127.0.0.7", "127.0.0.8", "127.0.0.9", "127.0.0.10"},
                                                      .port = exchangers.port()});
    ASSERT_NE(silent.port(), 0);
    handler.setTimeouts(1, std::chrono::milliseconds(2500));
    handler.beginMessage();
    EXPECT_EQ(handler.sendMessage(message("x@slow.test")), MailHandler_direct::SessionFailed);
    EXPECT_FALSE(handler.mayRetryLastFailure()) << "the message's time is out";
    silent.stop();
    QStringList tried;
    for (const FakeSmtpServer::Session &session : silent.sessions())
        tried.append(session.address);
    EXPECT_EQ(tried, QStringList({"127.0.0.7", "127.0.0.8", "127.0.0.9"}));
}
