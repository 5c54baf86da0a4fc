// The SMTP client against a scripted server on a loopback socket: the
// replies a real server will not give on demand, and the exact bytes the
// client sends.
#include "NetTestPeer.h"
#include "SMTPMail.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// One connection, one script. Every line the client sends is recorded;
// after the script the server keeps reading until the client closes.
class ScriptedServer {
public:
    struct Step {
        enum Kind { Send, ReadLine, ReadData, Pause, Close, Flood } kind;
        QByteArray text;
        int count = 0;
    };

    ScriptedServer &send(const QByteArray &text) { return add({Step::Send, text}); }
    // Reads the client's next line, then answers.
    ScriptedServer &on(const QByteArray &reply) { return add({Step::ReadLine, {}}).send(reply); }
    ScriptedServer &readLine() { return add({Step::ReadLine, {}}); }
    ScriptedServer &readData() { return add({Step::ReadData, {}}); }
    ScriptedServer &pause(int ms) { return add({Step::Pause, {}, ms}); }
    ScriptedServer &close() { return add({Step::Close, {}}); }
    ScriptedServer &flood(const QByteArray &line, int times) { return add({Step::Flood, line, times}); }
    // A greeting and a 250 to EHLO that offers the given keywords.
    ScriptedServer &hello(const QByteArray &keywords = "AUTH PLAIN LOGIN")
    {
        return send("220 fake.test ESMTP\r\n").on("250-fake.test\r\n250-" + keywords + "\r\n250 8BITMIME\r\n");
    }

    ScriptedServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        m_port = ntohs(address.sin_port);
    }
    ~ScriptedServer()
    {
        finish();
        ::close(m_listener);
    }

    void start() { m_thread = std::thread([this] { run(); }); }
    // Waits until the client has closed (or the server gave up waiting).
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    QString port() const { return QString::number(m_port); }
    const QList<QByteArray> &lines() const { return m_lines; }
    const QByteArray &data() const { return m_data; }
    // When each Send step was done (read after finish()).
    const std::vector<std::chrono::steady_clock::time_point> &sentAt() const { return m_sentAt; }
    bool sawCommand(const QByteArray &prefix) const
    {
        for (const QByteArray &line : m_lines) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }

private:
    ScriptedServer &add(Step step)
    {
        m_script.push_back(std::move(step));
        return *this;
    }

    // Waits for bytes from the client; false on time-out or when it closed.
    bool fill(int timeoutMs, bool *closed = nullptr)
    {
        pollfd p{m_client, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(m_client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            return false;
        }
        m_in.append(buffer, n);
        return true;
    }
    bool takeLine()
    {
        qsizetype end;
        while ((end = m_in.indexOf("\r\n")) < 0) {
            if (!fill(10000))
                return false;
        }
        m_lines.append(m_in.left(end));
        m_in.remove(0, end + 2);
        return true;
    }
    bool sendAll(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(m_client, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    void run()
    {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return;
        m_client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_client < 0)
            return;
        timeval sendLimit{5, 0};
        ::setsockopt(m_client, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        bool alive = true;
        for (const Step &step : m_script) {
            if (!alive)
                break;
            switch (step.kind) {
            case Step::Send:
                alive = sendAll(step.text);
                m_sentAt.push_back(std::chrono::steady_clock::now());
                break;
            case Step::ReadLine:
                alive = takeLine();
                break;
            case Step::ReadData: {
                qsizetype end;
                while ((end = m_in.indexOf("\r\n.\r\n")) < 0 && (alive = fill(10000)))
                    ;
                if (alive) {
                    m_data = m_in.left(end + 5);
                    m_in.remove(0, end + 5);
                }
                break;
            }
            case Step::Pause: {
                // Ends early when the client goes away.
                QElapsedTimer timer;
                timer.start();
                bool closed = false;
                while (!closed && timer.elapsed() < step.count)
                    fill(int(step.count - timer.elapsed()), &closed);
                alive = !closed;
                break;
            }
            case Step::Close:
                alive = false;
                break;
            case Step::Flood:
                for (int i = 0; i < step.count && alive; ++i)
                    alive = sendAll(step.text);
                break;
            }
        }
        if (alive) {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 5000 && fill(5000)) {
                while (m_in.contains("\r\n"))
                    takeLine();
            }
        }
        ::close(m_client);
    }

    int m_listener = -1;
    int m_client = -1;
    uint16_t m_port = 0;
    std::vector<Step> m_script;
    std::thread m_thread;
    QByteArray m_in;
    QList<QByteArray> m_lines;
    QByteArray m_data;
    std::vector<std::chrono::steady_clock::time_point> m_sentAt;
};

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

void configure(SMTPMail &mail, const ScriptedServer &server, int encryption = 0)
{
    mail.setServer("127.0.0.1");
    mail.setPort(server.port());
    mail.setTimeout(5);
    mail.setEncryption(encryption);
}

QList<QByteArray> withoutEhlo(QList<QByteArray> lines)
{
    lines.removeIf([](const QByteArray &line) { return line.startsWith("EHLO "); });
    return lines;
}

} // namespace

