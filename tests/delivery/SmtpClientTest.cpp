// The SMTP client against a scripted server on a loopback socket: the
// replies a real server will not give on demand, and the exact bytes the
// client sends.
#include "FakeSmtpServer.h"
#include "Localizer.h"
#include "MailMessage.h"
#include "SMTPMail.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// Stops the reader after a number of passes, or the writer of the text
// once it has written some bytes.
class CancellingDelegate : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int event) override
    {
        if (stopAfterMs >= 0 && armed.elapsed() >= stopAfterMs)
            return false;
        if (event != ReadingPassEnded || readPasses < 0)
            return true;
        return readPasses-- > 0;
    }
    void stopAfter(int ms)
    {
        armed.start();
        stopAfterMs = ms;
    }
    bool sentBytesInfo(int sent, int total) override
    {
        lastSent = sent;
        if (readPassesAfterText >= 0 && sent == total)
            readPasses = readPassesAfterText;
        return stopWritingAt < 0 || sent < stopWritingAt;
    }
    int readPasses = -1; // -1: never stops
    int readPassesAfterText = -1;
    int stopWritingAt = -1;
    int lastSent = 0;
    QElapsedTimer armed;
    int stopAfterMs = -1;
};

void configure(SMTPMail &mail, const FakeSmtpServer &server, int encryption = 0)
{
    mail.setServer("127.0.0.1");
    mail.setPort(QString::number(server.port()));
    mail.setTimeout(5);
    mail.setEncryption(encryption);
}

void authenticateAs(SMTPMail &mail, int mechanism, const QString &password = "secret")
{
    mail.setAuthentication(mechanism);
    mail.setLogin("tester");
    mail.setPassword(password);
}

QList<QByteArray> withoutEhlo(QList<QByteArray> lines)
{
    lines.removeIf([](const QByteArray &line) { return line.startsWith("EHLO "); });
    return lines;
}

} // namespace

TEST(SmtpClient, SendsOneMessageWithPlainAuthDotStuffingAndQuit)
{
    FakeSmtpServer server(SmtpScript()
                              .hello("AUTH PLAIN LOGIN")
                              .on("235 2.7.0 ok\r\n")
                              .on("250 2.1.0 ok\r\n")
                              .on("250 2.1.5 ok\r\n")
                              .on("250 2.1.5 ok\r\n")
                              .on("250 2.1.5 ok\r\n")
                              .on("354 go ahead\r\n")
                              .readData()
                              .send("250 2.0.0 queued\r\n"));
    {
        SMTPMail mail;
        configure(mail, server);
        mail.setAuthentication(1);
        mail.setLogin("jörg@test.example");
        mail.setPassword("pässwörd");
        mail.setPassword(QString()); // ignored
        ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(-99).toStdString();
        EXPECT_TRUE(mail.isConnected());
        EXPECT_EQ(mail.session().auth_mechanisms, SMTP_Session::AuthPlain | SMTP_Session::AuthLogin);
        EXPECT_EQ(mail.sendMessage("Subject: x\n\n.leading dot\r\n..two\rlast line without end",
                                   "Ann Example <ann@example.org>", "\"Doe, John\" <j@x.org>, b@y.org",
                                   {"c@z.org"}),
                  0);
        EXPECT_EQ(mail.disconnect(), 0);
        EXPECT_FALSE(mail.isConnected());
    }
    const FakeSmtpServer::Session session = server.finish();
    const QByteArray credential = QByteArray("\0jörg@test.example\0pässwörd", 1 + 18 + 1 + 10);
    EXPECT_TRUE(session.lines.value(0).startsWith("EHLO "));
    EXPECT_EQ(withoutEhlo(session.lines),
              QList<QByteArray>({"AUTH PLAIN " + credential.toBase64(), "MAIL FROM:<ann@example.org>",
                                 "RCPT TO:<j@x.org>", "RCPT TO:<b@y.org>", "RCPT TO:<c@z.org>", "DATA", "QUIT"}));
    EXPECT_EQ(session.messages, QList<QByteArray>{"Subject: x\r\n\r\n..leading dot\r\n...two\r\nlast line without end\r\n.\r\n"});
}

