// Direct delivery as a user gets it: the system's resolver configuration
// (a private /etc/resolv.conf naming dnsmasq), exchangers on port 25 (a
// Postfix at 127.0.0.2 and 127.0.0.3), all inside the namespaces that
// run-direct-e2e.sh makes. What arrived is read back with Python's email package.
#include "../postfix/DeliveredMail.h"
#include "MailHandler_direct.h"
#include "MailMessage.h"

namespace {

class DirectE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("CORV_PF_DIR").isEmpty())
            GTEST_SKIP() << "run through tests/delivery/netns/run-direct-e2e.sh";
        handler.setConnectionData({{"accountType", "localserver"}, {"mailFromAddress", "Ann Sender <ann@sender.test>"}});
        ASSERT_EQ(handler.connect(), 0);
    }
    void TearDown() override { handler.disconnect(); }

    MailMessage message(const QString &to, const QStringList &bcc = {})
    {
        MailMessage m;
        m.setFrom(QStringLiteral("Ann Sender <ann@sender.test>"));
        m.setTo(to);
        m.setBCC(bcc);
        m.setSubject(QStringLiteral("Grüße direkt"));
        m.setPlainBody(QStringLiteral("Hallo Bob,\nüber den kurzen Weg.\n"));
        m.setMessageID(handler.newMessageID());
        return m;
    }

    MailHandler_direct handler;
};

} // namespace

TEST_F(DirectE2ETest, DeliversToEachDomainsExchanger)
{
    // pref.test lists its dead exchanger first: only the preference order reaches the live one.
    const MailMessage m = message(QStringLiteral("Bob Example <bob@pref.test>"),
                                  {QStringLiteral("carol@aonly.test"), QStringLiteral("Dave <dave@alias.test>")});
    ASSERT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(MailHandler_direct::SessionFailed).toStdString();

    const QList<QJsonObject> messages = delivered(m.messageID(), 3, 1500);
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(deliveredTo(messages), QStringList({"bob@pref.test", "carol@aonly.test", "dave@alias.test"}));
    for (const QJsonObject &got : messages) {
        EXPECT_EQ(got["messageId"].toString(), "<" + m.messageID() + ">");
        EXPECT_TRUE(got["messageId"].toString().contains("Corvantiline"));
        EXPECT_TRUE(got["messageId"].toString().endsWith("@sender.test>"));
        EXPECT_EQ(got["subject"].toString(), "Grüße direkt");
        EXPECT_EQ(got["toAddresses"].toArray().first()["address"].toString(), "bob@pref.test");
        EXPECT_FALSE(got["hasBcc"].toBool());
        EXPECT_TRUE(got["defects"].toArray().isEmpty());
        EXPECT_EQ(got["parts"].toArray().first()["content"].toString().trimmed(),
                  "Hallo Bob,\nüber den kurzen Weg.");
    }
}

TEST_F(DirectE2ETest, ABackupExchangerTakesWhatThePreferredOneCannot)
{
    const MailMessage m = message(QStringLiteral("gus@backup.test"));
    ASSERT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(MailHandler_direct::SessionFailed).toStdString();
    EXPECT_EQ(deliveredTo(delivered(m.messageID(), 1, 1500)), QStringList({"gus@backup.test"}));
}

TEST_F(DirectE2ETest, FailuresAndTheEnginesRetry)
{
    EXPECT_EQ(handler.sendMessage(message(QStringLiteral("x@nullmx.test"))), MailHandler_direct::NoExchanger);
    EXPECT_TRUE(handler.getErrorDesc(MailHandler_direct::NoExchanger).contains("x@nullmx.test"));
    EXPECT_EQ(handler.sendMessage(message(QStringLiteral("x@nothere.test"))), MailHandler_direct::NoExchanger);

    // The To address takes it, the blind copy's exchanger is down; the
    // retry on a fresh connection tries only the blind copy.
    const MailMessage m = message(QStringLiteral("erin@pref.test"), {QStringLiteral("x@down.test")});
    EXPECT_EQ(handler.sendMessage(m), MailHandler_direct::SessionFailed);
    const QString text = handler.getErrorDesc(MailHandler_direct::SessionFailed);
    EXPECT_TRUE(text.contains("x@down.test") && text.contains("mx.down.test")) << text.toStdString();
    handler.disconnect();
    ASSERT_EQ(handler.connect(), 0);
    EXPECT_EQ(handler.sendMessage(m), MailHandler_direct::SessionFailed);

    const QList<QJsonObject> messages = delivered(m.messageID(), 1, 1500);
    EXPECT_EQ(deliveredTo(messages), QStringList({"erin@pref.test"}));
}