TEST(SmtpClient, SendsOneMessageWithPlainAuthDotStuffingAndQuit)
{
    ScriptedServer server;
    server.hello("AUTH PLAIN LOGIN")
        .on("235 2.7.0 ok\r\n")
        .on("250 2.1.0 ok\r\n")
        .on("250 2.1.5 ok\r\n")
        .on("250 2.1.5 ok\r\n")
        .on("250 2.1.5 ok\r\n")
        .on("354 go ahead\r\n")
        .readData()
        .send("250 2.0.0 queued\r\n");
    server.start();
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
    server.finish();
    const QByteArray credential = QByteArray("\0jörg@test.example\0pässwörd", 1 + 18 + 1 + 10);
    EXPECT_EQ(server.lines(),
              QList<QByteArray>({server.lines().value(0), "AUTH PLAIN " + credential.toBase64(),
                                 "MAIL FROM:<ann@example.org>", "RCPT TO:<j@x.org>", "RCPT TO:<b@y.org>",
                                 "RCPT TO:<c@z.org>", "DATA", "QUIT"}));
    EXPECT_TRUE(server.lines().value(0).startsWith("EHLO "));
    EXPECT_EQ(server.data(), "Subject: x\r\n\r\n..leading dot\r\n...two\r\nlast line without end\r\n.\r\n");
}

TEST(SmtpClient, LoginMechanismAndServersWithoutAuth)
{
    ScriptedServer login;
    login.hello("AUTH=LOGIN").on("334 VXNlcm5hbWU6\r\n").on("334 UGFzc3dvcmQ6\r\n").on("235 ok\r\n");
    login.start();
    {
        SMTPMail mail;
        configure(mail, login);
        mail.setAuthentication(2);
        mail.setLogin("tester");
        mail.setPassword("gëheim");
        ASSERT_EQ(mail.connect(), 0);
        EXPECT_EQ(mail.session().auth_mechanisms, SMTP_Session::AuthLogin);
    }
    login.finish();
    EXPECT_EQ(withoutEhlo(login.lines()),
              QList<QByteArray>({"AUTH LOGIN", "dGVzdGVy", QString("gëheim").toUtf8().toBase64(), "QUIT"}));

    // Nothing offered: the connect succeeds without AUTH.
    ScriptedServer none;
    none.hello("SIZE 1000");
    none.start();
    {
        SMTPMail mail;
        configure(mail, none);
        mail.setAuthentication(1);
        mail.setLogin("tester");
        mail.setPassword("secret");
        EXPECT_EQ(mail.connect(), 0);
        EXPECT_EQ(mail.session().auth_mechanisms, 0);
    }
    none.finish();
    EXPECT_EQ(withoutEhlo(none.lines()), QList<QByteArray>({"QUIT"}));

    // Asked to authenticate without a password: 12 before any AUTH.
    ScriptedServer noPassword;
    noPassword.hello();
    noPassword.start();
    SMTPMail mail;
    configure(mail, noPassword);
    mail.setAuthentication(1);
    mail.setLogin("tester");
    EXPECT_EQ(mail.connect(), 12);
    EXPECT_FALSE(mail.isConnected());
    noPassword.finish();
    EXPECT_FALSE(noPassword.sawCommand("AUTH"));
}