TEST(SmtpClient, LoginMechanismAndServersWithoutAuth)
{
    struct Row {
        const char *name;
        SmtpScript script;
        QString password;
        int result;
        int mechanisms;
        QList<QByteArray> lines; // after EHLO
    };
    const Row rows[] = {
        {"LOGIN only", SmtpScript().hello("AUTH=LOGIN").on("334 VXNlcm5hbWU6\r\n").on("334 UGFzc3dvcmQ6\r\n").on("235 ok\r\n"),
         "gëheim", 0, SMTP_Session::AuthLogin, {"AUTH LOGIN", "dGVzdGVy", QString("gëheim").toUtf8().toBase64(), "QUIT"}},
        // Nothing offered: the connect succeeds without AUTH.
        {"no AUTH offered", SmtpScript().hello("SIZE 1000"), "secret", 0, 0, {"QUIT"}},
        // Asked to authenticate without a password: 12 before any AUTH.
        {"no password", SmtpScript().hello(), QString(), 12, SMTP_Session::AuthPlain | SMTP_Session::AuthLogin, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeSmtpServer server(row.script);
        {
            SMTPMail mail;
            configure(mail, server);
            authenticateAs(mail, 1, row.password);
            EXPECT_EQ(mail.connect(), row.result);
            EXPECT_EQ(mail.isConnected(), row.result == 0);
            if (row.result == 0) {
                EXPECT_EQ(mail.session().auth_mechanisms, row.mechanisms);
            }
        }
        const FakeSmtpServer::Session session = server.finish();
        if (row.result == 0) {
            EXPECT_EQ(withoutEhlo(session.lines), row.lines);
        } else {
            EXPECT_FALSE(session.saw("AUTH"));
        }
    }
}

TEST(SmtpClient, ReplyCodesOfEachStage)
{
    struct Row {
        const char *name;
        SmtpScript script;
        int connectResult;
        std::vector<int> sendResults; // any of them, when the connect succeeded
        const char *notSent;
        int textSize = 4;
        const char *reason = nullptr; // what the error text's reason line says, if any
    };
    const QByteArray ok = "250 ok\r\n";
    const SmtpScript envelope = SmtpScript().hello("SIZE").on(ok).on(ok);
    const Row rows[] = {
        {"greeting 554", SmtpScript().send("554 go away\r\n"), 5, {}, "EHLO"},
        {"no greeting, peer gone", SmtpScript().close(), 5, {}, ""},
        {"EHLO 502, no HELO", SmtpScript().send("220 hi\r\n").on("502 no\r\n"), 7, {}, "HELO"},
        {"AUTH PLAIN 503", SmtpScript().hello().on("503 already\r\n"), 13, {}, "MAIL"},
        {"AUTH PLAIN 535", SmtpScript().hello().on("535 bad\r\n"), 12, {}, "QUIT"},
        {"AUTH LOGIN 235 too early", SmtpScript().hello("AUTH LOGIN").on("235 ok\r\n"), 12, {}, "dGVzdGVy"},
        {"AUTH LOGIN 535 to the name", SmtpScript().hello("AUTH LOGIN").on("334 VXNlcm5hbWU6\r\n").on("535 no\r\n"),
         12, {}, "c2VjcmV0"},
        {"AUTH without PLAIN or LOGIN", SmtpScript().hello("AUTH CRAM-MD5 XOAUTH2"), 12, {}, "AUTH"},
        {"MAIL FROM 451", SmtpScript().hello("SIZE").on("451 later\r\n"), 0, {14}, "RCPT"},
        {"RCPT 550", SmtpScript().hello("SIZE").on(ok).on("550 unknown\r\n"), 0, {15}, "DATA"},
        {"RCPT 450", SmtpScript().hello("SIZE").on(ok).on("450 busy\r\n"), 0, {8}, "DATA"},
        {"RCPT 251 accepted", SmtpScript().hello("SIZE").on(ok).on("251 forwarded\r\n").on("354 go\r\n").readData().send(ok),
         0, {0}, ""},
        {"DATA 554", SmtpScript(envelope).on("554 no\r\n"), 0, {9}, "."},
        {"end 552", SmtpScript(envelope).on("354 go\r\n").readData().send("552 too big\r\n"), 0, {10}, ""},
        {"end, peer gone", SmtpScript(envelope).on("354 go\r\n").readData().close(), 0, {10}, ""},
        // Either the text cannot be written any more, or the reply to "."
        // never comes: a failure at once, not at the time-out.
        {"peer gone mid-DATA", SmtpScript(envelope).on("354 go\r\n").close(), 0, {-1, 10}, "", 1 << 20},
        {"peer gone in a large DATA transfer", SmtpScript(envelope).on("354 go\r\n").close(), 0, {-1}, "", 16 << 20,
         "the connection was lost while sending the message"},
        // The reply to QUIT is not waited for, whatever it is.
        {"QUIT 500", SmtpScript(envelope).on("354 go\r\n").readData().send(ok).on("500 ?\r\n"), 0, {0}, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeSmtpServer server(row.script);
        QElapsedTimer timer;
        timer.start();
        {
            SMTPMail mail;
            configure(mail, server);
            authenticateAs(mail, 1);
            // Every failure has a text of its own for the log, beside the numbers.
            const auto expectText = [&](int result) {
                if (result == 0)
                    return;
                const QString text = mail.getErrorDesc(result);
                EXPECT_FALSE(text.section('\n', 0, 0).isEmpty()) << text.toStdString();
                if (row.reason) {
                    EXPECT_TRUE(text.section("\nReason: ", 1).startsWith(row.reason)) << text.toStdString();
                    EXPECT_FALSE(text.contains("System Error: 0")) << "the system's code is kept";
                }
            };
            const int connected = mail.connect();
            EXPECT_EQ(connected, row.connectResult) << mail.getErrorDesc(connected).toStdString();
            EXPECT_EQ(mail.isConnected(), connected == 0);
            expectText(connected);
            if (connected == 0) {
                const int sent = mail.sendMessage(QString(row.textSize, 't'), "a@x.org", "b@y.org", {});
                EXPECT_NE(std::find(row.sendResults.begin(), row.sendResults.end(), sent), row.sendResults.end())
                    << sent << ": " << mail.getErrorDesc(sent).toStdString();
                expectText(sent);
            } else {
                EXPECT_FALSE(mail.session().lineReader) << "a failed connect closes the streams";
            }
            EXPECT_EQ(mail.disconnect(), 0);
        }
        const FakeSmtpServer::Session session = server.finish();
        EXPECT_LT(timer.elapsed(), 3000) << "no step waited for its time-out";
        if (*row.notSent) {
            EXPECT_FALSE(session.saw(row.notSent));
        }
    }
}

TEST(SmtpClient, RepliesAreReadWholeAndBounded)
{
    struct Row {
        const char *name;
        QByteArray ehloReply;
        int result;
        int replyCode;
    };
    const QByteArray longLine = "250-" + QByteArray(300, 'x') + "\r\n";
    const Row rows[] = {
        {"three-digit last line", "250-fake\r\n250\r\n", 0, 250},
        {"letters in the code", "250-fake\r\n2x0 odd\r\n", 7, -1},
        {"four digits", "250-fake\r\n2500 odd\r\n", 7, -1},
        {"code 000", "000 odd\r\n", 7, -1},
        {"no separator", "250fake\r\n", 7, -1},
        {"reply longer than the buffer", longLine.repeated(20) + "250 SIZE\r\n", 0, 250},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeSmtpServer server(SmtpScript().send("220 fake\r\n").on(row.ehloReply));
        SMTPMail mail;
        configure(mail, server);
        EXPECT_EQ(mail.connect(), row.result);
        EXPECT_EQ(mail.session().lastReplyCode, row.replyCode);
        if (row.ehloReply.size() > 4095) {
            EXPECT_EQ(strlen(mail.session().lastReply), 4095u);
            EXPECT_EQ(QByteArray(mail.session().lastReply), row.ehloReply.left(4095));
        }
        mail.disconnect();
    }

    // However long a reply, an error text quotes only a few of its lines.
    {
        FakeSmtpServer server(SmtpScript().hello("SIZE").readLine().flood("550-" + QByteArray(20, 'r') + "\r\n", 10000).send("550 end\r\n"));
        SMTPMail mail;
        configure(mail, server);
        ASSERT_EQ(mail.connect(), 0);
        const int result = mail.sendTestFrom("a@x.org");
        EXPECT_EQ(result, 14);
        const QString text = mail.getErrorDesc(result);
        EXPECT_TRUE(text.contains("Server Reply: 550-rrrr")) << text.toStdString();
        EXPECT_LE(text.count('\n'), 12) << text.toStdString();
    }

    // A server that never ends its reply, or sends one endless line, is cut
    // off instead of filling memory; a wait on either ends well before the
    // time-out.
    for (bool endlessLine : {false, true}) {
        SCOPED_TRACE(endlessLine ? "endless line" : "endless reply");
        SmtpScript script;
        script.send("220 fake\r\n").readLine();
        if (endlessLine)
            script.send("250 ").flood(QByteArray(1024, 'y'), 200);
        else
            script.flood("250-" + QByteArray(60, 'z') + "\r\n", 5000);
        FakeSmtpServer server(script);
        SMTPMail mail;
        configure(mail, server);
        mail.setTimeout(30);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(mail.connect(), 7);
        EXPECT_LT(timer.elapsed(), 20000);
        EXPECT_EQ(mail.session().lastReplyCode, -1);
        EXPECT_LE(strlen(mail.session().lastReply), 4095u);
    }
}

TEST(SmtpClient, EnvelopeCarriesBareAsciiAddressesWhateverTheNames)
{
    FakeSmtpServer server;
    MailMessage message;
    message.setFrom("Jürgen\r\nVidav <juergen@bücher.de>");
    message.setTo("Anna\nSmith <anna@exämple.org>, b@y.org");
    message.setBCC({"\"Ω\r\nmega\" <o@пример.рф>"});
    message.setMessageID("1@x.org");
    message.setPlainBody("Hi");
    {
        SMTPMail mail;
        configure(mail, server);
        ASSERT_EQ(mail.connect(), 0);
        EXPECT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(1).toStdString();
    }
    const FakeSmtpServer::Session session = server.finish();
    EXPECT_EQ(withoutEhlo(session.lines),
              QList<QByteArray>({"MAIL FROM:<juergen@xn--bcher-kva.de>", "RCPT TO:<anna@xn--exmple-cua.org>",
                                 "RCPT TO:<b@y.org>", "RCPT TO:<o@xn--e1afmkfd.xn--p1ai>", "DATA", "QUIT"}));
    // The line breaks of the names are spaces in the header.
    EXPECT_TRUE(session.messages.value(0).contains("\r\nTo:Anna Smith <anna@xn--exmple-cua.org>, b@y.org\r\n"))
        << session.messages.value(0).toStdString();
}

TEST(SmtpClient, RefusedMessagesNameTheirCauseAndWriteNothing)
{
    // SMTPUTF8 offered: this client does not use it all the same.
    FakeSmtpServer server(SmtpScript().hello("SMTPUTF8"));
    const QString noConnection = Localizer::localizedString("smtpErrors", "smtp_err_noconnect");
    QTemporaryDir folder;
    {
        SMTPMail mail;
        configure(mail, server);
        ASSERT_EQ(mail.connect(), 0);
        const QString good = "b@y.org";
        struct Row {
            QString from, to;
            QStringList bcc;
            const char *reason;
        };
        const Row rows[] = {
            {"<a@x.org\r\nRCPT TO:evil@x.org>", good, {}, "control character"},
            {"a@x.org", good + ", c@z.org\nDATA", {}, "control character"},
            {"a@x.org", QString("c@z.org") + QChar(0) + "evil", {}, "control character"},
            {"a@x.org", good, {"d@z.org\r"}, "control character"},
            {"<a@x.org> SIZE=1", good, {}, "not of the form"},
            {"a@x.org", QString(501, 'a') + "@x.org", {}, "longer than 500"},
            {"a@x.org", " , ", {}, "No recipient"},
            {"a@x.org", good, {"jörg@example.org"}, "non-ASCII characters before"},
            {"jörg@example.org", good, {}, "non-ASCII characters before"},
        };
        for (const Row &row : rows) {
            SCOPED_TRACE(row.from.toStdString() + " / " + row.to.toStdString());
            EXPECT_EQ(mail.sendMessage("t", row.from, row.to, row.bcc), 1);
            const QString text = mail.getErrorDesc(1);
            EXPECT_TRUE(text.contains(row.reason)) << text.toStdString();
            EXPECT_FALSE(text.contains(noConnection)) << text.toStdString();
        }

        // What the message writer refuses is named as well.
        MailMessage message;
        message.setFrom("a@x.org");
        message.setTo("Jörg <jörg@example.com>");
        message.setMessageID("1@x.org");
        EXPECT_EQ(mail.sendMailMessage(message), 1);
        EXPECT_TRUE(mail.getErrorDesc(1).contains("non-ASCII characters before")) << mail.getErrorDesc(1).toStdString();
        message.setTo(good);
        message.addAttachment(folder.filePath("gone.pdf"));
        EXPECT_EQ(mail.sendMailMessage(message), 1);
        EXPECT_TRUE(mail.getErrorDesc(1).contains("gone.pdf")) << mail.getErrorDesc(1).toStdString();
        EXPECT_FALSE(mail.getErrorDesc(1).contains(noConnection));
    }
    EXPECT_EQ(withoutEhlo(server.finish().lines), QList<QByteArray>({"QUIT"}));

    // Checked before any lookup or connect.
    SMTPMail mail;
    mail.setServer(QString(201, 'h'));
    mail.setPort("25");
    EXPECT_EQ(mail.connect(), 1);
    EXPECT_TRUE(mail.getErrorDesc(1).contains("server name")) << mail.getErrorDesc(1).toStdString();
    mail.setServer("127.0.0.1");
    mail.setPort(QString::number(FakeSmtpServer::closedPort()));
    mail.setTimeout(2);
    EXPECT_EQ(mail.connect(), 2);
}

TEST(SmtpClient, EveryTlsFailureIsSeventeenWithItsReason)
{
    struct Row {
        const char *name;
        int encryption;
        SmtpScript script;
        const char *notSent;
        const char *reason; // nullptr: the server's reply tells
        bool serverTls = false;
    };
    const SmtpScript startTls = SmtpScript().hello("STARTTLS");
    const Row rows[] = {
        {"not offered", 2, SmtpScript().hello("AUTH PLAIN"), "STARTTLS", "not offered"},
        {"refused", 2, SmtpScript(startTls).on("454 TLS not available\r\n"), "AUTH", nullptr},
        {"handshake fails", 2, SmtpScript(startTls).on("220 go\r\n").pause(20).send("not TLS\r\n"), "AUTH", ""},
        {"handshake peer gone", 2, SmtpScript(startTls).on("220 go\r\n").close(), "AUTH", ""},
        // Plain text pushed in behind the 220 would be taken as the first
        // reply over TLS.
        {"injected reply", 2, SmtpScript(startTls).on("220 go\r\n250-injected\r\n250 AUTH PLAIN\r\n"), "AUTH",
         "plain text"},
        {"TLS from the first byte, plain server", 1, SmtpScript().send("220 plain\r\n"), "EHLO", ""},
        {"TLS from the first byte, peer gone", 1, SmtpScript().close(), "EHLO", ""},
        // A certificate that does not verify (the test server's own), in
        // both modes: 17 with the verification error, never a session.
        {"untrusted certificate, STARTTLS", 2, SmtpScript(startTls).on("220 go\r\n").startTls(), "AUTH",
         "certificate"},
        {"untrusted certificate, TLS", 1, SmtpScript().send("220 hi\r\n"), "EHLO", "certificate", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeSmtpServer server(row.script, {.tls = row.serverTls});
        {
            SMTPMail mail;
            configure(mail, server, row.encryption);
            authenticateAs(mail, 1);
            const int result = mail.connect();
            EXPECT_EQ(result, 17);
            EXPECT_FALSE(mail.isConnected());
            const QString text = mail.getErrorDesc(result);
            EXPECT_TRUE(text.contains("Mail Error: 17"));
            if (row.reason) {
                EXPECT_TRUE(text.section("\nReason: ", 1).contains(row.reason, Qt::CaseInsensitive))
                    << text.toStdString();
            } else {
                EXPECT_FALSE(text.contains("\nReason: ")) << text.toStdString();
            }
            if (QByteArray(row.reason) == "certificate") {
                EXPECT_FALSE(text.contains("System Error: 0")) << "the TLS layer's code is kept";
            }
            // The headline names the kind of encryption asked for and, where
            // known, why it failed.
            const QString headline = text.section('\n', 0, 0);
            EXPECT_TRUE(headline.contains(row.encryption == 1 ? "(TLS)" : "(STARTTLS)")) << headline.toStdString();
            if (row.reason && *row.reason) {
                EXPECT_TRUE(headline.contains(text.section("\nReason: ", 1).section('\n', 0, 0))) << text.toStdString();
            }
        }
        EXPECT_FALSE(server.finish().saw(row.notSent));
    }

    // A handshake the server never answers can be stopped like any wait.
    FakeSmtpServer silent(SmtpScript(startTls).on("220 go\r\n").pause(3000));
    CancellingDelegate delegate;
    SMTPMail mail;
    configure(mail, silent, 2);
    mail.setProgressCallback(&delegate);
    QElapsedTimer timer;
    timer.start();
    delegate.stopAfter(300);
    EXPECT_EQ(mail.connect(), 16);
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST(SmtpClient, CancelDuringAnyWaitGivesSixteen)
{
    struct Row {
        const char *name;
        SmtpScript script;
        bool whileConnecting;
        std::function<void(CancellingDelegate &)> arm;
    };
    const QByteArray ok = "250 ok\r\n";
    const auto afterPasses = [](CancellingDelegate &d) { d.readPasses = 5; };
    const Row rows[] = {
        {"greeting", SmtpScript().pause(3000).send("220 late\r\n"), true, afterPasses},
        {"reply to MAIL FROM", SmtpScript().hello("SIZE").readLine().pause(3000).send("250 late\r\n"), false,
         afterPasses},
        {"writing the text", SmtpScript().hello("SIZE").on(ok).on(ok).on("354 go\r\n"), false,
         [](CancellingDelegate &d) { d.stopWritingAt = 1; }},
        // However long the final reply may take, the user can still stop.
        {"reply to the final dot", SmtpScript().hello("SIZE").on(ok).on(ok).on("354 go\r\n").readData().pause(3000).send(ok),
         false, [](CancellingDelegate &d) { d.readPassesAfterText = 5; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeSmtpServer server(row.script);
        CancellingDelegate delegate;
        SMTPMail mail;
        configure(mail, server);
        mail.setProgressCallback(&delegate);
        QElapsedTimer timer;
        if (row.whileConnecting) {
            row.arm(delegate);
            timer.start();
            EXPECT_EQ(mail.connect(), 16);
            EXPECT_FALSE(mail.session().lineReader);
        } else {
            ASSERT_EQ(mail.connect(), 0);
            row.arm(delegate);
            timer.start();
            const QString text(300000, 'm');
            EXPECT_EQ(mail.sendMessage(text, "a@x.org", "b@y.org", {}), 16);
            if (delegate.stopWritingAt > 0) {
                EXPECT_GT(delegate.lastSent, 0);
                EXPECT_LT(delegate.lastSent, text.size()) << "the text was cut at the first piece";
            }
        }
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(mail.getErrorDesc(16).section('\n', 0, 0), QString()) << "a cancel is no error";
        EXPECT_EQ(mail.disconnect(), 0);
    }
}

TEST(SmtpClient, SilenceTimesOut)
{
    // How soon a reply is seen: TlsStreamBridgeTest.WaitingForAReplyEndsWhenItArrives.
    FakeSmtpServer server(SmtpScript().hello("SIZE").readLine().pause(4000));
    SMTPMail mail;
    configure(mail, server);
    mail.setTimeout(1);
    ASSERT_EQ(mail.connect(), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(mail.sendTestFrom("a@x.org"), 14);
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(mail.session().lastReplyCode, -1);
}

TEST(SmtpClient, EachReplyMustComeWholeWithinItsStagesTime)
{
    // A server that sends a byte now and then is never silent for long; it
    // still gets no more time for the whole reply than one that is silent.
    // Only the reply to the final "." may take longer (ten minutes).
    struct Row {
        const char *name;
        SmtpScript script;
        bool whileConnecting;
        int result;
        const char *reason;
    };
    const QByteArray ok = "250 ok\r\n";
    const Row rows[] = {
        {"greeting", SmtpScript().trickle("220 fake.test ESMTP ready\r\n", 100), true, 5, "greeting"},
        {"EHLO reply over many lines",
         SmtpScript().send("220 hi\r\n").readLine().trickle("250-fake.test\r\n250-SIZE 1000\r\n250 8BITMIME\r\n", 50),
         true, 7, "reply to EHLO"},
        {"reply to MAIL FROM", SmtpScript().hello("SIZE").readLine().trickle("250 2.1.0 sender ok\r\n", 100), false,
         14, "reply to MAIL FROM"},
        {"reply to the final dot",
         SmtpScript().hello("SIZE").on(ok).on(ok).on("354 go\r\n").readData().trickle("250 ok\r\n", 200),
         false, 0, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeSmtpServer server(row.script);
        SMTPMail mail;
        configure(mail, server);
        mail.setTimeout(1);
        QElapsedTimer timer;
        timer.start();
        int result = mail.connect();
        if (!row.whileConnecting) {
            ASSERT_EQ(result, 0);
            timer.restart();
            result = mail.sendMessage("t", "a@x.org", "b@y.org", {});
        }
        EXPECT_EQ(result, row.result) << mail.getErrorDesc(result).toStdString();
        if (row.reason) {
            EXPECT_LT(timer.elapsed(), 1800);
            EXPECT_EQ(mail.session().lastReplyCode, -1);
            EXPECT_TRUE(mail.getErrorDesc(result).contains(QStringLiteral("\nReason: no complete %1 within 1 s").arg(row.reason)))
                << mail.getErrorDesc(result).toStdString();
        } else {
            EXPECT_GE(timer.elapsed(), 1400);
        }
        mail.disconnect();
    }
}

TEST(SmtpClient, ConnectingAgainClosesTheLiveConnectionFirst)
{
    FakeSmtpServer first(SmtpScript().hello("SIZE"));
    FakeSmtpServer second(SmtpScript().hello("SIZE"));
    SMTPMail mail;
    configure(mail, first);
    ASSERT_EQ(mail.connect(), 0);
    configure(mail, second);
    ASSERT_EQ(mail.connect(), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(first.finish().lines.value(1), "QUIT"); // returns once the client has closed
    EXPECT_LT(timer.elapsed(), 1000);

    // The same for the session functions on their own, which a caller may
    // call twice without closing in between.
    FakeSmtpServer third(SmtpScript().hello("SIZE"));
    SMTP_Session session;
    session.timeoutTime = 5;
    ASSERT_EQ(smtp_connect(session, "127.0.0.1", third.port()), 0);
    timer.restart();
    EXPECT_EQ(smtp_connect(session, QByteArray(300, 'h').constData(), 25), 1);
    third.finish();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(session.lineReader);
    mail.disconnect();
}

TEST(SmtpClient, ErrorTextNeverShowsThePassword)
{
    const QByteArray password = "s3cr3t-pässword";
    const QByteArray credential = QByteArray("\0tester\0", 8) + password;
    // A server that echoes what it got, control characters included.
    FakeSmtpServer server(
        SmtpScript().hello().on("535-you sent " + credential.toBase64() + "\r\n535 and that is " + password + "\x1b[2J\r\n"));
    SMTPMail mail;
    configure(mail, server);
    authenticateAs(mail, 1, QString::fromUtf8(password));
    EXPECT_EQ(mail.connect(), 12);
    const QString text = mail.getErrorDesc(12);
    EXPECT_FALSE(text.contains(QString::fromUtf8(password)));
    EXPECT_FALSE(text.contains(QString::fromLatin1(credential.toBase64())));
    EXPECT_FALSE(text.contains(QChar(0x1b)));
    EXPECT_TRUE(text.contains("\nMail Error: 12\nServer Reply Num: 535\nServer Reply: 535-you sent "))
        << text.toStdString();
}