TEST(SmtpClient, ReplyCodesOfEachStage)
{
    struct Row {
        const char *name;
        std::function<void(ScriptedServer &)> script;
        int connectResult;
        std::vector<int> sendResults; // any of them, when the connect succeeded
        const char *notSent;
        int textSize = 4;
    };
    const QByteArray ok = "250 ok\r\n";
    const auto envelope = [ok](ScriptedServer &s) -> ScriptedServer & { return s.hello("SIZE").on(ok).on(ok); };
    const Row rows[] = {
        {"greeting 554", [](ScriptedServer &s) { s.send("554 go away\r\n"); }, 5, {}, "EHLO"},
        {"no greeting, peer gone", [](ScriptedServer &s) { s.close(); }, 5, {}, ""},
        {"EHLO 502, no HELO", [](ScriptedServer &s) { s.send("220 hi\r\n").on("502 no\r\n"); }, 7, {}, "HELO"},
        {"AUTH PLAIN 503", [](ScriptedServer &s) { s.hello().on("503 already\r\n"); }, 13, {}, "MAIL"},
        {"AUTH PLAIN 535", [](ScriptedServer &s) { s.hello().on("535 bad\r\n"); }, 12, {}, "QUIT"},
        {"AUTH LOGIN 235 too early", [](ScriptedServer &s) { s.hello("AUTH LOGIN").on("235 ok\r\n"); }, 12, {},
         "dGVzdGVy"},
        {"AUTH LOGIN 535 to the name",
         [](ScriptedServer &s) { s.hello("AUTH LOGIN").on("334 VXNlcm5hbWU6\r\n").on("535 no\r\n"); }, 12, {},
         "c2VjcmV0"},
        {"AUTH without PLAIN or LOGIN", [](ScriptedServer &s) { s.hello("AUTH CRAM-MD5 XOAUTH2"); }, 12, {}, "AUTH"},
        {"MAIL FROM 451", [](ScriptedServer &s) { s.hello("SIZE").on("451 later\r\n"); }, 0, {14}, "RCPT"},
        {"RCPT 550", [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on("550 unknown\r\n"); }, 0, {15}, "DATA"},
        {"RCPT 450", [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on("450 busy\r\n"); }, 0, {8}, "DATA"},
        {"RCPT 251 accepted",
         [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on("251 forwarded\r\n").on("354 go\r\n").readData().send(ok); },
         0, {0}, ""},
        {"DATA 554", [envelope](ScriptedServer &s) { envelope(s).on("554 no\r\n"); }, 0, {9}, "."},
        {"end 552", [envelope](ScriptedServer &s) { envelope(s).on("354 go\r\n").readData().send("552 too big\r\n"); },
         0, {10}, ""},
        {"end, peer gone", [envelope](ScriptedServer &s) { envelope(s).on("354 go\r\n").readData().close(); }, 0,
         {10}, ""},
        // Either the text cannot be written any more, or the reply to "."
        // never comes: a failure at once, not at the time-out.
        {"peer gone mid-DATA", [envelope](ScriptedServer &s) { envelope(s).on("354 go\r\n").close(); }, 0, {-1, 10},
         "", 1 << 20},
        // The reply to QUIT is not waited for, whatever it is.
        {"QUIT 500",
         [envelope, ok](ScriptedServer &s) { envelope(s).on("354 go\r\n").readData().send(ok).on("500 ?\r\n"); }, 0,
         {0}, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        row.script(server);
        server.start();
        QElapsedTimer timer;
        timer.start();
        {
            SMTPMail mail;
            configure(mail, server);
            mail.setAuthentication(1);
            mail.setLogin("tester");
            mail.setPassword("secret");
            const int connected = mail.connect();
            EXPECT_EQ(connected, row.connectResult) << mail.getErrorDesc(connected).toStdString();
            EXPECT_EQ(mail.isConnected(), connected == 0);
            if (connected == 0) {
                const int sent = mail.sendMessage(QString(row.textSize, 't'), "a@x.org", "b@y.org", {});
                EXPECT_NE(std::find(row.sendResults.begin(), row.sendResults.end(), sent), row.sendResults.end())
                    << sent << ": " << mail.getErrorDesc(sent).toStdString();
            } else {
                EXPECT_FALSE(mail.session().lineReader) << "a failed connect closes the streams";
            }
            EXPECT_EQ(mail.disconnect(), 0);
        }
        server.finish();
        EXPECT_LT(timer.elapsed(), 3000) << "no step waited for its time-out";
        if (*row.notSent) {
            EXPECT_FALSE(server.sawCommand(row.notSent));
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
        ScriptedServer server;
        server.send("220 fake\r\n").on(row.ehloReply);
        server.start();
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

    // A server that never ends its reply, or sends one endless line, is cut
    // off instead of filling memory; a wait on either ends well before the
    // time-out.
    for (bool endlessLine : {false, true}) {
        SCOPED_TRACE(endlessLine ? "endless line" : "endless reply");
        ScriptedServer server;
        server.send("220 fake\r\n").readLine();
        if (endlessLine)
            server.send("250 ").flood(QByteArray(1024, 'y'), 200);
        else
            server.flood("250-" + QByteArray(60, 'z') + "\r\n", 5000);
        server.start();
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

TEST(SmtpClient, UnusableEnvelopeAddressesAreRefusedBeforeAnythingIsWritten)
{
    ScriptedServer server;
    server.hello("SIZE");
    server.start();
    {
        SMTPMail mail;
        configure(mail, server);
        ASSERT_EQ(mail.connect(), 0);
        const QString good = "b@y.org";
        EXPECT_EQ(mail.sendMessage("t", "a@x.org\r\nRCPT TO:<evil@x.org>", good, {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", good + ", c@z.org\nDATA", {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", QString("c@z.org") + QChar(0) + "evil", {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", good, {"d@z.org\r"}), 1);
        EXPECT_EQ(mail.sendMessage("t", "<a@x.org> SIZE=1", good, {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", QString(501, 'a') + "@x.org", {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", " , ", {}), 1);
    }
    server.finish();
    EXPECT_EQ(withoutEhlo(server.lines()), QList<QByteArray>({"QUIT"}));

    // Checked before any lookup or connect.
    SMTPMail mail;
    mail.setServer(QString(201, 'h'));
    mail.setPort("25");
    EXPECT_EQ(mail.connect(), 1);
    // Nothing listens on the port of a closed listener.
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = uint16_t(gone.port().toInt());
    }
    mail.setServer("127.0.0.1");
    mail.setPort(QString::number(closedPort));
    mail.setTimeout(2);
    EXPECT_EQ(mail.connect(), 2);
}

TEST(SmtpClient, EveryTlsFailureIsSeventeenWithItsReason)
{
    struct Row {
        const char *name;
        int encryption;
        std::function<void(ScriptedServer &)> script;
        const char *notSent;
        const char *reason; // nullptr: the server's reply tells
    };
    const Row rows[] = {
        {"not offered", 2, [](ScriptedServer &s) { s.hello("AUTH PLAIN"); }, "STARTTLS", "not offered"},
        {"refused", 2, [](ScriptedServer &s) { s.hello("STARTTLS").on("454 TLS not available\r\n"); }, "AUTH",
         nullptr},
        {"handshake fails", 2,
         [](ScriptedServer &s) { s.hello("STARTTLS").on("220 go\r\n").pause(20).send("not TLS\r\n"); }, "AUTH",
         ""},
        {"handshake peer gone", 2, [](ScriptedServer &s) { s.hello("STARTTLS").on("220 go\r\n").close(); }, "AUTH",
         ""},
        // Plain text pushed in behind the 220 would be taken as the first
        // reply over TLS.
        {"injected reply", 2,
         [](ScriptedServer &s) { s.hello("STARTTLS").on("220 go\r\n250-injected\r\n250 AUTH PLAIN\r\n"); },
         "AUTH", "plain text"},
        {"TLS from the first byte, plain server", 1, [](ScriptedServer &s) { s.send("220 plain\r\n"); }, "EHLO", ""},
        {"TLS from the first byte, peer gone", 1, [](ScriptedServer &s) { s.close(); }, "EHLO", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        row.script(server);
        server.start();
        {
            SMTPMail mail;
            configure(mail, server, row.encryption);
            mail.setAuthentication(1);
            mail.setLogin("tester");
            mail.setPassword("secret");
            const int result = mail.connect();
            EXPECT_EQ(result, 17);
            EXPECT_FALSE(mail.isConnected());
            const QString text = mail.getErrorDesc(result);
            EXPECT_TRUE(text.contains("Mail Error: 17"));
            if (row.reason) {
                EXPECT_TRUE(text.section("\nReason: ", 1).contains(row.reason)) << text.toStdString();
            } else {
                EXPECT_FALSE(text.contains("\nReason: ")) << text.toStdString();
            }
        }
        server.finish();
        EXPECT_FALSE(server.sawCommand(row.notSent));
    }

    // A certificate that does not verify (the test server's own), in both
    // modes: 17 with the verification error, never a session.
    for (int encryption : {1, 2}) {
        SCOPED_TRACE(encryption);
        NetTestPeer peer("127.0.0.1", encryption == 1, [](NetTestPeer::Conn &conn) {
            if (conn.ssl)
                return;
            conn.send("220 hi\r\n");
            conn.readUntil("\r\n");
            conn.send("250-hi\r\n250 STARTTLS\r\n");
            conn.readUntil("\r\n");
            conn.send("220 go\r\n");
            conn.startTls();
        });
        SMTPMail mail;
        mail.setServer("127.0.0.1");
        mail.setPort(QString::number(peer.port()));
        mail.setTimeout(5);
        mail.setEncryption(encryption);
        EXPECT_EQ(mail.connect(), 17);
        const QString text = mail.getErrorDesc(17);
        EXPECT_TRUE(text.contains("\nReason: ") && text.contains("certificate", Qt::CaseInsensitive))
            << text.toStdString();
        EXPECT_FALSE(text.contains("System Error: 0")) << "the TLS layer's code is kept";
        peer.stop();
    }

    // A handshake the server never answers can be stopped like any wait.
    ScriptedServer silent;
    silent.hello("STARTTLS").on("220 go\r\n").pause(3000);
    silent.start();
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
        std::function<void(ScriptedServer &)> script;
        bool whileConnecting;
        std::function<void(CancellingDelegate &)> arm;
    };
    const QByteArray ok = "250 ok\r\n";
    const Row rows[] = {
        {"greeting", [](ScriptedServer &s) { s.pause(3000).send("220 late\r\n"); }, true,
         [](CancellingDelegate &d) { d.readPasses = 5; }},
        {"reply to MAIL FROM", [](ScriptedServer &s) { s.hello("SIZE").readLine().pause(3000).send("250 late\r\n"); },
         false, [](CancellingDelegate &d) { d.readPasses = 5; }},
        {"writing the text", [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on(ok).on("354 go\r\n"); }, false,
         [](CancellingDelegate &d) { d.stopWritingAt = 512; }},
        // However long the final reply may take, the user can still stop.
        {"reply to the final dot",
         [ok](ScriptedServer &s) {
             s.hello("SIZE").on(ok).on(ok).on("354 go\r\n").readData().pause(3000).send(ok);
         },
         false, [](CancellingDelegate &d) { d.readPassesAfterText = 5; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        row.script(server);
        server.start();
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
            const QString text(100000, 'm');
            EXPECT_EQ(mail.sendMessage(text, "a@x.org", "b@y.org", {}), 16);
            if (delegate.stopWritingAt > 0) {
                EXPECT_EQ(delegate.lastSent, 512);
            }
        }
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(mail.getErrorDesc(16).section('\n', 0, 0), QString()) << "a cancel is no error";
        EXPECT_EQ(mail.disconnect(), 0);
    }
}

TEST(SmtpClient, RepliesAreReadAsSoonAsTheyArrive)
{
    // Each reply comes 50 ms after its command; the client must not add a
    // polling delay of its own on top.
    constexpr int Rounds = 5;
    ScriptedServer server;
    server.hello("SIZE");
    for (int i = 0; i < Rounds; ++i)
        server.readLine().pause(50).send("250 ok\r\n");
    server.start();
    SMTPMail mail;
    configure(mail, server);
    ASSERT_EQ(mail.connect(), 0);
    std::vector<std::chrono::steady_clock::time_point> readAt;
    for (int i = 0; i < Rounds; ++i) {
        EXPECT_EQ(mail.sendTestFrom("a@x.org"), 0);
        readAt.push_back(std::chrono::steady_clock::now());
    }
    mail.disconnect();
    server.finish();
    ASSERT_EQ(server.sentAt().size(), size_t(2 + Rounds));
    std::vector<double> delays;
    for (int i = 0; i < Rounds; ++i)
        delays.push_back(std::chrono::duration<double, std::milli>(readAt[i] - server.sentAt()[2 + i]).count());
    std::sort(delays.begin(), delays.end());
    EXPECT_LT(delays[Rounds / 2], 5.0) << "median delay in ms";
}

TEST(SmtpClient, ConnectingAgainClosesTheLiveConnectionFirst)
{
    ScriptedServer first;
    ScriptedServer second;
    first.hello("SIZE");
    second.hello("SIZE");
    first.start();
    second.start();
    SMTPMail mail;
    configure(mail, first);
    ASSERT_EQ(mail.connect(), 0);
    configure(mail, second);
    ASSERT_EQ(mail.connect(), 0);
    QElapsedTimer timer;
    timer.start();
    first.finish(); // returns once the client has closed
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(first.lines().value(1), "QUIT");

    // The same for the session functions on their own, which a caller may
    // call twice without closing in between.
    ScriptedServer third;
    third.hello("SIZE");
    third.start();
    SMTP_Session session;
    session.timeoutTime = 5;
    ASSERT_EQ(smtp_connect(session, "127.0.0.1", uint16_t(third.port().toInt())), 0);
    timer.restart();
    EXPECT_EQ(smtp_connect(session, QByteArray(300, 'h').constData(), 25), 1);
    third.finish();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(session.lineReader);
    mail.disconnect();
}

TEST(SmtpClient, SilentServerTimesOut)
{
    ScriptedServer server;
    server.hello("SIZE").readLine().pause(4000);
    server.start();
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

TEST(SmtpClient, ErrorTextNeverShowsThePassword)
{
    const QByteArray password = "s3cr3t-pässword";
    const QByteArray credential = QByteArray("\0tester\0", 8) + password;
    ScriptedServer server;
    // A server that echoes what it got, control characters included.
    server.hello().on("535-you sent " + credential.toBase64() + "\r\n535 and that is " + password + "\x1b[2J\r\n");
    server.start();
    SMTPMail mail;
    configure(mail, server);
    mail.setAuthentication(1);
    mail.setLogin("tester");
    mail.setPassword(QString::fromUtf8(password));
    EXPECT_EQ(mail.connect(), 12);
    const QString text = mail.getErrorDesc(12);
    EXPECT_FALSE(text.contains(QString::fromUtf8(password)));
    EXPECT_FALSE(text.contains(QString::fromLatin1(credential.toBase64())));
    EXPECT_FALSE(text.contains(QChar(0x1b)));
    EXPECT_TRUE(text.contains("\nMail Error: 12\nServer Reply Num: 535\nServer Reply: 535-you sent "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("\r\n\nSystem Error: 0"));
    EXPECT_FALSE(text.startsWith("smtp_err_noauth")) << "the key has English text";
}
